#include "testwait.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The player as built, started as a user would start it: offscreen, with no session bus and no
// sound server to reach, so that nothing outside the test answers for it.
void prepare(QProcess& player, const QTemporaryDir& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_LOGGING_RULES", "lumora.media.debug=true");
    environment.insert("HOME", home.path());
    environment.insert("XDG_RUNTIME_DIR", home.path());
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus"));
    environment.insert("PULSE_SERVER", "unix:" + home.filePath("no-server"));
    environment.remove("LUMORA_SOUNDFONT");
    player.setProcessEnvironment(environment);
    player.setProgram(QStringLiteral(LUMORA_PLAYER));
}

const QString kSong = qEnvironmentVariable("LUMORA_SOURCE_DIR") + "/data/k58belfr.mid";

} // namespace

class TestPlayerProcess : public QObject {
    Q_OBJECT

private slots:
    void startsAnywhereAndPlays_data();
    void startsAnywhereAndPlays();
    void aClosedOutputEndsNothing_data();
    void aClosedOutputEndsNothing();
};

void TestPlayerProcess::startsAnywhereAndPlays_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("soundFont"); // "option" or "environment": a FIFO given that way
    QTest::addColumn<QString>("says");

    QTest::newRow("from an empty folder") << "empty" << QString() << QString();
    QTest::newRow("from the source tree") << "source" << QString() << QString();
    QTest::newRow("a FIFO as --soundfont") << "data"
                                           << "option"
                                           << "not a regular file";
    QTest::newRow("a FIFO as LUMORA_SOUNDFONT") << "data"
                                                << "environment"
                                                << "not a regular file";
}

// The build tree's player finds its pictures and songs in the source tree from any folder, and a
// SoundFont that would block the loader is passed over with one warning.
void TestPlayerProcess::startsAnywhereAndPlays()
{
    QFETCH(QString, folder);
    QFETCH(QString, soundFont);
    QFETCH(QString, says);
    QTemporaryDir home, empty;
    QProcess player;
    prepare(player, home);
    const QString source = qEnvironmentVariable("LUMORA_SOURCE_DIR");
    player.setWorkingDirectory(folder == "empty" ? empty.path()
            : folder == "data"                   ? source + "/data"
                                                 : source);
    QStringList arguments { kSong };
    if (!soundFont.isEmpty()) {
        const QString fifo = home.filePath("font.sf2");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        if (soundFont == "option") {
            arguments.prepend(fifo);
            arguments.prepend("--soundfont");
        } else {
            QProcessEnvironment environment = player.processEnvironment();
            environment.insert("LUMORA_SOUNDFONT", fifo);
            player.setProcessEnvironment(environment);
        }
    }
    player.setArguments(arguments);
    player.start();
    QVERIFY(player.waitForStarted(TestWait::ceilingMs));
    const auto stop = qScopeGuard([&player] {
        player.kill();
        player.waitForFinished();
    });
    QString said;
    const auto done = [&] {
        said += QString::fromLocal8Bit(player.readAllStandardError());
        return player.state() != QProcess::Running
            || (said.contains("Command Play") && said.contains(says));
    };
    QTRY_VERIFY2_WITH_TIMEOUT(done(), qPrintable(said), TestWait::ceilingMs);
    QVERIFY2(player.state() == QProcess::Running, qPrintable(said));
    QVERIFY2(!said.contains("Cannot open"), qPrintable(said));
    if (!says.isEmpty())
        QCOMPARE(said.count(says), 1);
}

void TestPlayerProcess::aClosedOutputEndsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("channel"); // the one whose reader has gone

    QTest::newRow("help, read by nobody") << QStringList { "--help" } << STDOUT_FILENO;
    QTest::newRow("a usage error, read by nobody")
        << QStringList { "a.mid", "b.mid" } << STDERR_FILENO;
}

// `lumora song.mid 2>&1 | head -2`: once the reader has gone, a write fails and the player goes
// on, rather than being ended by the signal.
void TestPlayerProcess::aClosedOutputEndsNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, channel);
    QTemporaryDir home;
    int pipeEnds[2];
    QCOMPARE(::pipe2(pipeEnds, O_CLOEXEC), 0);
    ::close(pipeEnds[0]);
    QProcess player;
    prepare(player, home);
    player.setArguments(arguments);
    player.setChildProcessModifier(
        [writeEnd = pipeEnds[1], channel] { ::dup2(writeEnd, channel); });
    player.start();
    ::close(pipeEnds[1]);
    QVERIFY(player.waitForFinished(TestWait::ceilingMs));
    QCOMPARE(player.exitStatus(), QProcess::NormalExit);
}

QTEST_GUILESS_MAIN(TestPlayerProcess)
#include "tst_playerprocess.moc"
