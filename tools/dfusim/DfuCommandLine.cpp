#include "DfuCommandLine.h"

#include <getopt.h>

namespace {

enum LongOnly { SimDir = 1000, ChunkDelay };

const struct option kOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"verbose", no_argument, nullptr, 'v'},
    {"list", no_argument, nullptr, 'l'},
    {"detach", no_argument, nullptr, 'e'},
    {"detach-delay", required_argument, nullptr, 'E'},
    {"device", required_argument, nullptr, 'd'},
    {"path", required_argument, nullptr, 'p'},
    {"configuration", required_argument, nullptr, 'c'},
    {"cfg", required_argument, nullptr, 'c'},
    {"interface", required_argument, nullptr, 'i'},
    {"intf", required_argument, nullptr, 'i'},
    {"altsetting", required_argument, nullptr, 'a'},
    {"alt", required_argument, nullptr, 'a'},
    {"serial", required_argument, nullptr, 'S'},
    {"transfer-size", required_argument, nullptr, 't'},
    {"upload", required_argument, nullptr, 'U'},
    {"upload-size", required_argument, nullptr, 'Z'},
    {"download", required_argument, nullptr, 'D'},
    {"reset", no_argument, nullptr, 'R'},
    {"dfuse-address", required_argument, nullptr, 's'},
    {"devnum", required_argument, nullptr, 'n'},
    {"wait", no_argument, nullptr, 'w'},
    {"sim-dir", required_argument, nullptr, SimDir},
    {"chunk-delay-ms", required_argument, nullptr, ChunkDelay},
    {nullptr, 0, nullptr, 0},
};

} // namespace

DfuCommandLine DfuCommandLine::parse(int argc, char *argv[])
{
    DfuCommandLine c;
    c.simFolder = qEnvironmentVariable("TAMO_SIM_DIR");
    bool ok = false;
    const int envDelay = qEnvironmentVariableIntValue("TAMO_DFUSIM_CHUNK_DELAY_MS", &ok);
    if (ok && envDelay > 0)
        c.chunkDelayMs = envDelay;

    optind = 1;
    opterr = 1; // getopt reports unknown options itself, as dfu-util does
    for (;;) {
        const int opt = ::getopt_long(argc, argv, "hVvleE:d:p:c:i:a:S:t:U:Z:D:Rs:n:w", kOptions, nullptr);
        if (opt == -1)
            break;
        const QString value = optarg ? QString::fromLocal8Bit(optarg) : QString();
        switch (opt) {
        case 'h': c.help = true; break;
        case 'V': c.version = true; break;
        case 'v': c.verbose = true; break;
        case 'l': c.mode = List; break;
        case 'a': c.alt = value; break;
        case 'S': c.serial = value.section(QLatin1Char(','), 0, 0); break;
        case 'D': c.mode = Download; c.file = value; break;
        case 'U': c.mode = Upload; c.file = value; break;
        case 's': c.dfuseOptions = value; break;
        case 'R': c.reset = true; break;
        case 'w': c.wait = true; break;
        case 'd': c.device = value; break;
        case SimDir: c.simFolder = value; break;
        case ChunkDelay: {
            bool valid = false;
            c.chunkDelayMs = value.toInt(&valid);
            if (!valid || c.chunkDelayMs < 0)
                c.error = QStringLiteral("--chunk-delay-ms takes a number of milliseconds");
            break;
        }
        case 'e': case 'E': case 'p': case 'c': case 'i': case 't': case 'Z': case 'n':
            c.ignoredOption = true;
            break;
        default:
            c.error = QStringLiteral("usage");
            break;
        }
    }
    if (c.error.isEmpty() && optind < argc)
        c.error = QStringLiteral("usage");
    return c;
}

const char *DfuCommandLine::usage()
{
    // The command line of dfu-util 0.11, as far as the stand-in understands it.
    return "Usage: tamo-dfu-util [options] ...\n"
           "  -h, --help                 this text\n"
           "  -V, --version              the version line\n"
           "  -l, --list                 list the devices waiting in DFU mode\n"
           "  -w, --wait                 wait for a matching device to appear\n"
           "  -a, --alt ALT              alternate setting (0)\n"
           "  -S, --serial SERIAL        the device's USB serial number\n"
           "  -D, --download FILE        write FILE (a DfuSe file, or raw with -s)\n"
           "  -U, --upload FILE          read the device's flash into FILE\n"
           "  -R, --reset                reset the device when done\n"
           "  -s, --dfuse-address A[:leave]\n"
           "                             target address; 'leave' starts the firmware\n";
}

const char *DfuCommandLine::standInUsage()
{
    return "\nThis is tamo-dfu-util, a stand-in for dfu-util that serves the simulated\n"
           "devices of tamo-devsim which wait in their DFU boot loader (files SERIAL.dfu).\n"
           "  --sim-dir DIR\t\t\tSimulated-port folder (default: $TAMO_SIM_DIR)\n"
           "  --chunk-delay-ms MS\t\tPause per erased page and per written or read\n"
           "\t\t\t\tblock of 2048 bytes: the flash time of the\n"
           "\t\t\t\tone device a run serves, so that runs for\n"
           "\t\t\t\tseveral devices side by side each take it\n"
           "\t\t\t\t(default: $TAMO_DFUSIM_CHUNK_DELAY_MS, else 0)\n"
           "Without -S, more than one device waiting in DFU mode is refused, as\n"
           "dfu-util refuses it.\n"
           "Exit codes: 0 done, 64 usage, 65 not a valid DFU file, 73 upload file\n"
           "exists or cannot be created, 74 no such device or device lost.\n";
}
