#include "app/program.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include "browser/web_engine_browser.h"
#include "inet/network_transfer.h"

namespace quillow {

QString chooseDataDir(const QString &programDir, const QString &userDataDir,
                      const std::function<bool(const QString &)> &writable) {
    if (writable(programDir))
        return programDir;
    QDir().mkpath(userDataDir);
    return userDataDir;
}

bool directoryIsWritable(const QString &dir) {
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".quillow-write-test-XXXXXX")));
    return probe.open();
}

void setApplicationIdentity() {
    QApplication::setApplicationName(QStringLiteral("Quillow"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(QUILLOW_VERSION_MAJOR)
                                            .arg(QUILLOW_VERSION_MINOR)
                                            .arg(QUILLOW_VERSION_PATCH));
    QApplication::setDesktopFileName(QStringLiteral("quillow"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));
}

Context realContext(MessageBoxes *messages, QWebEngineProfile *profile) {
    Context context;
    context.programDir = chooseDataDir(
        QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), directoryIsWritable);
    context.messages = messages;
    context.beep = [] { QApplication::beep(); };
    context.openElsewhere = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    context.connectionTestHost = QStringLiteral("www.example.com");
    context.browserFactory =
        webEngineBrowserFactory(profile, QUrl(QStringLiteral("qrc:/assets/home.html")));
    context.transferFactory = [](QObject *parent) -> InternetTransfer * {
        return new NetworkTransfer(parent);
    };
    return context;
}

}  // namespace quillow
