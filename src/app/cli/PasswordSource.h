#pragma once

#include <QString>

// Where `tamo-cli publish` gets the password: the first line of a file, or of
// standard input. Never the command line, where every user's `ps` shows it.
class PasswordSource
{
public:
    // An empty path reads standard input; on a terminal it prompts on standard
    // error with echo off, and echo comes back however the prompt ends (Ctrl+C
    // and SIGTERM included). A password file that others may read is refused;
    // one its group may read passes with a warning. False with a reason when
    // nothing could be read.
    static bool read(const QString &path, QString *password, QString *error, QString *warning);
};
