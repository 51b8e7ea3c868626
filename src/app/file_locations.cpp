#include "app/file_locations.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quillow {

namespace {
QString below(const QString &base, const QString &name) {
    return base.isEmpty() ? QString() : base + QLatin1Char('/') + name;
}
}  // namespace

FileLocations chooseFileLocations(const LocationFacts &facts) {
    // With HOME unset or "/", the usual folders would lie at the root of
    // the file system.
    const QString home = QDir::cleanPath(facts.home);
    const bool homeUsable =
        QDir::isAbsolutePath(facts.home) && home != QLatin1String("/") && facts.exists(home);
    // A relative XDG folder is not one (the XDG rule): the default stands.
    const auto xdgFolder = [&](const QString &set, const QString &underHome) {
        if (QDir::isAbsolutePath(set))
            return QDir::cleanPath(set);
        return homeUsable ? home + underHome : QString();
    };
    const QString data = below(xdgFolder(facts.dataHome, QStringLiteral("/.local/share")),
                               QStringLiteral("quillow"));
    const QString cache =
        below(xdgFolder(facts.cacheHome, QStringLiteral("/.cache")), QStringLiteral("quillow"));

    FileLocations out;
    out.configDir =
        below(xdgFolder(facts.configHome, QStringLiteral("/.config")), QStringLiteral("quillow"));
    out.cacheDir = cache;
    const QString programDir = QDir::cleanPath(facts.programDir);
    out.installed =
        QDir(programDir).dirName() == QLatin1String("bin") &&
        facts.exists(QDir::cleanPath(programDir + QStringLiteral("/../share/applications/"
                                                                 "quillow.desktop")));
    out.favoritesDir = out.installed ? data : programDir;
    out.scratchDir = out.installed ? cache : programDir;
    if (!data.isEmpty() && !cache.isEmpty()) {
        // Where the engine puts a profile of its own accord.
        out.profileDir = below(data, QStringLiteral("QtWebEngine/profile"));
        out.profileCacheDir = below(cache, QStringLiteral("QtWebEngine/profile"));
        out.sessionFile = below(data, QStringLiteral("session.dat"));
    }
    if (!facts.downloads.isEmpty() && facts.exists(facts.downloads))
        out.downloadDir = facts.downloads;
    else if (homeUsable)
        out.downloadDir = home;
    return out;
}

bool makePrivatePath(const QString &dir) {
    const QFileInfo info(dir);
    if (info.isDir())
        return true;
    if (dir.isEmpty() || info.isRoot() || !makePrivatePath(info.absolutePath()))
        return false;
    return QDir().mkdir(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool displayAvailable(const QStringList &arguments, const QString &platformVariable,
                      const QString &display, const QString &waylandDisplay) {
    const qsizetype named = arguments.indexOf(QStringLiteral("-platform"));
    const QString platforms = named >= 0 ? arguments.value(named + 1) : platformVariable;
    if (platforms.isEmpty())
        return !display.isEmpty() || !waylandDisplay.isEmpty();
    for (const QString &entry : platforms.split(QLatin1Char(';'))) {
        const QString platform = entry.section(QLatin1Char(':'), 0, 0);
        if (platform == QLatin1String("xcb")                ? !display.isEmpty()
            : platform.startsWith(QLatin1String("wayland")) ? !waylandDisplay.isEmpty()
                                                            : true)
            return true;
    }
    return false;
}

bool engineRefusesRoot(bool root, bool sandboxOffVariable, const QString &chromiumFlags,
                       const QStringList &engineArguments) {
    const QString off = QStringLiteral("--no-sandbox");
    return root && !sandboxOffVariable && !engineArguments.contains(off) &&
           !chromiumFlags.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(off);
}

LocationFacts currentLocationFacts(const QString &programDir) {
    LocationFacts facts;
    facts.programDir = programDir;
    facts.home = qEnvironmentVariable("HOME");
    facts.dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    facts.cacheHome = qEnvironmentVariable("XDG_CACHE_HOME");
    facts.configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    facts.downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    facts.exists = [](const QString &path) { return QFileInfo::exists(path); };
    return facts;
}

}  // namespace quillow
