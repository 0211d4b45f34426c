#pragma once

// The counts that bound how much the system does at once, beside the delays of
// Timings. The product always runs with the defaults; tests change them with
// set(), and a child process (a benchmark's tamo-cli) takes a value from its
// environment variable, read once on first use.
class Limits
{
public:
    enum Id {
        MaxParallelUpgrades, // devices flashed at once, each with its own tool ($TAMO_MAX_PARALLEL_UPGRADES)

        Count
    };

    static int value(Id id);
    static int defaultValue(Id id);
    static const char *name(Id id);

    // Test hooks: set() overrides one limit (at least 1); restoreDefaults() undoes it.
    static void set(Id id, int value);
    static void restoreDefaults();
};
