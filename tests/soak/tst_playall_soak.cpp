// Play All through thousands of songs on the real media control with a virtual clock: every end
// must be noticed (the loop never falls behind so that the window rewinds a song), and nothing
// may pile up from one song to the next, so the memory stays flat once the first songs are done.

#include "playallrig.h"
#include "residentmemory.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <cstring>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

// Sanitizer builds are several times slower and hold on to freed memory on purpose: fewer songs,
// and their memory is not judged.
constexpr int defaultSongs = sanitized ? 2000 : 10000;
constexpr int allowedGrowthKb = 4 * 1024;

int songsToPlay()
{
    bool ok = false;
    const int songs = qEnvironmentVariableIntValue("LUMORA_SOAK_SONGS", &ok);
    return ok && songs > 0 ? songs : defaultSongs;
}

// Counts instead of keeping the log: tens of thousands of stored lines would be the very growth
// this test looks for.
struct MediaLogCounts {
    int plays = 0;
    int rewinds = 0;
    int warnings = 0;
    QString firstWarning;
};
MediaLogCounts counts;
QtMessageHandler previousHandler = nullptr;

void countMedia(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!context.category || std::strcmp(context.category, "lumora.media") != 0) {
        if (previousHandler)
            previousHandler(type, context, message);
        return;
    }
    if (type != QtDebugMsg) {
        if (counts.warnings++ == 0)
            counts.firstWarning = message;
    } else if (message == QLatin1String("Command Play")) {
        ++counts.plays;
    } else if (message == QLatin1String("Command Prev")) {
        ++counts.rewinds;
    }
}

// The shared virtual-clock player, a whole song per tick (the end always falls inside one pull, as
// it does on a device), with the media log counted.
struct SoakRig : VirtualClockPlayer {
    SoakRig()
        : VirtualClockPlayer(4242, 250)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("lumora.media.debug=true"));
        counts = {};
        previousHandler = qInstallMessageHandler(countMedia);
    }
    ~SoakRig()
    {
        qInstallMessageHandler(previousHandler);
        QLoggingCategory::setFilterRules(QString());
    }
};

} // namespace

class TestPlayAllSoak : public QObject {
    Q_OBJECT

private slots:
    void thousandsOfSongsNoneMissedMemoryFlat();
};

void TestPlayAllSoak::thousandsOfSongsNoneMissedMemoryFlat()
{
    const int songs = songsToPlay();
    // Allocators and caches settle during the first songs; growth is judged from there on.
    const int warmUpSongs = std::min(500, songs / 5);
    SoakRig rig;
    const qint64 startKb = residentKb();
    qint64 warmKb = -1;
    qint64 peakKb = startKb;
    QElapsedTimer elapsed;
    elapsed.start();

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (warmKb < 0 && counts.plays >= warmUpSongs)
            warmKb = residentKb();
        peakKb = std::max(peakKb, residentKb());
        if (counts.plays >= songs || counts.rewinds > 0)
            rig->mitplayall_Click();
    });
    watch.start(20);
    // A guard against a loop that never ends, far above what the songs need.
    QTimer::singleShot(550 * 1000, [&] { rig->mitplayall->setChecked(false); });
    rig->mitplayall_Click();
    const qint64 endKb = residentKb();

    qInfo("%d songs in %.1f s; resident memory %lld kB at the start, %lld kB after %d songs, "
          "%lld kB at the end, %lld kB at most",
        counts.plays, elapsed.elapsed() / 1000.0, startKb, warmKb, warmUpSongs, endKb, peakKb);
    QCOMPARE(counts.rewinds, 0);
    QVERIFY2(counts.plays >= songs, qPrintable(QString::number(counts.plays)));
    QVERIFY2(counts.warnings == 0, qPrintable(counts.firstWarning));
    if (sanitized)
        return;
    QVERIFY(warmKb > 0 && endKb > 0);
    QVERIFY2(endKb <= warmKb + allowedGrowthKb,
        qPrintable(QStringLiteral("grew by %1 kB").arg(endKb - warmKb)));
}

QTEST_MAIN(TestPlayAllSoak)
#include "tst_playall_soak.moc"
