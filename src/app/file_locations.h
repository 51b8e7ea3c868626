#pragma once

#include <QString>
#include <functional>

namespace quillow {

// What the choice of the program's folders depends on.
struct LocationFacts {
    QString programDir;  // the absolute folder that holds the program
    QString home;        // $HOME; empty when unset
    QString dataHome;    // $XDG_DATA_HOME; empty when unset
    QString cacheHome;   // $XDG_CACHE_HOME; empty when unset
    QString downloads;   // the desktop's download folder, which may not exist
    // Whether a path names an existing file or folder.
    std::function<bool(const QString &)> exists;
    QString configHome;  // $XDG_CONFIG_HOME; empty when unset
};

// Where the program keeps its files. An empty folder means there is none:
// nothing is written there.
struct FileLocations {
    bool installed = false;
    QString favoritesDir;  // favorites.dat
    QString scratchDir;    // temp.htm
    // The engine's lasting profile: its storage and its HTTP cache. Empty
    // when the user has no data folder: the profile is then forgotten at
    // exit.
    QString profileDir;
    QString profileCacheDir;
    // The open windows' addresses while the profile's program runs.
    QString sessionFile;
    QString downloadDir;  // where the save dialog for a download starts
    // quillow.conf and the user's filter lists; the compiled lists' cache.
    QString configDir;
    QString cacheDir;
};

// A copy run from its build tree or a folder of its own keeps favorites.dat
// and temp.htm beside the program, as it always has (a read-only folder
// included: the favorites are still read there, and a save that fails says
// where). An installed copy, a program in a bin/ folder beside the
// installed desktop entry in share/applications/, keeps them in the user's
// XDG data and cache folders, never in bin/. The engine's profile lives in
// those folders for both. Without a usable home folder (and no XDG folder
// set) nothing is written outside the program's own folder.
FileLocations chooseFileLocations(const LocationFacts &facts);

// The facts of the program in programDir: its environment.
LocationFacts currentLocationFacts(const QString &programDir);

// Makes dir and the folders above it that are missing, readable by the
// user alone; false when it cannot.
bool makePrivatePath(const QString &dir);

// Whether the window toolkit can show windows: the X11 and Wayland
// platforms (one of which Qt picks when none is named) need their display;
// the others (offscreen, vnc, ...) bring their own. platform is the one
// named with -platform in arguments, else QT_QPA_PLATFORM's list.
bool displayAvailable(const QStringList &arguments, const QString &platformVariable,
                      const QString &display, const QString &waylandDisplay);

// Whether the web engine would refuse to start: as root (Chromium's rule)
// only with its sandbox off, by QTWEBENGINE_DISABLE_SANDBOX being set
// (sandboxOffVariable) or --no-sandbox among its switches, from
// QTWEBENGINE_CHROMIUM_FLAGS or after --webEngineArgs.
bool engineRefusesRoot(bool root, bool sandboxOffVariable, const QString &chromiumFlags,
                       const QStringList &engineArguments);

}  // namespace quillow
