#include "app/captionlabel.h"
#include "app/filedrophandler.h"
#include "app/mprisplayer.h"
#include "app/picturebutton.h"
#include "app/screenreadernames.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QAction>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

// A window with the player's desktop face over it, a song from the menus loaded.
struct MprisFixture : WindowFixture {
    MprisPlayer mpris { window.get(), &media };

    void chooseHarbour() { window->mitSong[1]->trigger(); } // "Misty Harbour"
    void bringTo(const QString& state)
    {
        chooseHarbour();
        if (state == QLatin1String("stopped"))
            return;
        window->cmdPlay_Click();
        if (state == QLatin1String("paused"))
            window->cmdPause_Click();
    }
};

void act(MprisPlayer& mpris, const QString& action)
{
    if (action == QLatin1String("Play"))
        mpris.play();
    else if (action == QLatin1String("Pause"))
        mpris.pause();
    else if (action == QLatin1String("PlayPause"))
        mpris.playPause();
    else if (action == QLatin1String("Stop"))
        mpris.stop();
    else
        QFAIL("unknown action");
}

} // namespace

// The desktop's media controls act as the window's own buttons and menu items do, and see what
// the window shows.
class TestMprisPlayer : public QObject {
    Q_OBJECT

private slots:
    void transportActsAsTheButtons_data();
    void transportActsAsTheButtons();
    void nextIsChooseRandomSong();
    void loopAndShuffleAreTheMenuMarks();
    void metadataNamesTheSong();
    void openUriOpensAndPlays();
    void changesAreAnnouncedOnce();
    void onlyOneMidiFileIsTakenFromADrop_data();
    void onlyOneMidiFileIsTakenFromADrop();
    void aDroppedSongPlaysAndAnythingElseIsRefused();
    void screenReadersReadNamedControls();
};

void TestMprisPlayer::transportActsAsTheButtons_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<QString>("status");

    const QStringList play { "Command Close", "Command Open", "Command Play" };
    const QStringList stop { "Command Close", "Command Open" };
    const QStringList pause { "Command Pause" };
    QTest::newRow("Play while playing restarts") << "playing"
                                                 << "Play" << play << "Playing";
    QTest::newRow("Play while paused restarts") << "paused"
                                                << "Play" << play << "Playing";
    QTest::newRow("Pause while playing") << "playing"
                                         << "Pause" << pause << "Paused";
    QTest::newRow("Pause while paused stays paused") << "paused"
                                                     << "Pause" << QStringList {} << "Paused";
    QTest::newRow("Pause while stopped") << "stopped"
                                         << "Pause" << QStringList {} << "Stopped";
    QTest::newRow("PlayPause while playing") << "playing"
                                             << "PlayPause" << pause << "Paused";
    QTest::newRow("PlayPause while paused resumes") << "paused"
                                                    << "PlayPause" << pause << "Playing";
    QTest::newRow("PlayPause while stopped plays") << "stopped"
                                                   << "PlayPause" << play << "Playing";
    QTest::newRow("Stop while playing") << "playing"
                                        << "Stop" << stop << "Stopped";
}

void TestMprisPlayer::transportActsAsTheButtons()
{
    QFETCH(QString, state);
    QFETCH(QString, action);
    QFETCH(QStringList, operations);
    QFETCH(QString, status);

    MprisFixture w;
    w.bringTo(state);
    w.media.operations.clear();
    act(w.mpris, action);
    QCOMPARE(w.media.operations, operations);
    QCOMPARE(w.mpris.playbackStatus(), status);
}

void TestMprisPlayer::nextIsChooseRandomSong()
{
    MprisFixture w;
    w->mitLoop->trigger();
    w.mpris.next();
    QCOMPARE(w.media.operations.last(), QStringLiteral("Command Play"));
    QVERIFY(
        w.media.operations.contains(QStringLiteral("FileName %1.mid").arg(w->currentSongStem())));
    QCOMPARE(w.mpris.playbackStatus(), QStringLiteral("Playing"));
    QVERIFY(w.mpris.title().size() > 0);
}

