#pragma once

#include <QString>

class QWebEnginePage;
class QWebEngineProfile;

namespace quillow {

class ContentBlocker;

// Each frame of a page learns what to hide, and which of its images and
// frames were blocked, from a scheme of Quillow's own: its small script
// asks for its own host's share only, never for the lists' whole data.

// Registers the scheme with the web engine: before the engine starts.
void registerBlockingScheme();
// Answers every page of the profile from the blocker's lists.
void serveBlockingScheme(QWebEngineProfile *profile, ContentBlocker *blocker);
// The script a page's frames run at document creation; `token` names the
// page to the scheme (see PageRequestInterceptor). It carries the
// blocker's name filter, and is made again when the blocker changes.
void addBlockingScript(QWebEnginePage *page, const QString &token, ContentBlocker *blocker);

}  // namespace quillow
