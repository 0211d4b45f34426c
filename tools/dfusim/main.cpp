// tamo-dfu-util: dfu-util's command line and output for the simulated devices
// of tamo-devsim that wait in their DFU boot loader (see --help).
#include "DfuCommandLine.h"
#include "DfuSession.h"

int main(int argc, char *argv[])
{
    return DfuSession(DfuCommandLine::parse(argc, argv)).run();
}
