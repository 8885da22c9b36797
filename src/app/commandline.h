#pragma once

#include <QString>
#include <QStringList>

// What the player was asked to do when it started: `lumora [--soundfont FILE] [FILE]`.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };

    Action action = Action::Run;
    QString file; // absolute; empty when none was given
    QString soundFont; // as given; empty when none was
    QString text; // what to print for ShowHelp, ShowVersion and Fail

    // arguments[0] is the program's name, as in QCoreApplication::arguments().
    static CommandLine parse(const QStringList& arguments, const QString& version);
};

// Why the song reader refuses a file, in a few words; empty when it can be played.
QString whyUnplayable(const QString& path);
