#pragma once

#include <QString>
#include <QtGlobal>

// The stand-in's command line: the options of dfu-util 0.11 that matter for
// simulated devices, parsed the way dfu-util parses them (getopt_long), plus
// two long options of its own.
struct DfuCommandLine
{
    enum Mode { None, List, Download, Upload };

    Mode mode = None;
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool reset = false;
    bool wait = false;
    bool ignoredOption = false;  // accepted, without effect on simulated devices
    QString alt;                 // -a: number or name; empty: any
    QString serial;              // -S (the part before a comma)
    QString file;                // -D or -U
    QString dfuseOptions;        // -s
    QString device;              // -d vendor:product
    QString simFolder;           // --sim-dir, else $TAMO_SIM_DIR
    int chunkDelayMs = 0;        // --chunk-delay-ms, else $TAMO_DFUSIM_CHUNK_DELAY_MS
    QString error;               // non-empty: a usage error

    static DfuCommandLine parse(int argc, char *argv[]);
    static const char *usage();
    static const char *standInUsage();
};
