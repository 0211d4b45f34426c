// What the firmware tool prints, read the way the upgrader reads it: as standard
// output for the download progress, in pieces as they arrive (byte 0 sets the
// piece length, 1 to 64 bytes), and as error output, read whole once the tool
// ended, for "no device in DFU mode".
// The milestones reported over a run must rise, each at most once, and the
// download counts as complete exactly when 100 % was passed.
#include "FuzzSupport.h"

#include "DfuToolOutput.h"

#include <cstdlib>

using FuzzSupport::keep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int piece = 1 + data[0] % 64;
    const QByteArray output = FuzzSupport::bytes(data + 1, size - 1);

    DfuToolOutput tool;
    int lastMilestone = 0;
    for (int at = 0; at < output.size(); at += piece) {
        const QByteArray bytes = output.mid(at, piece);
        for (int milestone : tool.addOutput(bytes)) {
            if (milestone <= lastMilestone || milestone % 25 != 0 || milestone > 100)
                std::abort();
            lastMilestone = milestone;
        }
    }
    tool.addErrors(output);
    if (tool.isDownloadComplete() != (lastMilestone == 100) || (lastMilestone > 0 && tool.percent() < lastMilestone))
        std::abort();
    keep(tool.percent(), tool.foundNoDevice());
    return 0;
}
