#pragma once

#include <QString>

#include <functional>
#include <future>
#include <optional>

class MprisPlayer;

// The player on the session bus, under org.mpris.MediaPlayer2.lumora: the desktop's media
// controls find it there, and so does a second `lumora FILE`, which hands its file over rather
// than starting a second player. Without a session bus (a bare terminal, CI) the player runs on
// its own and says so in one debug line.
namespace SessionBus {

// What a starting player is to do, once the bus has answered.
struct Arrival {
    enum class Outcome {
        NameTaken, // this process owns the name: it is the player
        NoBus, // no session bus: the player runs on its own
        HandedOver, // the running player took the file (or came to the front): nothing left to do
        Refused, // the running player cannot play the file; why says so, in one line
        NoAnswer, // a player holds the name but does not answer: run one of our own, nameless
        HeldByAnother, // a player runs, and nothing was to be handed to it
    };
    Outcome outcome = Outcome::NoBus;
    QString why;
};

// Takes the player's name, first thing at start-up, so that of several players started at once
// exactly one gets it; every other one hands its file to the one that did (or, without a file,
// brings it to the front), waiting (bounded) while that one is still starting. With handOver
// false a running player is left alone. Blocks for the bus's answers; any thread.
Arrival takeNameOrHandOver(const QString& file, bool handOver = true);

// What a start learns before its window is shown: whether the file named on the command line can
// be played, then the bus's answer. The file is read first, so that one that cannot be played
// never reaches a running player (nor brings it to the front).
struct Start {
    QString whyUnplayable; // empty without a file, or with one that plays
    Arrival arrival;
};
using FileCheck = std::function<QString(const QString& file)>;
using NameRequest = std::function<Arrival(const QString& file, bool handOver)>;

// Asks both on a thread of its own, for the UI thread builds the window meanwhile: reading a
// large song can take longer than that, and the bus's round trips as long. With the song
// reader's check and takeNameOrHandOver when not told otherwise.
std::future<Start> arriveInBackground(const QString& file);
std::future<Start> arriveInBackground(const QString& file, FileCheck check, NameRequest request);

// What a start that has its answer does next: the exit status when it has nothing left to do,
// after one line on stderr where there is something to say.
std::optional<int> exitStatus(const Arrival& arrival, bool soundFontGiven, bool fileRefused);

// Publishes the player's MPRIS interfaces under the name taken. False when that is not possible.
bool publish(MprisPlayer* player);

// The D-Bus error a player that refuses a file answers OpenUri with.
QString refusalErrorName();

} // namespace SessionBus
