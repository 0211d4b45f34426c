#pragma once

#include <QStringList>

// "tamo-devsim make-firmware": writes a firmware file that the simulated boot
// loader accepts: a DfuSe file with one element at the application address
// holding a firmware image (FirmwareImage) of the given version.
class FirmwareCommand
{
public:
    // arguments[0] is the sub-command's name. Returns the process exit code.
    static int run(const QStringList &arguments);
};
