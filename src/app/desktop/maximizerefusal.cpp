#include "app/desktop/maximizerefusal.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

class MaximizeRefusal : public QObject {
public:
    explicit MaximizeRefusal(QWidget* window)
        : QObject(window)
        , m_window(window)
        , m_handle(window->windowHandle())
    {
        m_handle->installEventFilter(this);
        connect(m_handle, &QWindow::windowStateChanged, this, &MaximizeRefusal::onStateAsked);
    }

private:
    // The title bar's button asks the compositor first; its answer must find the window free to
    // take the size it is given.
    void onStateAsked(Qt::WindowState state)
    {
        if (state != Qt::WindowMaximized || m_sizeReleased)
            return;
        m_sizeReleased = true;
        m_window->layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
        m_window->setMinimumSize(0, 0);
        m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }

    // A state the compositor has configured arrives as a spontaneous state change.
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::WindowStateChange && event->spontaneous())
            onStateConfigured(m_handle->windowStates());
        return false;
    }

    void onStateConfigured(Qt::WindowStates states)
    {
        if ((states & Qt::WindowMaximized) && m_sizeReleased && !m_leaving) {
            m_leaving = true;
            QTimer::singleShot(0, this, [this] {
                m_handle->setWindowStates(m_handle->windowStates() & ~Qt::WindowMaximized);
            });
        } else if (!(states & Qt::WindowMaximized) && m_leaving) {
            // Only now, in the normal state, may the window choose its size again.
            m_leaving = m_sizeReleased = false;
            QTimer::singleShot(
                0, this, [this] { m_window->layout()->setSizeConstraint(QLayout::SetFixedSize); });
        }
    }

    QWidget* const m_window;
    QWindow* const m_handle;
    bool m_sizeReleased = false; // maximize asked for: the fixed size is lifted
    bool m_leaving = false; // maximized; the normal state asked for
};

} // namespace

void refuseMaximizeOnWayland(QWidget* window)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) || !window->layout()
        || !window->windowHandle())
        return;
    new MaximizeRefusal(window);
}
