#pragma once

#include "CommandList.h"

#include <QByteArray>

// Builders of the job lists for queries, settings and service commands. Each
// returns a new list; every command in it is standalone.

CommandList pingCommand();
// Name, MAC, firmware version, board id, device serial, plant number, brightness,
// dim level, battery, in this order.
CommandList deviceInfoCommands();
CommandList batteryCommands();
CommandList brightnessCommand(int value);
CommandList dimLevelCommand(int value);
CommandList logCommands();
CommandList activateCommands(const QByteArray &contentId);
CommandList chargingDisplayCommands(const QByteArray &first, const QByteArray &second);
