#include "app/program.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QUrl>
#include <QWebEngineProfile>

#include "app/file_locations.h"
#include "app/window_registry.h"
#include "browser/web_engine_browser.h"
#include "inet/network_transfer.h"
#include "main_window/main_window.h"

namespace quillow {

void setApplicationNames() {
    QCoreApplication::setApplicationName(QStringLiteral("Quillow"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(QUILLOW_VERSION_MAJOR)
                                                .arg(QUILLOW_VERSION_MINOR)
                                                .arg(QUILLOW_VERSION_PATCH));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillow"));
}

void setApplicationIdentity() {
    setApplicationNames();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));
}

std::unique_ptr<QWebEngineProfile> lastingProfile(const FileLocations &where) {
    if (where.profileDir.isEmpty())
        return nullptr;
    return persistentProfile(where.profileDir, where.profileCacheDir);
}

Context realContext(MessageBoxes *messages, QWebEngineProfile *profile,
                    const FileLocations &where) {
    Context context;
    // An installed copy's folders may not exist yet; a portable copy's
    // folder is the program's own.
    if (where.installed)
        for (const QString &dir : {where.favoritesDir, where.scratchDir})
            if (!dir.isEmpty())
                QDir().mkpath(dir);
    context.favoritesDir = where.favoritesDir;
    context.scratchDir = where.scratchDir;
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

void openAtStart(WindowRegistry &windows, MainWindow *primary, const QStringList &addresses) {
    if (addresses.isEmpty())
        return;
    primary->goToTypedAddress(addresses.first());
    for (qsizetype i = 1; i < addresses.size(); ++i)
        windows.openMainWindow(addresses.at(i));
}

void openHandedOver(WindowRegistry &windows, const QStringList &addresses) {
    if (addresses.isEmpty())
        windows.openMainWindow(QString());
    for (const QString &address : addresses)
        windows.openMainWindow(address);
}

}  // namespace quillow
