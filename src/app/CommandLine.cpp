#include "CommandLine.h"

#include "AppPaths.h"

#include <cstdio>
#include <cstring>

bool CommandLine::answerInformationRequest(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        QString text;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
            text = helpText();
        else if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-v") == 0)
            text = versionText();
        else
            continue;
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return true;
    }
    return false;
}

QString CommandLine::helpText()
{
    return QStringLiteral(
               "Usage: Tamo [-l]\n"
               "The TAMO desktop companion: keeps the TAMO wearables attached to this\n"
               "computer registered with the cloud, transfers their campaigns and\n"
               "upgrades their firmware.\n"
               "\n"
               "Options:\n"
               "  -l             Write the log file, %1\n"
               "                 (without it the file is emptied at start). Only this\n"
               "                 exact argument counts, wherever it stands.\n"
               "  -h, --help     Show this help and exit.\n"
               "  -v, --version  Show the version and exit.\n"
               "\n"
               "Every log line also goes to standard error. Only one instance runs per\n"
               "user. For the devices without a window, see tamo-cli --help.\n")
        .arg(AppPaths::logFilePath());
}

QString CommandLine::versionText()
{
    return QStringLiteral("Tamo " TAMO_VERSION "\n");
}
