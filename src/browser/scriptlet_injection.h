#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>
#include <deque>

#include "browser/content_blocker.h"

class QWebEnginePage;
class QWebEngineProfile;

namespace quillow {

class LibrarySchemeHandler;

// uBlock Origin's scriptlets, run in a document before any of its own
// scripts. The engine runs a profile's scripts in every frame and takes a
// script added while a navigation is decided for the document it makes,
// so the profile carries the scriptlets of the last few sites its pages
// went to, each behind a test of the document's host, and nothing while
// they went to none. The library's functions are read once, in the engine
// itself, from the package's own modules.
class ScriptletInjection : public QObject {
    Q_OBJECT
public:
    ScriptletInjection(QWebEngineProfile *profile, ContentBlocker *blocker);
    ~ScriptletInjection() override;

    // A document at `url` is about to be made for a page showing `page`
    // (the same address for the page itself).
    void prepare(const QUrl &url, const QUrl &page);
    // The scriptlets that run in documents at `host`; null when none.
    const ContentBlocker::Scriptlets *at(const QString &host) const;

    // The one of `profile`, made by serveBlockingScheme.
    static ScriptletInjection *of(QWebEngineProfile *profile);

    static constexpr int kMostSites = 16;

private:
    struct Site {
        QString host;
        ContentBlocker::Scriptlets scriptlets;
    };
    void install();
    void readLibrary();

    QWebEngineProfile *profile_;
    ContentBlocker *blocker_;
    std::deque<Site> sites_;  // the latest last
    QSet<QString> without_;   // hosts known to have none
    QPointer<QWebEnginePage> reader_;
    LibrarySchemeHandler *library_;  // serves the package's modules
};

// Registers the scheme that serves the package's scriptlet modules to the
// engine: before the engine starts.
void registerScriptletLibraryScheme();

}  // namespace quillow
