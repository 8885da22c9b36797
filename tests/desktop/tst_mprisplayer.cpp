#include "app/captionlabel.h"
#include "app/desktop/filedrophandler.h"
#include "app/desktop/mprisobject.h"
#include "app/desktop/mprisplayer.h"
#include "app/desktop/mprisplayeradaptor.h"
#include "app/desktop/mprisrootadaptor.h"
#include "app/desktop/screenreadernames.h"
#include "app/picturebutton.h"
#include "manualclockrig.h"
#include "media/filenames.h"
#include "smfwriter.h"
#include "testwait.h"
#include "warningcapture.h"
#include "windowfixture.h"

#include <fstream>
#include <unistd.h>

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

// Names that are not UTF-8 are removed by hand: QTemporaryDir cannot name them.
QList<QByteArray> rawNames;
struct RemoveRawNames {
    ~RemoveRawNames()
    {
        for (const QByteArray& name : std::exchange(rawNames, {}))
            ::unlink(name.constData());
    }
};

// Writes bytes under a name given as the file system holds it, UTF-8 or not.
bool writeFile(const QString& name, const QByteArray& bytes)
{
    if (QString::fromUtf8(FileNames::toBytes(name)) != name)
        rawNames << FileNames::toBytes(name);
    std::ofstream out(FileNames::toBytes(name).toStdString(), std::ios::binary);
    out.write(bytes.constData(), bytes.size());
    return bool(out);
}

QByteArray song(int seconds)
{
    return SmfWriter().melody(0, seconds * 4, 250).endAt(seconds * 1000).bytes();
}

// The files a hand-over, a drop or OpenUri may bring, made in a scratch folder by kind.
QString makeFile(const QTemporaryDir& dir, const QString& kind)
{
    const QString path = dir.filePath(kind == "Latin-1 name" ? FileNames::fromBytes("caf\xe9.mid")
                                                             : kind + QStringLiteral(".mid"));
    if (kind == "song" || kind == "Latin-1 name")
        writeFile(path, song(2));
    else if (kind == "not MIDI")
        writeFile(path, "plain text, named .mid");
    else if (kind == "truncated MIDI")
        writeFile(path, QByteArray("MThd\0\0\0\6", 8));
    else if (kind == "folder")
        QDir(dir.path()).mkdir(kind + ".mid");
    else if (kind == "symbolic link loop")
        ::symlink(FileNames::toBytes(path).constData(), FileNames::toBytes(path).constData());
    return path;
}

// The window on the real media control with a virtual clock, playing "Misty Harbour" (a song
// of ten seconds) chosen from its menu.
struct PlayingWindow {
    QTemporaryDir dir;
    RemoveRawNames removeRawNames;
    QString previousDir = QDir::currentPath();
    ManualClockRig rig { [] {
        EngineSetup setup;
        setup.withoutSynth = true;
        return setup;
    }() };
    ScriptedDialog dialog;
    ScriptedRandom random;
    RecordingPictureLoader pictures;
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<WindowDriver> driver;
    std::unique_ptr<MprisPlayer> mpris;

    PlayingWindow()
    {
        QDir::setCurrent(dir.path());
        const CatalogueRow& row = Catalogue::row(SongMenu::Location, 1);
        writeFile(dir.filePath(QString(row.stem) + ".mid"), song(10));
        window = createMainWindow(WindowServices { rig.media.get(), &dialog, &random, &pictures });
        driver = std::make_unique<WindowDriver>(window.get());
        mpris = std::make_unique<MprisPlayer>(window.get(), rig.media.get());
        driver->mitSong[1]->trigger();
        driver->cmdPlay_Click();
        rig.output->pullMs(1000);
    }
    ~PlayingWindow() { QDir::setCurrent(previousDir); }

    // What a user sees and hears of the player.
    QStringList state() const
    {
        QStringList marks;
        for (QAction* action : window->findChildren<QAction*>())
            marks << QString::number(action->isChecked());
        return { rig.media->openFilePath(), rig.media->fileName(), driver->lblname->caption(),
            mpris->playbackStatus(), marks.join(QString()) };
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
    void aFileFromOutsideIsCheckedBeforeAnythingChanges_data();
    void aFileFromOutsideIsCheckedBeforeAnythingChanges();
    void busWritesAreTypeChecked_data();
    void busWritesAreTypeChecked();
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
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("Night Song.mid"), song(1)));
    QVERIFY(!w.mpris.openUri(QStringLiteral("https://example.org/a.mid")).isEmpty()); // not ours
    const QString uri = FileNames::toUri(dir.filePath("Night Song.mid"));
    QVERIFY(uri.endsWith("/Night%20Song.mid"));
    QCOMPARE(w.mpris.openUri(uri), QString());
    QCOMPARE(w.media.operations,
        QStringList(
            { "Command Close", "FileName " + dir.filePath("Night Song.mid"), "Command open" })
            + kPlay);
    QCOMPARE(w->lblname->caption(), QStringLiteral("Current Song = Midi"));
    QCOMPARE(w.mpris.metadata().value("xesam:title").toString(), QStringLiteral("Night Song"));
    QCOMPARE(w.mpris.metadata().value("xesam:url").toString(), uri);
}

