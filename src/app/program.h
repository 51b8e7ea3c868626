#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "app/context.h"

class QWebEngineProfile;

namespace quillow {

struct FileLocations;
class MainWindow;
class WindowRegistry;

// Name, version and desktop file of the program; needs no application
// object yet.
void setApplicationNames();
// The same, and the window icon.
void setApplicationIdentity();

// The engine's lasting profile in where's folders; null when there is no
// folder for it.
std::unique_ptr<QWebEngineProfile> lastingProfile(const FileLocations &where);

// The real platform pieces, as the program and its benchmarks use them;
// every window's page uses profile.
Context realContext(MessageBoxes *messages, QWebEngineProfile *profile, const FileLocations &where);

// The addresses a start was given: the primary main window goes to the
// first, each further one opens a main window of its own.
void openAtStart(WindowRegistry &windows, MainWindow *primary, const QStringList &addresses);
// The addresses a later start handed over, each in a new main window; a
// later start without any opens one new main window.
void openHandedOver(WindowRegistry &windows, const QStringList &addresses);

}  // namespace quillow
