#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace quillow {

// What a start of the program was asked to do, read from its arguments.
struct CommandLine {
    enum class Action {
        Run,      // open the addresses (none: the blank first page)
        Help,     // print helpText to standard output
        Version,  // print versionText to standard output
        Error,    // print error and helpText to standard error
    };
    Action action = Action::Run;
    QString error;  // one line, for Error
    QString helpText;
    QString versionText;
    QStringList addresses;  // as given, in order; empty ones left out
    bool privateProfile = false;
    bool newInstance = false;
    bool noContentBlocking = false;
    // The engine's own switches: everything from --webEngineArgs on, left in
    // the program's arguments for the engine to read.
    QStringList engineArguments;
};

// Reads the program's arguments (the first is the program itself). The
// window toolkit's own options (-platform, -style, ...) are let through for
// the toolkit.
CommandLine parseCommandLine(const QStringList &arguments);

// What an address argument is sent to: an existing local file (or folder)
// by its absolute path, resolved against workingDir; anything else as it
// was typed.
QString addressOfArgument(const QString &argument, const QString &workingDir,
                          const std::function<bool(const QString &)> &exists);

}  // namespace quillow