void TestMprisPlayer::loopAndShuffleAreTheMenuMarks()
{
    MprisFixture w;
    QCOMPARE(w.mpris.loopStatus(), QStringLiteral("None"));
    for (const char* status : { "Track", "Track", "Playlist" }) {
        w.mpris.setLoopStatus(QLatin1String(status));
        QVERIFY(w->mitLoop->isChecked());
        QCOMPARE(w.mpris.loopStatus(), QStringLiteral("Track"));
    }
    w.mpris.setLoopStatus(QStringLiteral("None"));
    QVERIFY(!w->mitLoop->isChecked());

    // Play All waits inside its handler until its mark is cleared: clear it from inside.
    bool shuffledMeanwhile = false;
    QTimer::singleShot(20, &w.mpris, [&] {
        shuffledMeanwhile = w.mpris.shuffle() && w.media.isPlaying();
        w.mpris.setShuffle(false);
    });
    w.mpris.setShuffle(true);
    QVERIFY(shuffledMeanwhile);
    QVERIFY(!w.mpris.shuffle());
    QVERIFY(!w->mitplayall->isChecked());
}

void TestMprisPlayer::metadataNamesTheSong()
{
    MprisFixture w;
    QCOMPARE(w.mpris.metadata().value("mpris:trackid").value<QDBusObjectPath>().path(),
        QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    QVERIFY(!w.mpris.metadata().contains("xesam:title"));

    w.bringTo("playing");
    QVariantMap metadata = w.mpris.metadata();
    QCOMPARE(metadata.value("xesam:title").toString(), QStringLiteral("Misty Harbour"));
    QCOMPARE(metadata.value("mpris:length").toLongLong(), 60000000LL);
    QVERIFY(metadata.value("xesam:url").toString().endsWith(QStringLiteral("k58harbr.mid")));

    w->openAndPlay(QStringLiteral("/music/Night.Song.mid"));
    metadata = w.mpris.metadata();
    QCOMPARE(metadata.value("xesam:title").toString(), QStringLiteral("Night.Song"));
    QCOMPARE(
        metadata.value("xesam:url").toString(), QStringLiteral("file:///music/Night.Song.mid"));
    w.media.setPosition(1500);
    QCOMPARE(w.mpris.positionUs(), 1500000LL);
}

void TestMprisPlayer::openUriOpensAndPlays()
{
    MprisFixture w;
    w.mpris.openUri(QStringLiteral("https://example.org/a.mid"));
    QCOMPARE(w.media.operations, QStringList {});
    w.mpris.openUri(QStringLiteral("file:///music/My%20Song.mid"));
    QCOMPARE(w.media.operations,
        QStringList({ "FileName /music/My Song.mid", "Command open", "Command Close",
            "Command Open", "Command Play" }));
    QCOMPARE(w->lblname->caption(), QStringLiteral("Current Song = Midi"));
    QCOMPARE(w.mpris.title(), QStringLiteral("My Song"));
}

void TestMprisPlayer::changesAreAnnouncedOnce()
{
    MprisFixture w;
    QSignalSpy changes(&w.mpris, &MprisPlayer::playerPropertiesChanged);
    w.bringTo("playing");
    QTRY_COMPARE(changes.size(), 1);
    QVariantMap changed = changes.takeFirst().first().toMap();
    QCOMPARE(changed.value("PlaybackStatus").toString(), QStringLiteral("Playing"));
    QCOMPARE(changed.value("Metadata").toMap().value("xesam:title").toString(),
        QStringLiteral("Misty Harbour"));

    w->cmdPause->click();
    QTRY_COMPARE(changes.size(), 1);
    changed = changes.takeFirst().first().toMap();
    QCOMPARE(changed.keys(), QStringList { "PlaybackStatus" });
    QCOMPARE(changed.value("PlaybackStatus").toString(), QStringLiteral("Paused"));

    w->mitLoop->trigger();
    QTRY_COMPARE(changes.size(), 1);
    QCOMPARE(changes.takeFirst().first().toMap().keys(), QStringList { "LoopStatus" });

    w.media.raiseStatusUpdate(); // nothing changed: nothing said
    QTest::qWait(20);
    QCOMPARE(changes.size(), 0);
}

void TestMprisPlayer::onlyOneMidiFileIsTakenFromADrop_data()
{
    QTest::addColumn<QStringList>("names"); // dropped files, made in a scratch folder
    QTest::addColumn<bool>("taken");

    QTest::newRow("one .mid") << QStringList { "song.mid" } << true;
    QTest::newRow("one .KAR") << QStringList { "karaoke.KAR" } << true;
    QTest::newRow("one .rmi") << QStringList { "riff.rmi" } << true;
    QTest::newRow("one .midi") << QStringList { "long.midi" } << true;
    QTest::newRow("two songs") << QStringList { "a.mid", "b.mid" } << false;
    QTest::newRow("a text file") << QStringList { "notes.txt" } << false;
    QTest::newRow("a folder named like a song") << QStringList { "folder.mid/" } << false;
    QTest::newRow("a missing file") << QStringList { "!gone.mid" } << false;
}

void TestMprisPlayer::onlyOneMidiFileIsTakenFromADrop()
{
    QFETCH(QStringList, names);
    QFETCH(bool, taken);

    QTemporaryDir dir;
    QList<QUrl> urls;
    for (QString name : names) {
        if (name.endsWith('/'))
            QVERIFY(QDir(dir.path()).mkdir(name.chopped(1)));
        else if (name.startsWith('!'))
            name.remove(0, 1);
        else
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        urls << QUrl::fromLocalFile(dir.filePath(name));
    }
    QMimeData data;
    data.setUrls(urls);
    QCOMPARE(
        FileDropHandler::droppedMidiFile(&data), taken ? dir.filePath(names.first()) : QString());

    QMimeData remote;
    remote.setUrls({ QUrl(QStringLiteral("https://example.org/song.mid")) });
    QCOMPARE(FileDropHandler::droppedMidiFile(&remote), QString());
}

void TestMprisPlayer::aDroppedSongPlaysAndAnythingElseIsRefused()
{
    MprisFixture w;
    new FileDropHandler(w.window.get());
    QVERIFY(w->acceptDrops());
    QTemporaryDir dir;
    QVERIFY(QFile(dir.filePath("drop.mid")).open(QIODevice::WriteOnly));
    QVERIFY(QFile(dir.filePath("drop.txt")).open(QIODevice::WriteOnly));
    const auto send = [&](QEvent::Type type, const QString& name) {
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(dir.filePath(name)) });
        const auto actions = Qt::CopyAction | Qt::MoveAction;
        std::unique_ptr<QDropEvent> event;
        if (type == QEvent::DragEnter)
            event = std::make_unique<QDragEnterEvent>(
                QPoint(50, 50), actions, &data, Qt::LeftButton, Qt::NoModifier);
        else
            event = std::make_unique<QDropEvent>(
                QPointF(50, 50), actions, &data, Qt::LeftButton, Qt::NoModifier);
        event->setAccepted(false);
        QCoreApplication::sendEvent(w.window.get(), event.get());
        return event->isAccepted();
    };
    QVERIFY(!send(QEvent::DragEnter, "drop.txt"));
    QVERIFY(!send(QEvent::Drop, "drop.txt"));
    QCOMPARE(w.media.operations, QStringList {});
    QVERIFY(send(QEvent::DragEnter, "drop.mid"));
    QVERIFY(send(QEvent::Drop, "drop.mid"));
    QCOMPARE(w.media.operations,
        QStringList({ "FileName " + dir.filePath("drop.mid"), "Command open", "Command Close",
            "Command Open", "Command Play" }));
}

void TestMprisPlayer::screenReadersReadNamedControls()
{
    MprisFixture w;
    nameControlsForScreenReaders(w.window.get());
    w.bringTo("stopped");
    const struct {
        QWidget* widget;
        QAccessible::Role role;
        const char* name;
    } expected[] = {
        { w->cmdPlay, QAccessible::Button, "Play" },
        { w->cmdPause, QAccessible::Button, "Pause" },
        { w->cmdStop, QAccessible::Button, "Stop" },
        { w->Slider1, QAccessible::Slider, "Song position" },
        { w->lblname, QAccessible::StaticText, "Current Song: Misty Harbour" },
    };
    for (const auto& control : expected) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control.widget);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), control.role);
        QCOMPARE(accessible->text(QAccessible::Name), QString::fromUtf8(control.name));
    }
    QVERIFY(!QAccessible::queryAccessibleInterface(w->cmdPause)
                 ->text(QAccessible::Description)
                 .isEmpty());
}

QTEST_MAIN(TestMprisPlayer)
#include "tst_mprisplayer.moc"
