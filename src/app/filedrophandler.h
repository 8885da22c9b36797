#pragma once

#include <QObject>
#include <QString>

class QMainWindow;
class QMimeData;

// Lets a MIDI file be dropped on the window: it is opened and played as one named on the command
// line. Anything else (several files, a folder, text, a file of another kind) is refused while it
// is dragged, so the cursor says no and nothing is half taken.
class FileDropHandler : public QObject {
    Q_OBJECT

public:
    explicit FileDropHandler(QMainWindow* window);

    // The one local MIDI file the data carries; empty when it carries anything else.
    static QString droppedMidiFile(const QMimeData* data);
    static bool isMidiFileName(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMainWindow* m_window;
};