void TestMprisPlayer::dropsTakeOneMidiFile_data()
{
    QTest::addColumn<QStringList>("names"); // made in a scratch folder; "/" ends a folder's
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("dragTaken");
    QTest::addColumn<bool>("taken");

    const QByteArray midi = song(1), text = "notes";
    QByteArray riff = "RIFF\0\0\0\0RMIDdata" + QByteArray(4, '\0') + midi;
    riff[16] = char(midi.size() & 0xff);
    riff[17] = char(midi.size() >> 8);
    QTest::newRow(".mid") << QStringList { "song.mid" } << midi << true << true;
    QTest::newRow(".KAR") << QStringList { "karaoke.KAR" } << midi << true << true;
    QTest::newRow(".rmi") << QStringList { "riff.rmi" } << riff << true << true;
    QTest::newRow("Latin-1 name") << QStringList { FileNames::fromBytes("caf\xe9.mid") } << midi
                                  << true << true;
    QTest::newRow("two songs") << QStringList { "a.mid", "b.mid" } << midi << false << false;
    QTest::newRow("text") << QStringList { "notes.txt" } << text << false << false;
    QTest::newRow("text named .mid") << QStringList { "notes.mid" } << text << false << false;
    QTest::newRow("header only") << QStringList { "cut.mid" } << QByteArray("MThd") << true
                                 << false;
    QTest::newRow("a folder") << QStringList { "folder.mid/" } << midi << false << false;
}

void TestMprisPlayer::dropsTakeOneMidiFile()
{
    QFETCH(QStringList, names);
    QFETCH(QByteArray, content);
    QFETCH(bool, dragTaken);
    QFETCH(bool, taken);

    MprisFixture w;
    new FileDropHandler(w.window.get());
    QTemporaryDir dir;
    RemoveRawNames removeRawNames;
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& name : names) {
        QVERIFY(name.endsWith('/') ? QDir(dir.path()).mkdir(name)
                                   : writeFile(dir.filePath(name), content));
        urls << QUrl(FileNames::toUri(dir.filePath(name)));
    }
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(w.window.get(), &enter);
    QCoreApplication::sendEvent(w.window.get(), &drop);
    QCOMPARE(enter.isAccepted(), dragTaken);
    QCOMPARE(drop.isAccepted(), taken);
    QCOMPARE(w.media.operations,
        taken ? QStringList(
                    { "Command Close", "FileName " + dir.filePath(names.first()), "Command open" })
                + kPlay
              : QStringList());
}

void TestMprisPlayer::aFileFromOutsideIsCheckedBeforeAnythingChanges_data()
{
    QTest::addColumn<QString>("door");
    QTest::addColumn<QString>("kind"); // of file, as makeFile makes it
    QTest::addColumn<QString>("why"); // empty: it plays

    const QList<QPair<QString, QString>> files { { "song", "" }, { "Latin-1 name", "" },
        { "not MIDI", "no MThd header" }, { "truncated MIDI", "truncated" },
        { "missing", "no such file" }, { "folder", "folder" },
        { "symbolic link loop", "too many levels of symbolic links" } };
    for (const char* door : { "command line", "OpenUri", "drop" }) {
        for (const auto& [kind, why] : files)
            QTest::addRow("%s, %s", door, qPrintable(kind)) << door << kind << why;
    }
}

