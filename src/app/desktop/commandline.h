#pragma once

#include <QString>
#include <QStringList>

// What the player was asked to do when it started: `lumora [--soundfont FILE] [FILE]`.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };

    Action action = Action::Run;
    QString file; // absolute, as FileNames keeps a name; empty when none was given
    QString soundFont; // as given; empty when none was
    QString text; // what to print for ShowHelp, ShowVersion and Fail

    // arguments[0] is the program's name; each argument decoded by FileNames::fromBytes. A FILE
    // that begins with "-" follows "--".
    static CommandLine parse(const QStringList& arguments, const QString& version);
    // The arguments as the system gave them: a file's name is bytes, not always UTF-8.
    static CommandLine parse(int argc, char* argv[], const QString& version);
};
