#pragma once

#include "catalogue/catalogue.h"

#include <QList>
#include <QMainWindow>
#include <functional>

class CaptionLabel;
class FileOpenDialog;
class MediaControl;
class PictureButton;
class PictureLoader;
class PictureSurface;
class QAction;
class QMenu;
class QSlider;
class RandomGenerator;

// What the window talks to outside itself; each is owned by the caller and injectable for tests.
struct WindowServices {
    MediaControl* media = nullptr;
    FileOpenDialog* dialog = nullptr;
    RandomGenerator* random = nullptr;
    PictureLoader* pictures = nullptr;
};

// The player's one window: its controls, its menus, its two window-level variables and the
// handlers of their events. Handler bodies live with their subsystem: skins and lifetime in app/,
// song menus in catalogue/, transport and progress in playback/, random song and Play All in
// autoplay/.
class LumoraMusic : public QMainWindow {
    Q_OBJECT

public:
    explicit LumoraMusic(const WindowServices& services, QWidget* parent = nullptr);
    ~LumoraMusic() override;

    // A file from outside the window (command line, drop, the desktop's media controls): the
    // operations of File > Open with that file chosen, then those of Play.
    void openAndPlay(const QString& path);

    // Twips, the window's coordinate unit: 15 to a pixel at 96 dots per inch.
    static constexpr int pixelsFromTwips(int twips) { return twips / 15; }

    // Handlers, named after the control and the event they answer.
    void Form_Load();
    void Form_Unload(qint16& Cancel);
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

    qint16 skinNumber() const { return m_skinNumber; }
    QString currentSongStem() const { return m_currentSongStem; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenus();
    void fitMenuBarFont();
    QAction* addFileItem(const QString& caption, const QKeySequence& shortcut, bool checkable,
        void (LumoraMusic::*handler)());
    QList<QAction*> addSongMenu(QMenu*& menu, SongMenu which, void (LumoraMusic::*handler)(qint16));
    void connectHandler(QAction* action, std::function<void()> handler);
    bool handlersStopped() const { return m_ending || m_unloaded; }

    // Song menus: the steps every song-menu handler takes, given its items and catalogue rows.
    void chooseSong(const QList<QAction*>& items, SongMenu menu, qint16 Index);
    // Skins: the pictures of one button for the drawn skin.
    void showButtonPicture(PictureButton* button, int number, bool pressed);
    // Autoplay: the one rule by which the program picks a song by itself.
    void chooseRandomSong();
    void runPlayAllLoop();
    bool isPlayAllLoopWaiting() const;
    void startNextSongIfEnded();

    RandomGenerator& m_random;
    PictureLoader& m_pictures;

    qint16 m_skinNumber = 0;
    QString m_currentSongStem;

    bool m_ending = false; // File > Exit: no handler runs any more
    bool m_unloaded = false; // closed from the title bar: a running Play All loop must end
    int m_playAllLoops = 0; // Play All loops running, nested in one another's wait
};
