#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace quillow {

namespace {

const QString kEngineArguments = QStringLiteral("--webEngineArgs");

// The window toolkit's own options, which it takes out of the arguments
// when it starts; known here so that help, version and mistakes are
// answered before it starts (and without a display).
void addToolkitOptions(QCommandLineParser &parser) {
    for (const char *name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
          "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry",
          "name", "title", "visual", "style", "stylesheet"}) {
        QCommandLineOption option(QLatin1String(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option{QLatin1String(name)};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

}  // namespace

CommandLine parseCommandLine(const QStringList &arguments) {
    CommandLine out;
    QStringList ours = arguments;
    if (const qsizetype at = arguments.indexOf(kEngineArguments); at >= 0) {
        ours = arguments.mid(0, at);
        out.engineArguments = arguments.mid(at);
    }

    QCommandLineParser parser;
    // -platform, -style: the toolkit's single-dash words are options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "A small web browser with a popup blocker."));
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")},
        QCoreApplication::translate("CommandLine", "Show this help and exit."));
    const QCommandLineOption version(
        {QStringLiteral("v"), QStringLiteral("version")},
        QCoreApplication::translate("CommandLine", "Show the version and exit."));
    const QCommandLineOption privateProfile(
        QStringLiteral("private"),
        QCoreApplication::translate("CommandLine",
                                    "Keep no cookies, storage or cache: a profile that is "
                                    "forgotten at exit. Runs on its own."));
    const QCommandLineOption newInstance(
        QStringLiteral("new-instance"),
        QCoreApplication::translate("CommandLine",
                                    "Start a separate program even when Quillow already runs."));
    const QCommandLineOption noContentBlocking(
        QStringLiteral("no-content-blocking"),
        QCoreApplication::translate("CommandLine",
                                    "Refuse nothing the filter lists name: no ads or trackers "
                                    "blocked, no page elements hidden."));
    parser.addOptions({help, version, privateProfile, newInstance, noContentBlocking});
    addToolkitOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("address-or-file"),
        QCoreApplication::translate("CommandLine",
                                    "Web addresses or local files to open: the first in the "
                                    "main window, each further one in a window of its own."),
        QStringLiteral("[address-or-file...]"));

    // The usage line names the program as people type it, whatever path
    // started it.
    out.helpText = parser.helpText();
    const qsizetype lineEnd = out.helpText.indexOf(QLatin1Char('\n'));
    out.helpText.replace(0, lineEnd,
                         QStringLiteral("Usage: quillow [options] [address-or-file...]"));
    out.versionText = QStringLiteral("Quillow %1\n").arg(QCoreApplication::applicationVersion());

    if (!parser.parse(ours)) {
        out.action = CommandLine::Action::Error;
        out.error = parser.errorText();
        return out;
    }
    if (parser.isSet(help))
        out.action = CommandLine::Action::Help;
    else if (parser.isSet(version))
        out.action = CommandLine::Action::Version;
    // An empty argument is most likely a script's unset variable.
    for (const QString &address : parser.positionalArguments())
        if (!address.isEmpty())
            out.addresses.append(address);
    out.privateProfile = parser.isSet(privateProfile);
    out.newInstance = parser.isSet(newInstance);
    out.noContentBlocking = parser.isSet(noContentBlocking);
    return out;
}

QString addressOfArgument(const QString &argument, const QString &workingDir,
                          const std::function<bool(const QString &)> &exists) {
    const QString path = QDir::cleanPath(QDir(workingDir).absoluteFilePath(argument));
    return exists(path) ? path : argument;
}

}  // namespace quillow
