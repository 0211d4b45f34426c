#pragma once

#include <QString>

// The desktop application's command line. Only "-l" changes how it runs (the
// caller looks for exactly that argument); --help and --version are answered
// before the application object exists, so they work without a display.
class CommandLine
{
public:
    // Prints the help or the version when one of their options is among the
    // arguments and returns true: the process should then end with status 0.
    static bool answerInformationRequest(int argc, const char *const argv[]);

    static QString helpText();
    static QString versionText();
};
