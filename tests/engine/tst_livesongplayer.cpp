// What the player asks a queueing output to replace when a song is closed or rewound: only sound
// that would still be heard. A song that has played to its end and rung out sounds the same closed;
// asking for a rewrite there makes the server take back the sink's block twice at a song change
// (once for the Close or Prev, once for the Play), and the second time it loses the start of the
// next song.

#include "midibuilder.h"

#include "engine/midi/song.h"
#include "engine/synth/livesongplayer.h"
#include "engine/synth/songrenderer.h"
#include "engine/synth/synth.h"

#include <QtTest>

namespace {

constexpr int sampleRate = 44100;
constexpr int blockFrames = 512;

std::shared_ptr<const Song> shortPianoSong()
{
    MidiTrackBuilder track;
    track.program(0, 0, 0).noteOn(0, 0, 60, 110).noteOff(48, 0, 60).endOfTrack(48);
    const QByteArray bytes = MidiBuilder(0, 96).track(track).bytes();
    return loadSongFromBytes(
        reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))
        .song;
}

void renderFor(LiveSongPlayer& player, int milliseconds)
{
    static float left[blockFrames], right[blockFrames];
    for (int done = 0; done < sampleRate * milliseconds / 1000; done += blockFrames)
        player.renderAudio(left, right, blockFrames);
}

// Until nothing sounds any more, as an output that queues far ahead renders a song's end.
bool renderUntilSilent(LiveSongPlayer& player)
{
    for (int i = 0; i < 100 && player.isBusy(); ++i)
        renderFor(player, 100);
    return !player.isBusy();
}

} // namespace

class TestLiveSongPlayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void closeAndPrevReplaceOnlyWhatSounds_data();
    void closeAndPrevReplaceOnlyWhatSounds();

private:
    std::string m_soundFont;
};

void TestLiveSongPlayer::initTestCase()
{
    m_soundFont = Synth::findDefaultSoundFont();
    if (m_soundFont.empty())
        QSKIP("no SoundFont installed");
}

void TestLiveSongPlayer::closeAndPrevReplaceOnlyWhatSounds_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("rewrite");
    for (const QString command : { "Close", "Prev" }) {
        const QByteArray name = command.toLatin1() + ", ";
        QTest::newRow(name + "playing") << command << "playing" << true;
        QTest::newRow(name + "Pause's fade not yet rendered") << command << "fading" << true;
        QTest::newRow(name + "paused, faded out") << command << "paused" << false;
        QTest::newRow(name + "played to its end, rung out") << command << "ended" << false;
        QTest::newRow(name + "opened, never played") << command << "opened" << false;
    }
}

void TestLiveSongPlayer::closeAndPrevReplaceOnlyWhatSounds()
{
    QFETCH(QString, command);
    QFETCH(QString, before);
    QFETCH(bool, rewrite);
    const auto song = shortPianoSong();
    QVERIFY(song);
    Synth synth(sampleRate);
    std::string error;
    QVERIFY2(synth.loadSoundFont(m_soundFont, &error), error.c_str());
    LiveSongPlayer player;
    player.attachRenderer(std::make_unique<SongRenderer>(&synth, sampleRate));
    player.setSong(song, &synth);
    if (before != "opened") {
        player.play();
        renderFor(player, 100);
    }
    if (before == "fading" || before == "paused")
        player.silenceWithFade();
    if (before == "paused")
        QVERIFY(renderUntilSilent(player));
    if (before == "ended") {
        QVERIFY(renderUntilSilent(player));
        QVERIFY(player.atEnd());
    }
    player.takeRewrite();

    if (command == "Close")
        player.closeSong();
    else
        player.rewindToStart();
    QCOMPARE(player.takeRewrite(), rewrite);

    // The song that follows is written over what was queued, whatever the command asked for.
    if (command == "Close")
        player.setSong(song, &synth);
    player.play();
    QVERIFY(player.takeRewrite());
}

QTEST_GUILESS_MAIN(TestLiveSongPlayer)
#include "tst_livesongplayer.moc"