// A file handed over by a second `lumora FILE`, sent by OpenUri or dropped: one that cannot be
// played leaves the song playing, the label, the file name and every mark as they were; one
// that can plays at once, without a warning about the song that was open.
void TestMprisPlayer::aFileFromOutsideIsCheckedBeforeAnythingChanges()
{
    QFETCH(QString, door);
    QFETCH(QString, kind);
    QFETCH(QString, why);

    PlayingWindow w;
    const QString path = makeFile(w.dir, kind);
    const QStringList before = w.state();
    QCOMPARE(before.at(3), QStringLiteral("Playing"));
    const qint32 positionBefore = w.rig.media->position();
    WarningCapture warnings;

    QString said = "no answer";
    if (door == "command line") {
        QMetaObject::invokeMethod(w.window.get(), "openAndPlay", Qt::DirectConnection,
            Q_RETURN_ARG(QString, said), Q_ARG(QString, path));
    } else if (door == "OpenUri") {
        said = w.mpris->openUri(FileNames::toUri(path));
    } else {
        QMimeData data;
        data.setUrls({ QUrl(FileNames::toUri(path)) });
        QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        drop.setAccepted(false);
        new FileDropHandler(w.window.get());
        QCoreApplication::sendEvent(w.window.get(), &enter);
        QCoreApplication::sendEvent(w.window.get(), &drop);
        said = drop.isAccepted() ? QString() : QStringLiteral("refused");
    }
    QVERIFY2(why.isEmpty() ? said.isEmpty() : said.contains(door == "drop" ? "refused" : why),
        qPrintable(said));
    QVERIFY2(warnings.warnings().isEmpty(), qPrintable(warnings.joined()));
    w.rig.output->pullMs(500);
    if (!why.isEmpty()) {
        QCOMPARE(w.state(), before);
        QVERIFY(w.rig.media->position() >= positionBefore + 500);
    } else {
        QCOMPARE(w.rig.media->openFilePath(), path);
        QCOMPARE(w.driver->lblname->caption(), QStringLiteral("Current Song = Midi"));
        QCOMPARE(w.mpris->playbackStatus(), QStringLiteral("Playing"));
        QCOMPARE(w.rig.media->position(), 500);
    }
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

void TestMprisPlayer::busWritesAreTypeChecked_data()
{
    QTest::addColumn<QString>("member"); // of org.freedesktop.DBus.Properties, or OpenUri
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("error"); // the D-Bus error's name; empty: answered
    QTest::addColumn<QString>("loopStatus"); // afterwards

    const QString player = "org.mpris.MediaPlayer2.Player";
    const QVariant no = QVariant::fromValue(QDBusVariant(QString("no")));
    const QString invalid = "org.freedesktop.DBus.Error.InvalidArgs";
    const QString readOnly = "org.freedesktop.DBus.Error.PropertyReadOnly";
    auto set = [&](const char* property, const QVariant& value) {
        return QVariantList { player, QString(property), QVariant::fromValue(QDBusVariant(value)) };
    };
    QTest::newRow("Shuffle as a string") << "Set" << set("Shuffle", "no") << invalid << "None";
    QTest::newRow("Shuffle as a double") << "Set" << set("Shuffle", 0.5) << invalid << "None";
    QTest::newRow("Shuffle as a boolean") << "Set" << set("Shuffle", false) << ""
                                          << "None";
    QTest::newRow("LoopStatus as a boolean")
        << "Set" << set("LoopStatus", true) << invalid << "None";
    QTest::newRow("LoopStatus as a string") << "Set" << set("LoopStatus", "Track") << ""
                                            << "Track";
    QTest::newRow("Volume") << "Set" << set("Volume", 0.5) << readOnly << "None";
    QTest::newRow("Rate") << "Set" << set("Rate", 1.0) << readOnly << "None";
    QTest::newRow("no such property")
        << "Set" << set("Loud", true) << "org.freedesktop.DBus.Error.UnknownProperty"
        << "None";
    QTest::newRow("Get") << "Get" << QVariantList { player, "LoopStatus" } << ""
                         << "None";
    QTest::newRow("OpenUri of a file that is not there")
        << "OpenUri" << QVariantList { "file:///gone/song.mid" } << "delayed"
        << "None";
}

// What the bus's clients (playerctl, the sound menu, dbus-send) may write is the type the MPRIS
// interface declares for each property: a value of another type is an error and changes nothing,
// as does a write to a read-only property.
void TestMprisPlayer::busWritesAreTypeChecked()
{
    QFETCH(QString, member);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, error);
    QFETCH(QString, loopStatus);

    MprisFixture w;
    MprisObject object({ new MprisRootAdaptor(&w.mpris), new MprisPlayerAdaptor(&w.mpris) });
    const bool isProperty = member != "OpenUri";
    QDBusMessage call = QDBusMessage::createMethodCall("org.mpris.MediaPlayer2.lumora",
        "/org/mpris/MediaPlayer2",
        isProperty ? "org.freedesktop.DBus.Properties" : "org.mpris.MediaPlayer2.Player", member);
    call.setArguments(arguments);
    const QDBusMessage reply = object.answer(call);
    QCoreApplication::processEvents(); // writes are carried out a pass of the event loop later
    if (error == "delayed") { // the refusal goes out by itself, as an error
        QVERIFY(call.isDelayedReply());
    } else {
        QCOMPARE(reply.errorName(), error);
        QCOMPARE(reply.type(),
            error.isEmpty() ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage);
        QVERIFY2(error.isEmpty() || reply.errorMessage().contains(arguments.value(1).toString()),
            qPrintable(reply.errorMessage()));
    }
    if (member == "Get")
        QCOMPARE(reply.arguments().value(0).value<QDBusVariant>().variant(), QVariant("None"));
    QCOMPARE(w.mpris.loopStatus(), loopStatus);
    QVERIFY(!w.mpris.shuffle());
    QVERIFY(w.media.operations.isEmpty());
}

QTEST_MAIN(TestMprisPlayer)
#include "tst_mprisplayer.moc"
