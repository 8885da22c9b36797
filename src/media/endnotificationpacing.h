#pragma once

#include <QElapsedTimer>

// When the next end notification may go out: after a short delay, and never sooner than a
// minimum gap after the one before. An empty song with Loop on would otherwise restart at the
// rate of the audio periods and keep the processor busy.
class EndNotificationPacing {
public:
    EndNotificationPacing(int delayMs, int minGapMs);

    // How long from now until the next notification.
    int delayMs() const;
    // A notification went out now: the gap counts from here.
    void notified();

private:
    int m_delayMs;
    int m_minGapMs;
    QElapsedTimer m_sinceNotified;
};
