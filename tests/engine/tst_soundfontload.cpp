#include "engine/synth/enginelog.h"
#include "engine/synth/synth.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <mutex>

namespace {

std::mutex g_logMutex;
QStringList g_engineLog;

void collectEngineLog(EngineLog::Level, const char* message)
{
    const std::lock_guard lock(g_logMutex);
    g_engineLog << QString::fromUtf8(message);
}

// What the process writes to its stderr while it lives: GLib's default log handler writes there.
class StderrCapture {
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QByteArray restore()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

// The player tries its SoundFont candidates one by one; each must fail at once, with its reason.
class TestSoundFontLoad : public QObject {
    Q_OBJECT

private slots:
    void init() { EngineLog::setHandler(collectEngineLog); }
    void cleanup() { EngineLog::setHandler(nullptr); }
    void whatIsNoSoundFontIsRefusedAtOnce_data();
    void whatIsNoSoundFontIsRefusedAtOnce();
};

void TestSoundFontLoad::whatIsNoSoundFontIsRefusedAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a FIFO: opening it would wait for a writer") << "fifo"
                                                                << "not a regular file";
    QTest::newRow("a folder") << "folder"
                              << "not a regular file";
    QTest::newRow("a device") << "device"
                              << "not a regular file";
    QTest::newRow("a missing file") << "missing"
                                    << "No such file or directory";
    QTest::newRow("text: FluidSynth and libinstpatch both refuse it") << "text"
                                                                      << "not a SoundFont";
}

void TestSoundFontLoad::whatIsNoSoundFontIsRefusedAtOnce()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath("font.sf2");
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir("font.sf2"));
    } else if (kind == "device") {
        path = "/dev/zero";
    } else if (kind == "text") {
        QFile text(path);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("RIFF, but only in name\n");
    }

    StderrCapture terminal;
    auto loading = std::async(std::launch::async, [path] {
        Synth synth(44100);
        std::string error;
        const bool loaded = synth.loadSoundFont(QFile::encodeName(path).toStdString(), &error);
        return loaded ? QString() : QString::fromStdString(error);
    });
    if (loading.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        // Stuck opening the FIFO: writers that come and go let each open go on.
        do
            ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
        while (loading.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready);
        QFAIL(qPrintable("waited on " + kind));
    }
    const QString error = loading.get();
    const QByteArray written = terminal.restore();
    QVERIFY2(error.contains(reason), qPrintable(error));
    // What went wrong is the caller's to say, once: nothing of the libraries' own on the terminal.
    QVERIFY2(written.isEmpty(), written.constData());
}

QTEST_GUILESS_MAIN(TestSoundFontLoad)
#include "tst_soundfontload.moc"
