#include "LogTail.h"

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

struct Slot {
    std::atomic<std::uint64_t> stamp; // 2n + 1 while line n is written, 2n + 2 once whole
    int size;
    char bytes[LogTail::kLineBytes];
};

static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "a signal handler reads the stamps");

// Static storage, zero before any constructor runs: lines logged by static
// initialisers are kept too.
Slot g_slots[LogTail::kLines];
std::atomic<std::uint64_t> g_count{0}; // lines appended so far

// How many bytes of a line fit, cut before a UTF-8 continuation byte.
int keptBytes(const char *utf8, int size, bool *cut)
{
    *cut = size > LogTail::kLineBytes;
    if (!*cut)
        return size;
    int keep = LogTail::kLineBytes - static_cast<int>(std::strlen(LogTail::kCutMark));
    while (keep > 0 && (static_cast<unsigned char>(utf8[keep]) & 0xC0) == 0x80)
        --keep;
    return keep;
}

#ifdef Q_OS_UNIX
void writeAll(int fd, const char *data, int size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<int>(n);
    }
}
#endif

} // namespace

void LogTail::append(const char *utf8, int size)
{
    const std::uint64_t n = g_count.load(std::memory_order_relaxed);
    Slot &slot = g_slots[n % kLines];
    slot.stamp.store(2 * n + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);

    bool cut = false;
    const int keep = keptBytes(utf8, qMax(0, size), &cut);
    std::memcpy(slot.bytes, utf8, static_cast<size_t>(keep));
    int length = keep;
    if (cut) {
        const int mark = static_cast<int>(std::strlen(kCutMark));
        std::memcpy(slot.bytes + keep, kCutMark, static_cast<size_t>(mark));
        length += mark;
    }
    slot.size = length;

    slot.stamp.store(2 * n + 2, std::memory_order_release);
    g_count.store(n + 1, std::memory_order_release);
}

int LogTail::writeTo(int fd)
{
#ifdef Q_OS_UNIX
    static const char kTorn[] = "[a line that was being written when the crash came]\n";
    const std::uint64_t end = g_count.load(std::memory_order_acquire);
    const std::uint64_t first = end > std::uint64_t(kLines) ? end - kLines : 0;
    char copy[kLineBytes];
    int written = 0;
    for (std::uint64_t n = first; n < end; ++n) {
        const Slot &slot = g_slots[n % kLines];
        const std::uint64_t before = slot.stamp.load(std::memory_order_acquire);
        const int size = qBound(0, slot.size, int(kLineBytes));
        for (int i = 0; i < size; ++i)
            copy[i] = slot.bytes[i];
        std::atomic_thread_fence(std::memory_order_acquire);
        const std::uint64_t after = slot.stamp.load(std::memory_order_relaxed);
        if (before != 2 * n + 2 || after != before) {
            writeAll(fd, kTorn, static_cast<int>(sizeof kTorn - 1));
            continue;
        }
        writeAll(fd, copy, size);
        writeAll(fd, "\n", 1);
        ++written;
    }
    return written;
#else
    Q_UNUSED(fd)
    return 0;
#endif
}
