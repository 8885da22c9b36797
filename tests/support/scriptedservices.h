#pragma once

#include "app/fileopendialog.h"
#include "app/pictureloader.h"
#include "app/randomgenerator.h"
#include "app/runtimeerror.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QList>
#include <QStringList>
#include <QTimer>
#include <random>
#include <stdexcept>

// Draws from a fixed seed (or from a script of values, when one is given) and counts reseeds, so
// tests are never flaky.
class ScriptedRandom : public RandomGenerator {
public:
    explicit ScriptedRandom(unsigned seed = 12345)
        : m_engine(seed)
    {
    }
    QList<int> script; // values handed out first, in order
    QList<int> requestedCounts; // the count of every draw
    int reseeds = 0;

    void reseedFromClock() override { ++reseeds; }
    int draw(int count) override
    {
        requestedCounts << count;
        if (!script.isEmpty())
            return script.takeFirst();
        return std::uniform_int_distribution<int>(0, count - 1)(m_engine);
    }
    std::unique_ptr<RandomGenerator> clone() const override
    {
        return std::make_unique<ScriptedRandom>(*this);
    }

private:
    std::mt19937 m_engine;
};

// A dialog whose user answers are queued: a name to choose, or an empty string to cancel.
class ScriptedDialog : public FileOpenDialog {
public:
    QStringList answers;
    int shown = 0;
    int modalMs = 0; // how long the dialog stays open, running its own event loop, as a real one
    bool showOpen() override
    {
        ++shown;
        if (modalMs > 0) {
            // Turned by hand: QEventLoop::exec() returns at once for good once a test has ended
            // the program's event loop (File > Exit calls QCoreApplication::exit()).
            bool open = true;
            QTimer::singleShot(modalMs, [&open] { open = false; });
            while (open)
                QCoreApplication::processEvents(
                    QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isEmpty())
            return false;
        m_fileName = answer;
        return true;
    }
    QString fileName() const override { return m_fileName; }

private:
    QString m_fileName;
};

struct RuntimeErrorRaised : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ThrowingErrorReporter : public RuntimeErrorReporter {
public:
    [[noreturn]] void raise(const QString& message) override
    {
        throw RuntimeErrorRaised(message.toStdString());
    }
};

// Hands out a plain 100x60 picture for any name and records the names asked for.
class RecordingPictureLoader : public PictureLoader {
public:
    QStringList loaded;
    QPixmap load(const QString& bareName) override
    {
        loaded << bareName;
        QPixmap picture(100, 60);
        picture.fill(Qt::gray);
        return picture;
    }
};
