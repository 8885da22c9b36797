#include "app/filedrophandler.h"

#include <QDropEvent>
#include <QFileInfo>
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

bool FileDropHandler::isMidiFileName(const QString& name)
{
    static const QStringList suffixes { QStringLiteral("mid"), QStringLiteral("midi"),
        QStringLiteral("kar"), QStringLiteral("rmi") };
    return suffixes.contains(QFileInfo(name).suffix().toLower());
}

QString FileDropHandler::droppedMidiFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return QString();
    const QUrl url = data->urls().first();
    if (!url.isLocalFile())
        return QString();
    const QFileInfo file(url.toLocalFile());
    return file.isFile() && isMidiFileName(file.fileName()) ? file.absoluteFilePath() : QString();
}

bool FileDropHandler::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event); // the drag events all derive from it
        if (droppedMidiFile(drag->mimeData()).isEmpty())
            drag->ignore();
        else
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString file = droppedMidiFile(drop->mimeData());
        if (file.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        QMetaObject::invokeMethod(
            m_window, "openAndPlay", Qt::DirectConnection, Q_ARG(QString, file));
        return true;
    }
    default:
        return false;
    }
}
