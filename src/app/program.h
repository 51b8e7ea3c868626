#pragma once

#include <QString>
#include <functional>

#include "app/context.h"

class QWebEngineProfile;

namespace quillow {

// Where favorites.dat and temp.htm live: beside the program when its
// directory can be written, otherwise (an installed copy) in the user's
// data directory. Decided once, at start-up.
QString chooseDataDir(const QString &programDir, const QString &userDataDir,
                      const std::function<bool(const QString &)> &writable);

// Whether a file can really be created in dir (permissions alone do not
// tell, e.g. on a read-only mount).
bool directoryIsWritable(const QString &dir);

// Name, version, desktop file and icon of the running application.
void setApplicationIdentity();

// The real platform pieces, as the program and its benchmarks use them;
// every window's page uses profile.
Context realContext(MessageBoxes *messages, QWebEngineProfile *profile);

}  // namespace quillow
