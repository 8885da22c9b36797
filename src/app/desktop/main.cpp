#include "app/desktop/afterfirstpaint.h"
#include "app/desktop/commandline.h"
#include "app/desktop/datafolders.h"
#include "app/desktop/filedrophandler.h"
#include "app/desktop/maximizerefusal.h"
#include "app/desktop/mprisplayer.h"
#include "app/desktop/screenreadernames.h"
#include "app/desktop/sessionbus.h"
#include "app/fileopendialog.h"
#include "app/lumoramusic.h"
#include "app/pictureloader.h"
#include "app/randomgenerator.h"
#include "app/runtimeerror.h"
#include "media/enginemediacontrol.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <future>
#include <optional>

namespace {

EngineSetup engineSetup(const CommandLine& commandLine)
{
    EngineSetup setup;
    const QStringList soundFonts = DataFolders::soundFontCandidates(commandLine.soundFont,
        qEnvironmentVariable("LUMORA_SOUNDFONT"), DataFolders::searchFolders());
    for (const QString& soundFont : soundFonts)
        setup.soundFontCandidates.push_back(QFile::encodeName(soundFont).toStdString());
    // A song from the menus is named bare; the installed songs are found from any folder.
    setup.locateFile = [](const QString& fileName) { return DataFolders::locate(fileName); };
    setup.loadWhenAsked = true; // once the window is on the screen
    return setup;
}

bool answeredWithoutDisplay(const CommandLine& commandLine)
{
    if (commandLine.action != CommandLine::Action::ShowHelp
        && commandLine.action != CommandLine::Action::ShowVersion)
        return false;
    std::printf("%s\n", qPrintable(commandLine.text));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // A terminal or pipe that goes away (`lumora song.mid 2>&1 | head -2`) must not end the
    // music: a write to it fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    // Help and version need no display: they are answered before the toolkit starts, which
    // would end the program without one. The rest is read once the toolkit has taken its own
    // options (-platform and the like) off the line.
    if (answeredWithoutDisplay(CommandLine::parse(argc, argv, QStringLiteral(LUMORA_VERSION))))
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.example.Lumora"));

    const CommandLine commandLine
        = CommandLine::parse(argc, argv, QApplication::applicationVersion());
    switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        answeredWithoutDisplay(commandLine);
        return 0;
    case CommandLine::Action::Fail:
        std::fprintf(stderr, "%s\n", qPrintable(commandLine.text));
        return 2; // a usage error
    case CommandLine::Action::Run:
        break;
    }
    // The file named is read and the player's name on the bus asked for on a thread of their
    // own, first thing, so that of players started at once only one opens a window; both go on
    // while the window is built, and the answer is in before it loads its pictures.
    std::future<SessionBus::Start> arrival = SessionBus::arriveInBackground(commandLine.file);

    FatalErrorReporter errors;
    FilePictureLoader pictures(errors);
    pictures.setFallbackFolders({ DataFolders::installedFolder() });
    ClockSeededRandom random;
    QtFileOpenDialog dialog;
    // The sound server and the SoundFont are reached in the background; the window never waits.
    EngineMediaControl media(engineSetup(commandLine));

    LumoraMusic window({ &media, &dialog, &random, &pictures });
    dialog.setParentWidget(&window);
    const SessionBus::Start answer = arrival.get();
    // A file that cannot be played is said so in one line and goes no further: a running player
    // is left as it was, a new one opens empty, as after File > Open of such a file.
    const bool fileRefused = !answer.whyUnplayable.isEmpty();
    if (fileRefused)
        std::fprintf(stderr, "lumora: cannot play %s: %s\n", qPrintable(commandLine.file),
            qPrintable(answer.whyUnplayable));
    if (const std::optional<int> status
        = SessionBus::exitStatus(answer.arrival, !commandLine.soundFont.isEmpty(), fileRefused))
        return *status;
    const bool named = answer.arrival.outcome == SessionBus::Arrival::Outcome::NameTaken;
    window.Form_Load();
    MprisPlayer mpris(&window, &media);
    window.show();
    refuseMaximizeOnWayland(&window);
    // The rest can wait until the window is on the screen.
    runAfterFirstPaint(window.centralWidget(),
        [&window, &media, &mpris, named, file = fileRefused ? QString() : commandLine.file] {
            media.startLoading();
            nameControlsForScreenReaders(&window);
            new FileDropHandler(&window);
            if (named)
                SessionBus::publish(&mpris);
            if (!file.isEmpty())
                window.openAndPlay(file);
        });
    return app.exec();
}
