#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include "filter/rule_parser.h"

namespace quillow {

// Content blocking as the web engine and the windows see it: whether a
// request is refused, the script that hides a page's elements, and the
// sites the user lets be.
class ContentFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether blocking applies at all: lists were found and it is not
    // turned off.
    virtual bool active() const = 0;
    // Whether a request for `url` made for the page at `page` is refused:
    // never while blocking is off or for a site the user lets be. Until the
    // lists are ready it waits for them, 300 ms at most from the first
    // request that finds them not ready, so a session's first page is
    // already filtered.
    virtual bool refuses(const QUrl &url, const QUrl &page, filter::RequestKind kind) = 0;
    // Whether the user unchecked "Block ads on this site" for this host.
    virtual bool siteAllowed(const QString &host) const = 0;
    virtual void setSiteAllowed(const QString &host, bool allowed) = 0;
    // JavaScript for every page, run at document creation, that hides what
    // the lists' element-hiding rules name; empty when there is nothing.
    virtual QString elementHidingScript() const = 0;

signals:
    // The lists were loaded or updated, or a site was allowed or not.
    void changed();
};

}  // namespace quillow
