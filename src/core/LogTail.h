#pragma once

// The most recent log lines, kept for the crash report: the lines exactly as the
// log has them (secrets already hidden where they were logged), in a fixed buffer
// that a signal handler can read.
//
// Why a ring read without a lock: a crash handler may neither allocate nor take a
// lock that the crashed thread may hold (the logger's own mutex included), and
// writing every line through a pre-opened descriptor would cost a system call per
// line. So each slot carries the number of the line it holds, set odd while the
// slot is written and even once it is whole; the handler copies a slot out and
// keeps it only when that number was the expected even one before and after the
// copy, so a line that was being written when the crash came is named, not torn.
class LogTail
{
public:
    static constexpr int kLines = 50;
    // Longer lines are cut (at a character boundary) and end in kCutMark.
    static constexpr int kLineBytes = 1024;
    static constexpr const char *kCutMark = " [...]";

    // One UTF-8 line without its line feed. Callers serialise (the logger calls
    // it under its mutex).
    static void append(const char *utf8, int size);

    // Async-signal-safe: writes the kept lines to fd, oldest first, each ending
    // in a line feed. Returns the number of lines written.
    static int writeTo(int fd);
};
