#include "app/lumoramusic.h"
#include "app/randomgenerator.h"
#include "app/randomsong.h"
#include "media/mediacontrol.h"

#include <QAction>
#include <QCoreApplication>
#include <QSlider>
#include <QTimer>

namespace {
// A song whose file cannot be opened leaves the device closed and reading equal times without
// any event to say so; this wake-up lets the loop notice and move on.
constexpr int kWakeUpIntervalMs = 100;
} // namespace

// A click toggles Play All. Turning it on starts a random song and then stays here, running the
// loop that starts the next random song at the end of each one, until the mark is cleared.
void LumoraMusic::mitplayall_Click()
{
    m_random.reseedFromClock();
    if (!mitplayall->isChecked()) {
        mitplayall->setChecked(true);
        MMControl1->close();
        chooseRandomSong();
        cmdPlay_Click();
    } else {
        mitplayall->setChecked(false);
        MMControl1->close();
    }
    // Turned on from outside (the desktop's media controls) while File > Open's dialog waits for
    // the user: a loop run here would hold the dialog's answer back until Play All ended. It
    // runs once the dialog is answered; a loop already running below the dialog goes on then.
    if (m_openDialogs > 0) {
        m_playAllAfterDialog = mitplayall->isChecked();
        return;
    }
    runPlayAllLoop();
}

void LumoraMusic::runPlayAllLoopAfterDialog()
{
    if (mitplayall->isChecked() && m_playAllLoops == 0 && !handlersStopped())
        runPlayAllLoop();
}

// Every other handler runs inside this loop's wait, a second click on Play All included, so the
// mark is read afresh after each one. The wait sleeps until an event comes: the end of a song
// wakes it, and nothing spins while a song plays. A song that did not open reads as ended at
// once; the next one is tried at the next wake-up, not as fast as events come.
void LumoraMusic::runPlayAllLoop()
{
    QTimer wakeUp;
    bool holdUntilWakeUp = false;
    connect(&wakeUp, &QTimer::timeout, this, [&holdUntilWakeUp] { holdUntilWakeUp = false; });
    wakeUp.start(kWakeUpIntervalMs);
    ++m_playAllLoops;
    for (;;) {
        if (m_unloaded || m_ending || !mitplayall->isChecked())
            break;
        if (!holdUntilWakeUp && startNextSongIfEnded())
            holdUntilWakeUp = MMControl1->length() == MMControl1->position();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    --m_playAllLoops;
}

bool LumoraMusic::isPlayAllLoopWaiting() const
{
    return (m_playAllLoops > 0 || m_playAllAfterDialog) && mitplayall->isChecked();
}

bool LumoraMusic::startNextSongIfEnded()
{
    const qint32 length = MMControl1->length();
    const qint32 position = MMControl1->position();
    if (length != position)
        return false;
    MMControl1->close();
    chooseRandomSong();
    Slider1->setValue(0);
    cmdPlay_Click();
    return true;
}

// What the end of the open song will start if nothing is clicked before it: Play All's next pick
// (drawn from a copy of the generator, so the real draw comes out the same), else the same file
// again with Loop. The media control plays it on without a break.
FollowingSong LumoraMusic::songThatFollows() const
{
    if (handlersStopped())
        return {};
    if (isPlayAllLoopWaiting()) {
        const std::unique_ptr<RandomGenerator> lookAhead = m_random.clone();
        const SongPick pick = pickRandomSong(*lookAhead);
        const CatalogueRow& row = Catalogue::row(pick.menu, pick.index);
        return { FollowingSong::Kind::OtherFile, QString::fromUtf8(row.stem) + ".mid" };
    }
    if (mitLoop->isChecked())
        return { FollowingSong::Kind::SameFile, {} };
    return {};
}

// The song is chosen exactly as a click on its item would choose it.
void LumoraMusic::chooseRandomSong()
{
    const SongPick pick = pickRandomSong(m_random);
    switch (pick.menu) {
    case SongMenu::Location:
        mitSong_Click(pick.index);
        break;
    case SongMenu::Sirrel:
        mitSirrel_Click(pick.index);
        break;
    case SongMenu::Temple:
        mitTemple_Click(pick.index);
        break;
    case SongMenu::Theme:
        mitTheme_Click(pick.index);
        break;
    }
}

void LumoraMusic::mitRandom_Click()
{
    mitplayall->setChecked(false);
    m_random.reseedFromClock();
    MMControl1->close();
    chooseRandomSong();
    cmdPlay_Click();
}
