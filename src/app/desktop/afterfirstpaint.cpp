#include "app/desktop/afterfirstpaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

// A window started minimized, or on a display that never shows it, is not painted: the work
// must not wait for ever.
constexpr int latestStartMs = 1000;

class FirstPaintWatcher : public QObject {
public:
    FirstPaintWatcher(QWidget* widget, std::function<void()> work)
        : QObject(widget)
        , m_work(std::move(work))
    {
        widget->installEventFilter(this);
        QTimer::singleShot(latestStartMs, this, &FirstPaintWatcher::runOnce);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // Queued: the painted picture goes to the screen when the paint returns.
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, &FirstPaintWatcher::runOnce);
        return false;
    }

private:
    void runOnce()
    {
        if (!m_work)
            return;
        parent()->removeEventFilter(this);
        std::function<void()> work = std::move(m_work);
        m_work = nullptr;
        deleteLater();
        work();
    }

    std::function<void()> m_work;
};

} // namespace

void runAfterFirstPaint(QWidget* widget, std::function<void()> work)
{
    new FirstPaintWatcher(widget, std::move(work));
}
