#include "media/endnotificationpacing.h"

#include <algorithm>

EndNotificationPacing::EndNotificationPacing(int delayMs, int minGapMs)
    : m_delayMs(delayMs)
    , m_minGapMs(minGapMs)
{
}

int EndNotificationPacing::delayMs() const
{
    if (!m_sinceNotified.isValid())
        return m_delayMs;
    return int(std::max<qint64>(m_delayMs, m_minGapMs - m_sinceNotified.elapsed()));
}

void EndNotificationPacing::notified()
{
    m_sinceNotified.start();
}
