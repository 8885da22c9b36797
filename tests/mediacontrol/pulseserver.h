#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <memory>

#include "testwait.h"

// A PulseAudio server of our own with a null sink, reachable from this process only (HOME and
// XDG_RUNTIME_DIR point at fresh folders while it lives), and a recorder on the sink's monitor.
class PulseServer {
public:
    static constexpr const char* sink = "lumora_null";

    static bool isInstalled()
    {
        return !QStandardPaths::findExecutable("pulseaudio").isEmpty()
            && !QStandardPaths::findExecutable("parecord").isEmpty();
    }

    ~PulseServer() { stop(); }

    bool start(QString* why)
    {
        m_savedHome = qgetenv("HOME");
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        m_home = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>();
        qputenv("HOME", m_home->path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_runtime->path().toLocal8Bit());
        qunsetenv("PULSE_SERVER");
        m_started = true;
        QProcess server;
        server.start("pulseaudio",
            { "-n", "-D", "--exit-idle-time=-1", "--load=module-native-protocol-unix",
                QString("--load=module-null-sink sink_name=%1 rate=44100 channels=2").arg(sink) });
        if (!server.waitForFinished(TestWait::ceilingMs) || server.exitCode() != 0) {
            *why = "pulseaudio did not start: "
                + QString::fromLocal8Bit(server.readAllStandardError());
            return false;
        }
        QElapsedTimer waited;
        waited.start();
        while (serverPid() <= 0 || !QFile::exists(m_runtime->filePath("pulse/native"))) {
            if (waited.elapsed() > TestWait::ceilingMs) {
                *why = "pulseaudio started but never listened";
                return false;
            }
            QThread::msleep(20);
        }
        return true;
    }

    qint64 serverPid() const
    {
        QFile pidFile(m_runtime->filePath("pulse/pid"));
        return pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toLongLong() : -1;
    }

    void kill()
    {
        if (const qint64 pid = serverPid(); pid > 0)
            ::kill(pid_t(pid), SIGKILL);
    }

    // --latency-msec keeps the null sink at the pace of the clock.
    bool startRecording(const QString& wavPath)
    {
        m_recorder.start("parecord",
            { "-d", QString("%1.monitor").arg(sink), "--latency-msec=20", "--file-format=wav",
                wavPath });
        return m_recorder.waitForStarted(TestWait::ceilingMs);
    }

    void stopRecording()
    {
        if (m_recorder.state() == QProcess::NotRunning)
            return;
        m_recorder.terminate();
        if (!m_recorder.waitForFinished(TestWait::ceilingMs))
            m_recorder.kill();
    }

    void stop()
    {
        stopRecording();
        if (!m_started)
            return;
        kill();
        m_started = false;
        restore("HOME", m_savedHome);
        restore("XDG_RUNTIME_DIR", m_savedRuntime);
    }

private:
    static void restore(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    bool m_started = false;
    QByteArray m_savedHome;
    QByteArray m_savedRuntime;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_runtime;
    QProcess m_recorder;
};
