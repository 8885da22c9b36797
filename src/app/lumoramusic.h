#pragma once

#include "app/catalogue.h"
#include "app/windowservices.h"
#include "media/mediacontrol.h"

#include <QList>
#include <QMainWindow>
#include <functional>

class CaptionLabel;
class PictureButton;
class PictureSurface;
class QAction;
class QMenu;
class QSlider;

// The player's one window: its controls, its menus, its two window-level variables and the
// handlers of their events. Every member is defined in app/: the window itself in
// lumoramusic.cpp, its handlers by concern in lifetime, skins, songmenus, transport, progress and
// autoplay.
//
// Outside app/ the window is a QMainWindow from createMainWindow (windowservices.h), its two
// variables are the properties "skinNumber" and "currentSongStem".
//
// Names: a handler is <control>_<Event> (cmdPlay_Click, mitSong_Click(Index) for a song menu's
// item Index); each control's objectName is its member name ("cmdPlay", "mitplayall",
// "Slider1", "lblname"), a song menu's items "mitSong_0", "mitTemple_7" and so on. Handlers
// run from their control's signal; tests and tools find the controls by these names.
//
// Re-entrancy: Play All's loop (mitplayall_Click) waits in processEvents, so any other handler
// can run nested inside it: the song menus, Play, Pause, Stop, Open, Loop, Choose Random Song, a
// second Play All, Exit, the window's closing and the status update. None of them keeps state
// across the wait; the loop itself must re-check, after every wait, that Play All is still
// checked and that the window is neither ending nor closed, and read Length and Position afresh.
// The status update, which rewinds a finished song, first lets a waiting loop start the next
// one (startNextSongIfEnded), since a modal dialog inside the wait may keep the loop from looking.
// The loop never starts inside File > Open's dialog (Play All turned on from the desktop's media
// controls meanwhile): it would keep the dialog's answer from File > Open until Play All ended.
// It starts once the dialog is answered, and the status update stands in for it until then.
class LumoraMusic : public QMainWindow {
    Q_OBJECT
    Q_PROPERTY(qint16 skinNumber READ skinNumber)
    Q_PROPERTY(QString currentSongStem READ currentSongStem)

public:
    explicit LumoraMusic(const WindowServices& services, QWidget* parent = nullptr);
    ~LumoraMusic() override;

    // A file from outside the window (command line, drop, the desktop's media controls): checked
    // first, and when it cannot be played nothing changes and the reason is returned; otherwise
    // the song is closed, the operations of File > Open with that file chosen follow, then those
    // of Play, and the result is empty. Outside app/ it runs with QMetaObject::invokeMethod(window,
    // "openAndPlay", Q_RETURN_ARG(QString, why), Q_ARG(QString, path)).
    Q_INVOKABLE QString openAndPlay(const QString& path);

    // Twips, the window's coordinate unit: 15 to a pixel at 96 dots per inch.
    static constexpr int pixelsFromTwips(int twips) { return twips / 15; }

    // The form's load event, raised by the program's start before the window is first shown.
    Q_INVOKABLE void Form_Load();

    qint16 skinNumber() const { return m_skinNumber; }
    QString currentSongStem() const { return m_currentSongStem; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void mitexit_Click();
    void mitSong_Click(qint16 Index);
    void mitSirrel_Click(qint16 Index);
    void mitTemple_Click(qint16 Index);
    void mitTheme_Click(qint16 Index);
    void cmdPlay_Click();
    void cmdPause_Click();
    void cmdStop_Click();
    void mitopen_Click();
    void mitLoop_Click();
    void MMControl1_StatusUpdate();
    void mitRandom_Click();
    void mitplayall_Click();
    void cmdPlay_MouseDown();
    void cmdPlay_MouseUp();
    void cmdPause_MouseDown();
    void cmdPause_MouseUp();
    void cmdStop_MouseDown();
    void cmdStop_MouseUp();

private:
    void Form_Unload(qint16& Cancel);

    void createControls();
    void createMenus();
    void useMenuFont();
    void fitMenuBarFont();
    QAction* addFileItem(const char* name, const QString& caption, const QKeySequence& shortcut,
        bool checkable, void (LumoraMusic::*handler)());
    QList<QAction*> addSongMenu(
        QMenu*& menu, const char* name, SongMenu which, void (LumoraMusic::*handler)(qint16));
    void connectHandler(QAction* action, std::function<void()> handler);
    bool handlersStopped() const { return m_ending || m_unloaded; }

    // Song menus: the steps every song-menu handler takes, given its items and catalogue rows.
    void chooseSong(const QList<QAction*>& items, SongMenu menu, qint16 Index);
    // Skins: the pictures of one button for the drawn skin.
    void showButtonPicture(PictureButton* button, int number, bool pressed);
    // Autoplay: the one rule by which the program picks a song by itself, as a click would.
    void chooseRandomSong();
    void runPlayAllLoop();
    void runPlayAllLoopAfterDialog();
    bool isPlayAllLoopWaiting() const;
    FollowingSong songThatFollows() const;
    // True when the song had ended and the next one was started.
    bool startNextSongIfEnded();

    // Controls, in the order the window creates them.
    FileOpenDialog* const CommonDialog;
    MediaControl* const MMControl1;
    QSlider* Slider1 = nullptr;
    PictureButton* cmdStop = nullptr;
    PictureButton* cmdPause = nullptr;
    PictureButton* cmdPlay = nullptr;
    CaptionLabel* lblname = nullptr;
    PictureSurface* surface = nullptr; // the client area that shows the window's picture

    // Menus; each song menu's items form an array addressed by index.
    QMenu* mnuFile = nullptr;
    QAction* mitopen = nullptr;
    QAction* mitRandom = nullptr;
    QAction* mitLoop = nullptr;
    QAction* mitplayall = nullptr;
    QAction* mitexit = nullptr;
    QMenu* mnuSong = nullptr;
    QMenu* mnuSirrel = nullptr;
    QMenu* mnuTemple = nullptr;
    QMenu* mnuTheme = nullptr;
    QList<QAction*> mitSong;
    QList<QAction*> mitSirrel;
    QList<QAction*> mitTemple;
    QList<QAction*> mitTheme;

    RandomGenerator& m_random;
    PictureLoader& m_pictures;

    qint16 m_skinNumber = 0;
    QString m_currentSongStem;

    bool m_ending = false; // File > Exit: no handler runs any more
    bool m_unloaded = false; // closed from the title bar: a running Play All loop must end
    int m_playAllLoops = 0; // Play All loops running, nested in one another's wait
    int m_openDialogs = 0; // File > Open's dialog is waiting for its answer
    bool m_playAllAfterDialog = false; // turned on meanwhile: its loop starts after the answer
};
