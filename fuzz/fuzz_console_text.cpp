// Text a device's console printed, read the way the initialiser and the
// upgrader read it: as a menu screen (the numbers of "Dump Config", "Show
// Software Version" and "Transition to DFU Mode"), as a configuration dump (MAC
// address and name) and as a version screen. The console never hands over more
// than DeviceConsole::kMaxOutput bytes of one screen.
#include "FuzzSupport.h"

#include "DeviceConsole.h"
#include "DeviceInfo.h"
#include "DeviceInitializer.h"
#include "DfuFlash.h"

using FuzzSupport::keep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray screen = FuzzSupport::bytes(data, qMin<size_t>(size, DeviceConsole::kMaxOutput));

    const QString menu = DeviceConsole::menuText(screen);
    const DeviceInitializer::MenuNumbers numbers = DeviceInitializer::menuNumbers(menu);
    keep(numbers.dump.toLatin1().toInt(), numbers.version.toLatin1().toInt(),
         DfuFlash::dfuMenuNumber(menu).toLatin1().toInt());

    DeviceInfo info;
    DeviceInitializer::applyDump(screen, info);
    keep(info.value(DeviceInfo::MacAddress).toString().size(), info.value(DeviceInfo::Name).toString().size());
    keep(DeviceInitializer::versionFrom(screen).size());
    keep(DeviceInitializer::formatMac(QString::fromUtf8(screen)).size());
    return 0;
}
