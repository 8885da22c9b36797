#include "app/desktop/filedrophandler.h"

#include "media/filenames.h"
#include "media/songfilecheck.h"

#include <QDropEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QUrl>

FileDropHandler::FileDropHandler(QMainWindow* window)
    : QObject(window)
    , m_window(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

QString FileDropHandler::droppedSongFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return QString();
    // The name's bytes, as the URI carries them percent-encoded: not every name is UTF-8.
    const QString path = FileNames::fromUri(data->urls().first().toString(QUrl::FullyEncoded));
    return !path.isEmpty() && SongFileCheck::looksLikeSong(path) ? path : QString();
}

bool FileDropHandler::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event); // the drag events all derive from it
        if (event->type() == QEvent::DragEnter)
            m_dragLooksLikeSong = !droppedSongFile(drag->mimeData()).isEmpty();
        if (m_dragLooksLikeSong)
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString file = droppedSongFile(drop->mimeData());
        QString why = QStringLiteral("not a song file");
        if (!file.isEmpty())
            QMetaObject::invokeMethod(m_window, "openAndPlay", Qt::DirectConnection,
                Q_RETURN_ARG(QString, why), Q_ARG(QString, file));
        if (why.isEmpty())
            drop->acceptProposedAction();
        else
            drop->ignore();
        return true;
    }
    default:
        return false;
    }
}
