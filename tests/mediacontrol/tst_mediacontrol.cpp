// The media control's seam itself: typed commands, the one parser behind both controls, and the
// engine's messages arriving in the media log.

#include "fakemediacontrol.h"
#include "manualclockrig.h"

#include "engine/synth/enginelog.h"

#include <QTest>

namespace {

QStringList s_logged;

void captureDebugLines(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && QLatin1String(context.category) == QLatin1String("lumora.media"))
        s_logged << QStringLiteral("%1 %2").arg(type == QtWarningMsg ? "warning" : "line", message);
}

} // namespace

class TestMediaControl : public QObject {
    Q_OBJECT

private slots:
    void typedCommandsSendTheWindowsStrings_data();
    void typedCommandsSendTheWindowsStrings();
    void engineMessagesJoinTheMediaLog();
};

void TestMediaControl::typedCommandsSendTheWindowsStrings_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<bool>("openAfter");
    QTest::newRow("open") << "open"
                          << "Command Open" << true;
    QTest::newRow("open from the dialog") << "openFromDialog"
                                          << "Command open" << true;
    QTest::newRow("close") << "close"
                           << "Command Close" << false;
    QTest::newRow("play") << "play"
                          << "Command Play" << true;
    QTest::newRow("pause") << "pause"
                           << "Command Pause" << true;
    QTest::newRow("rewind") << "rewind"
                            << "Command Prev" << true;
}

// Each typed call leaves exactly the line its string did, in the log and in the double's record,
// and the double acts on it: only Close leaves the song closed.
void TestMediaControl::typedCommandsSendTheWindowsStrings()
{
    QFETCH(QString, call);
    QFETCH(QString, logged);
    QFETCH(bool, openAfter);
    FakeMediaControl media;
    media.setFileName(QStringLiteral("a.mid"));
    media.open();
    media.takeOperations();

    QLoggingCategory::setFilterRules(QStringLiteral("lumora.media.debug=true"));
    s_logged.clear();
    const auto previous = qInstallMessageHandler(captureDebugLines);
    if (call == "open" || call == "openFromDialog")
        media.close();
    media.takeOperations();
    s_logged.clear();
    if (call == "open")
        media.open();
    else if (call == "openFromDialog")
        media.open(OpenSpelling::FileDialog);
    else if (call == "close")
        media.close();
    else if (call == "play")
        media.play();
    else if (call == "pause")
        media.pause();
    else
        media.rewind();
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    QCOMPARE(s_logged, QStringList { "line " + logged });
    QCOMPARE(media.operations, QStringList { logged });
    QCOMPARE(media.isOpen(), openAfter);
}

// The engine knows nothing of Qt: its hook, installed by the media control, is what puts its
// words into lumora.media; FluidSynth's own messages are detail, not warnings.
void TestMediaControl::engineMessagesJoinTheMediaLog()
{
    EngineSetup setup;
    setup.withoutSynth = true;
    ManualClockRig rig(std::move(setup));
    QLoggingCategory::setFilterRules(QStringLiteral("lumora.media.info=true"));
    s_logged.clear();
    const auto previous = qInstallMessageHandler(captureDebugLines);
    EngineLog::warning("the device went away");
    EngineLog::info("fluidsynth: warning: no preset");
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(s_logged,
        QStringList({ "warning the device went away", "line fluidsynth: warning: no preset" }));
}

QTEST_MAIN(TestMediaControl)
#include "tst_mediacontrol.moc"
