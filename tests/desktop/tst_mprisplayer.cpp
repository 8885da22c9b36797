#include "app/captionlabel.h"
#include "app/filedrophandler.h"
#include "app/mprisplayer.h"
#include "app/picturebutton.h"
#include "app/screenreadernames.h"
#include "testwait.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

const QStringList kPlay { "Command Close", "Command Open", "Command Play" };

// A window with the desktop's view of it, "Misty Harbour" chosen from the menus and then played,
// paused or left stopped.
struct MprisFixture : WindowFixture {
    MprisPlayer mpris { window.get(), &media };

    void bringTo(const QString& state)
    {
        driver.mitSong[1]->trigger();
        if (state != QLatin1String("stopped"))
            driver.cmdPlay_Click();
        if (state == QLatin1String("paused"))
            driver.cmdPause_Click();
        media.operations.clear();
    }
};

} // namespace

// The desktop's media controls act as the window's buttons and menu items do, and see what the
// window shows.
class TestMprisPlayer : public QObject {
    Q_OBJECT

private slots:
    void actsAsTheButtons_data();
    void actsAsTheButtons();
    void loopAndShuffleAreTheMenuMarks();
    void metadataNamesTheSongAndChangesAreAnnounced();
    void dropsTakeOneMidiFile_data();
    void dropsTakeOneMidiFile();
    void screenReadersReadNamedButtons();
};

void TestMprisPlayer::actsAsTheButtons_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("action"); // a slot of the player
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<QString>("status");

    const QStringList pause { "Command Pause" }, none;
    QTest::newRow("Play restarts") << "playing"
                                   << "play" << kPlay << "Playing";
    QTest::newRow("Play when paused restarts") << "paused"
                                               << "play" << kPlay << "Playing";
    QTest::newRow("Pause") << "playing"
                           << "pause" << pause << "Paused";
    QTest::newRow("Pause when paused stays") << "paused"
                                             << "pause" << none << "Paused";
    QTest::newRow("Pause when stopped") << "stopped"
                                        << "pause" << none << "Stopped";
    QTest::newRow("PlayPause pauses") << "playing"
                                      << "playPause" << pause << "Paused";
    QTest::newRow("PlayPause resumes") << "paused"
                                       << "playPause" << pause << "Playing";
    QTest::newRow("PlayPause plays") << "stopped"
                                     << "playPause" << kPlay << "Playing";
    QTest::newRow("Stop") << "playing"
                          << "stop" << QStringList { "Command Close", "Command Open" } << "Stopped";
}

void TestMprisPlayer::actsAsTheButtons()
{
    QFETCH(QString, state);
    QFETCH(QString, action);
    QFETCH(QStringList, operations);
    QFETCH(QString, status);

    MprisFixture w;
    w.bringTo(state);
    QMetaObject::invokeMethod(&w.mpris, action.toLatin1().constData());
    QCOMPARE(w.media.operations, operations);
    QCOMPARE(w.mpris.playbackStatus(), status);
}

void TestMprisPlayer::loopAndShuffleAreTheMenuMarks()
{
    MprisFixture w;
    for (const char* status : { "Track", "Track", "Playlist", "None" }) {
        w.mpris.setLoopStatus(QLatin1String(status));
        QCOMPARE(w->mitLoop->isChecked(), qstrcmp(status, "None") != 0); // Playlist: unchanged
        QCOMPARE(w.mpris.loopStatus(), QLatin1String(w->mitLoop->isChecked() ? "Track" : "None"));
    }
    w.mpris.next(); // Choose Random Song
    QCOMPARE(w.media.operations.mid(w.media.operations.size() - 3), kPlay);

    // Play All waits inside its handler until its mark is cleared: clear it from inside.
    bool shuffling = false;
    QTimer::singleShot(20, &w.mpris, [&] {
        shuffling = w.mpris.shuffle() && w.media.isPlaying();
        w.mpris.setShuffle(false);
    });
    w.mpris.setShuffle(true);
    QVERIFY(shuffling);
    QVERIFY(!w.mpris.shuffle() && !w->mitplayall->isChecked());
}

