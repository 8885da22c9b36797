#include "app/afterfirstpaint.h"
#include "app/commandline.h"
#include "app/datafolders.h"
#include "app/filedrophandler.h"
#include "app/fileopendialog.h"
#include "app/lumoramusic.h"
#include "app/maximizerefusal.h"
#include "app/mprisplayer.h"
#include "app/pictureloader.h"
#include "app/randomgenerator.h"
#include "app/runtimeerror.h"
#include "app/screenreadernames.h"
#include "app/sessionbus.h"
#include "engine/audiooutput.h"
#include "media/enginemediacontrol.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <future>

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
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    if (answeredWithoutDisplay(CommandLine::parse(rawArguments, QStringLiteral(LUMORA_VERSION))))
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("lumora"));

    const CommandLine commandLine
        = CommandLine::parse(QApplication::arguments(), QApplication::applicationVersion());
    switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        answeredWithoutDisplay(commandLine);
        return 0;
    case CommandLine::Action::Fail:
        std::fprintf(stderr, "%s\n", qPrintable(commandLine.text));
        return 1;
    case CommandLine::Action::Run:
        break;
    }
    // A file that cannot be played fails quietly in the player, as one chosen in File > Open
    // does; the terminal that named it is told why.
    if (!commandLine.file.isEmpty()) {
        if (const QString why = whyUnplayable(commandLine.file); !why.isEmpty())
            std::fprintf(stderr, "lumora: cannot play %s: %s\n", qPrintable(commandLine.file),
                qPrintable(why));
    }
    // A player may be running already: the bus takes a round trip or two to say so, which go on
    // while the window is built, and the answer is in before it loads its pictures.
    std::future<bool> handedOver = std::async(std::launch::async,
        [file = commandLine.file] { return SessionBus::handOverToRunningPlayer(file); });

    FatalErrorReporter errors;
    FilePictureLoader pictures(errors);
    pictures.setFallbackFolders({ DataFolders::installedFolder() });
    ClockSeededRandom random;
    QtFileOpenDialog dialog;
    // The sound server and the SoundFont are reached in the background; the window never waits.
    EngineMediaControl media(engineSetup(commandLine));

    LumoraMusic window({ &media, &dialog, &random, &pictures });
    dialog.setParentWidget(&window);
    if (handedOver.get())
        return 0;
    window.Form_Load();
    MprisPlayer mpris(&window, &media);
    window.show();
    refuseMaximizeOnWayland(&window);
    // The rest can wait until the window is on the screen.
    runAfterFirstPaint(window.centralWidget(), [&window, &media, &mpris, file = commandLine.file] {
        media.startLoading();
        nameControlsForScreenReaders(&window);
        new FileDropHandler(&window);
        SessionBus::publish(&mpris);
        if (!file.isEmpty())
            window.openAndPlay(file);
    });
    return app.exec();
}
