#include "ProgressBar.h"

#include <cstdio>

namespace {

int barOf(qint64 done, qint64 total)
{
    return static_cast<int>(qMin<qint64>(ProgressBar::kWidth, ProgressBar::kWidth * done / total));
}

int percentOf(qint64 done, qint64 total)
{
    return static_cast<int>(100 * done / total);
}

} // namespace

ProgressBar::ProgressBar(const char *label, qint64 total)
    : m_label(label)
    , m_total(total)
{
}

QByteArray ProgressBar::format(const char *label, qint64 done, qint64 total)
{
    if (total < done)
        total = done + 1;
    if (total == 0)
        total = 1;
    const int bar = barOf(done, total);
    QByteArray text = QByteArray("\r") + label + "\t[" + QByteArray(bar, '=') + QByteArray(kWidth - bar, ' ')
        + "] ";
    char tail[64];
    std::snprintf(tail, sizeof tail, "%3d%% %12lld bytes", percentOf(done, total), static_cast<long long>(done));
    text += tail;
    if (bar == kWidth)
        text += QByteArray("\n") + label + " done.\n";
    return text;
}

void ProgressBar::update(qint64 done)
{
    const qint64 total = m_total == 0 ? 1 : qMax(m_total, done);
    const int bar = barOf(done, total);
    const int percent = percentOf(done, total);
    if (bar == m_lastBar && percent == m_lastPercent)
        return;
    m_lastBar = bar;
    m_lastPercent = percent;
    const QByteArray text = format(m_label, done, m_total);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fflush(stdout);
}
