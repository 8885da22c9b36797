#include "app/desktop/commandline.h"

#include "media/filenames.h"

#include <QCommandLineParser>
#include <QRegularExpression>

CommandLine CommandLine::parse(int argc, char* argv[], const QString& version)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << FileNames::fromBytes(argv[i]);
    return parse(arguments, version);
}

CommandLine CommandLine::parse(const QStringList& arguments, const QString& version)
{
    QCommandLineParser parser;
    // "-x.mid" is an unknown option, not -x -. -m -i -d, and never a request for help by its "h".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Lumora plays MIDI songs. Given a FILE, it opens it and plays it at once; "
                       "when a Lumora is already running, that one plays it."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption soundFont(QStringLiteral("soundfont"),
        QStringLiteral("Play with this SoundFont (.sf2 or .sf3)."), QStringLiteral("FILE"));
    parser.addOption(soundFont);
    parser.addPositionalArgument(
        QStringLiteral("FILE"), QStringLiteral("A MIDI file to play."), QStringLiteral("[FILE]"));

    CommandLine result;
    const auto fail = [&](const QString& why) {
        result.action = Action::Fail;
        result.text = QStringLiteral("lumora: %1\nTry 'lumora --help'.").arg(why);
        return result;
    };
    // Help and version win over a mistake elsewhere on the line, as they do in most tools.
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = Action::ShowHelp;
        // The program's name as typed, not as found: before the toolkit starts the parser knows
        // none, after it the full path.
        result.text = parser.helpText().replace(
            QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: lumora"));
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.action = Action::ShowVersion;
        result.text = QStringLiteral("lumora %1").arg(version);
        return result;
    }
    if (!parsed)
        return fail(parser.errorText());
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return fail(QStringLiteral("one FILE at most, %1 given").arg(files.size()));
    if (!files.isEmpty())
        result.file = FileNames::absolute(files.first());
    result.soundFont = parser.value(soundFont);
    return result;
}
