// Prints the value of one timing, as a child process started with
// TAMO_TIMING_SCALE sees it.
#include "Timings.h"

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    for (int i = 0; i < Timings::Count; ++i) {
        const auto id = static_cast<Timings::Id>(i);
        if (argc > 1 && std::strcmp(argv[1], Timings::name(id)) == 0) {
            std::printf("%d\n", Timings::ms(id));
            return 0;
        }
    }
    return 1;
}
