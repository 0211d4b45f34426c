#include "CommandLists.h"

#include "ActivateCommand.h"
#include "PingRPCCommand.h"
#include "ReadBatteryRPCCommand.h"
#include "ReadBoardIdRPCCommand.h"
#include "ReadBrightnessRPCCommand.h"
#include "ReadDeviceSerialRPCCommand.h"
#include "ReadDimLevelRPCCommand.h"
#include "ReadFwVersionRPCCommand.h"
#include "ReadLogRPCCommand.h"
#include "ReadMacAddressRPCCommand.h"
#include "ReadNameRPCCommand.h"
#include "ReadPlantNumberRPCCommand.h"
#include "SetBrightnessRPCCommand.h"
#include "SetChargingDisplayRPCCommand.h"
#include "SetDimLevelRPCCommand.h"

#include <memory>

CommandList pingCommand()
{
    CommandList list;
    list.append(std::make_unique<PingRPCCommand>());
    return list;
}

CommandList deviceInfoCommands()
{
    CommandList list;
    list.append(std::make_unique<ReadNameRPCCommand>());
    list.append(std::make_unique<ReadMacAddressRPCCommand>());
    list.append(std::make_unique<ReadFwVersionRPCCommand>());
    list.append(std::make_unique<ReadBoardIdRPCCommand>());
    list.append(std::make_unique<ReadDeviceSerialRPCCommand>());
    list.append(std::make_unique<ReadPlantNumberRPCCommand>());
    list.append(std::make_unique<ReadBrightnessRPCCommand>());
    list.append(std::make_unique<ReadDimLevelRPCCommand>());
    list.append(std::make_unique<ReadBatteryRPCCommand>());
    return list;
}

CommandList batteryCommands()
{
    CommandList list;
    list.append(std::make_unique<ReadBatteryRPCCommand>());
    return list;
}

CommandList brightnessCommand(int value)
{
    CommandList list;
    list.append(std::make_unique<SetBrightnessRPCCommand>(value));
    return list;
}

CommandList dimLevelCommand(int value)
{
    CommandList list;
    list.append(std::make_unique<SetDimLevelRPCCommand>(value));
    return list;
}

CommandList logCommands()
{
    CommandList list;
    list.append(std::make_unique<ReadLogRPCCommand>());
    return list;
}

CommandList activateCommands(const QByteArray &contentId)
{
    CommandList list;
    list.append(std::make_unique<ActivateCommand>(contentId));
    return list;
}

CommandList chargingDisplayCommands(const QByteArray &first, const QByteArray &second)
{
    CommandList list;
    list.append(std::make_unique<SetChargingDisplayRPCCommand>(first, second));
    return list;
}
