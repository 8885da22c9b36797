#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

#include <cstring>

// Collects the warnings of the "lumora.media" category while it lives, from any thread.
class WarningCapture {
public:
    WarningCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&handle);
    }
    ~WarningCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    QStringList warnings() const
    {
        QMutexLocker lock(&m_mutex);
        return m_warnings;
    }
    QString joined() const { return warnings().join(QLatin1Char('\n')); }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_warnings.clear();
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        WarningCapture* self = s_current;
        if (self && type == QtWarningMsg && context.category
            && std::strcmp(context.category, "lumora.media") == 0) {
            QMutexLocker lock(&self->m_mutex);
            self->m_warnings.append(message);
            return;
        }
        if (self && self->m_previous)
            self->m_previous(type, context, message);
    }

    static inline WarningCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_warnings;
};
