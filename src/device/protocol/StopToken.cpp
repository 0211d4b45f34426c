#include "StopToken.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {
// How often a long sleep looks at the flag.
constexpr int kCheckMs = 50;
}

StopToken::StopToken()
    : m_flag(std::make_shared<std::atomic<bool>>(false))
{
}

void StopToken::request() const
{
    m_flag->store(true);
}

bool StopToken::isRequested() const
{
    return m_flag->load();
}

bool StopToken::sleep(int ms) const
{
    const QDeadlineTimer deadline(qMax(0, ms));
    while (!isRequested()) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0)
            return true;
        QThread::msleep(ulong(qMin<qint64>(remaining, kCheckMs)));
    }
    return false;
}