void TestMprisPlayer::metadataNamesTheSongAndChangesAreAnnounced()
{
    MprisFixture w;
    QSignalSpy changes(&w.mpris, &MprisPlayer::playerPropertiesChanged);
    QVERIFY(!w.mpris.metadata().contains("xesam:title"));

    w.bringTo("playing");
    LUMORA_TRY_COMPARE(changes.size(), 1);
    const QVariantMap changed = changes.takeFirst().first().toMap();
    QCOMPARE(changed.value("PlaybackStatus").toString(), QStringLiteral("Playing"));
    QCOMPARE(changed.value("Metadata").toMap().value("xesam:title").toString(), "Misty Harbour");
    QCOMPARE(w.mpris.metadata().value("mpris:length").toLongLong(), 60000000LL);

    w->cmdPause->click();
    LUMORA_TRY_COMPARE(changes.size(), 1);
    QCOMPARE(changes.takeFirst().first().toMap().keys(), QStringList { "PlaybackStatus" });
    w.media.raiseStatusUpdate(); // nothing changed: nothing is said
    QTest::qWait(20);
    QCOMPARE(changes.size(), 0);

    w.media.operations.clear();
    w.mpris.openUri(QStringLiteral("https://example.org/a.mid")); // not ours: ignored
    w.mpris.openUri(QStringLiteral("file:///music/Night%20Song.mid"));
    QCOMPARE(w.media.operations,
        QStringList({ "FileName /music/Night Song.mid", "Command open" }) + kPlay);
    QCOMPARE(w->lblname->caption(), QStringLiteral("Current Song = Midi"));
    QCOMPARE(w.mpris.metadata().value("xesam:title").toString(), QStringLiteral("Night Song"));
    QCOMPARE(w.mpris.metadata().value("xesam:url").toString(), "file:///music/Night%20Song.mid");
}

void TestMprisPlayer::dropsTakeOneMidiFile_data()
{
    QTest::addColumn<QStringList>("names"); // made in a scratch folder; "/" ends a folder's
    QTest::addColumn<bool>("taken");

    QTest::newRow(".mid") << QStringList { "song.mid" } << true;
    QTest::newRow(".KAR") << QStringList { "karaoke.KAR" } << true;
    QTest::newRow(".rmi") << QStringList { "riff.rmi" } << true;
    QTest::newRow("two songs") << QStringList { "a.mid", "b.mid" } << false;
    QTest::newRow("text") << QStringList { "notes.txt" } << false;
    QTest::newRow("a folder") << QStringList { "folder.mid/" } << false;
}

void TestMprisPlayer::dropsTakeOneMidiFile()
{
    QFETCH(QStringList, names);
    QFETCH(bool, taken);

    MprisFixture w;
    new FileDropHandler(w.window.get());
    QTemporaryDir dir;
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& name : names) {
        QVERIFY(name.endsWith('/') ? QDir(dir.path()).mkdir(name)
                                   : QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        urls << QUrl::fromLocalFile(dir.filePath(name));
    }
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(w.window.get(), &enter);
    QCoreApplication::sendEvent(w.window.get(), &drop);
    QCOMPARE(enter.isAccepted(), taken);
    QCOMPARE(drop.isAccepted(), taken);
    QCOMPARE(w.media.operations,
        taken ? QStringList({ "FileName " + dir.filePath(names.first()), "Command open" }) + kPlay
              : QStringList());
}

// A plain widget reads as an unnamed filler whatever its name; the picture buttons are buttons.
void TestMprisPlayer::screenReadersReadNamedButtons()
{
    MprisFixture w;
    nameControlsForScreenReaders(w.window.get());
    const struct {
        QWidget* widget;
        QAccessible::Role role;
        const char* name;
    } expected[] = { { w->cmdPlay, QAccessible::Button, "Play" },
        { w->cmdPause, QAccessible::Button, "Pause" }, { w->cmdStop, QAccessible::Button, "Stop" },
        { w->Slider1, QAccessible::Slider, "Song position" } };
    for (const auto& [widget, role, name] : expected) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QCOMPARE(accessible->role(), role);
        QCOMPARE(accessible->text(QAccessible::Name), QLatin1String(name));
        QVERIFY(!accessible->text(QAccessible::Description).isEmpty());
    }
}

QTEST_MAIN(TestMprisPlayer)
#include "tst_mprisplayer.moc"
