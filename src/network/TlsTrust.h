#pragma once

#include <QString>

// Extra trust for self-hosted or staging services: the PEM file named by
// TAMO_CA_CERTS is added to the process's default CA set once, at start-up.
// Nothing else ever changes the trusted set; SSL errors are never ignored.
class TlsTrust
{
public:
    static constexpr const char *kEnvironmentVariable = "TAMO_CA_CERTS";

    // Adds the certificates of the file named by the environment, once per file
    // name. Returns how many certificates that call added.
    static int installFromEnvironment();

    // Adds the PEM certificates of one file to the default CA set; returns how
    // many were added (0 when the file holds none or cannot be read).
    static int addPemFile(const QString &path);
};
