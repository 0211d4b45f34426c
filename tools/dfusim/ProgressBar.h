#pragma once

#include <QByteArray>
#include <QtGlobal>

// dfu-util's progress display on standard output: every update starts with a
// carriage return and reads "<label>\t[<25-character bar>] <percent, 3 wide>%
// <bytes, 12 wide> bytes"; the full bar is followed by "\n<label> done.\n".
// Each update is flushed at once, so that a reader sees it while it happens.
class ProgressBar
{
public:
    static constexpr int kWidth = 25;

    ProgressBar(const char *label, qint64 total);

    void update(qint64 done);
    static QByteArray format(const char *label, qint64 done, qint64 total);

private:
    const char *m_label;
    qint64 m_total;
    int m_lastBar = -1;
    int m_lastPercent = -1;
};
