#pragma once

#include <QObject>
#include <QString>

class QMainWindow;
class QMimeData;

// Lets a MIDI file be dropped on the window: it is opened and played as one named on the command
// line. Anything else (several files, a folder, text, a file that does not hold a song) is
// refused while it is dragged, by a look at the file's start, so the cursor says no and nothing
// is half taken; a file the reader then refuses after all is refused at the drop, and changes
// nothing.
class FileDropHandler : public QObject {
    Q_OBJECT

public:
    explicit FileDropHandler(QMainWindow* window);

    // The one local file the data carries, when it looks like a song; empty otherwise.
    static QString droppedSongFile(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMainWindow* m_window;
    bool m_dragLooksLikeSong = false; // decided once as the drag enters
};
