// Which output renders the player as the server and the driver come and go: the decisions alone,
// on a made-up clock.

#include "engine/output/failoverpolicy.h"

#include <QtTest>

namespace {

using Renderer = FailoverPolicy::Renderer;

QString nameOf(Renderer renderer)
{
    switch (renderer) {
    case Renderer::Stream:
        return "stream";
    case Renderer::Driver:
        return "driver";
    case Renderer::Clock:
        return "clock";
    case Renderer::None:
        break;
    }
    return "none";
}

// Runs a script of events, one word each, and answers each with what the policy says:
//   start:S start:D start:SD start:-   started with the stream / the driver / both / neither open
//   cmd@T        a command at T ms: "look" when the server should be looked for, else "-"
//   found        the server answered
//   lost:D lost:-  the stream's server went away; the driver would open, or not
//   cb:N@T       the driver's callback count read at T ms
// Opening the driver when the policy does not ask for it shows as "!".
QString run(const QString& script)
{
    FailoverPolicy policy;
    const FailoverPolicy::Clock::time_point zero {};
    auto at = [&](const QString& word) {
        return zero + std::chrono::milliseconds(word.section('@', 1).toInt());
    };
    QStringList answers;
    for (const QString& word : script.split(' ', Qt::SkipEmptyParts)) {
        const QString argument = word.section(':', 1).section('@', 0, 0);
        bool driverTried = false;
        auto tryDriver = [&] {
            driverTried = true;
            return argument.contains('D');
        };
        if (word.startsWith("start:")) {
            answers << nameOf(policy.start(argument.contains('S'), tryDriver, zero));
        } else if (word.startsWith("cmd@")) {
            answers << (policy.shouldLookForServer(at(word)) ? "look" : "-");
        } else if (word == "found") {
            answers << nameOf(policy.serverFound());
        } else if (word.startsWith("lost:")) {
            answers << nameOf(policy.streamLost(tryDriver, at("@0")));
            if (!driverTried && argument.contains('D'))
                answers.last() += "(driver not tried)";
        } else if (word.startsWith("cb:")) {
            answers << nameOf(policy.driverCallbacks(argument.toULongLong(), at(word)));
        } else {
            answers << "?" + word;
        }
    }
    return answers.join(' ');
}

} // namespace

class TestFailoverPolicy : public QObject {
    Q_OBJECT

private slots:
    void decides_data();
    void decides();
};

void TestFailoverPolicy::decides_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("answers");

    QTest::newRow("the server's stream first") << "start:SD cmd@0"
                                               << "stream -";
    QTest::newRow("no server: the driver") << "start:D"
                                           << "driver";
    QTest::newRow("nothing at all: the clock") << "start:-"
                                               << "clock";
    QTest::newRow("a server that appears later is looked for on a command")
        << "start:- cmd@100 found cmd@5000"
        << "clock look stream -";
    QTest::newRow("a burst of commands looks once")
        << "start:- cmd@0 cmd@50 cmd@199 cmd@200 cmd@300 cmd@450"
        << "clock look - - look - look";
    QTest::newRow("from the driver too") << "start:D cmd@0 found"
                                         << "driver look stream";
    QTest::newRow("the server goes: the driver if it opens") << "start:S lost:D"
                                                             << "stream driver";
    QTest::newRow("the server goes and no driver opens: the clock")
        << "start:S lost:- cmd@100 cmd@200"
        << "stream clock - look";
    QTest::newRow("the server comes back after it went") << "start:S lost:- cmd@1200 found lost:-"
                                                         << "stream clock look stream clock";
    QTest::newRow("a driver that keeps calling back stays")
        << "start:D cb:10@1000 cb:20@2000 cb:30@3000 cb:40@4000 cb:50@5000"
        << "driver driver driver driver driver driver";
    QTest::newRow("a driver that stalls for 3 s gives way to the clock")
        << "start:D cb:10@500 cb:10@2000 cb:10@3400 cb:10@3500"
        << "driver driver driver driver clock";
    QTest::newRow("a stalled driver is not tried again")
        << "start:D cb:5@0 cb:5@3000 cmd@3100 found lost:D"
        << "driver driver clock look stream clock(driver not tried)";
    QTest::newRow("a driver that did not open is not tried again")
        << "start:- cmd@0 found lost:D"
        << "clock look stream clock(driver not tried)";
    QTest::newRow("a loss that was reported already changes nothing") << "start:D lost:-"
                                                                      << "driver driver";
}

void TestFailoverPolicy::decides()
{
    QFETCH(QString, script);
    QFETCH(QString, answers);
    QCOMPARE(run(script), answers);
}

QTEST_GUILESS_MAIN(TestFailoverPolicy)
#include "tst_failoverpolicy.moc"
