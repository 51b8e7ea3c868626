#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <utility>
#include <vector>

#include "filter/request_kind.h"
#include "filter/verdict.h"

namespace quillow {

// Content blocking as the web engine and the windows see it: whether it is
// on for a page, what the filter lists say of a request, what a page's
// script hides, and the sites the user lets be.
class ContentBlocker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether blocking is on for the page on show, or why it is off. An
    // empty address asks about blocking as a whole.
    enum class State {
        On,
        OffForRun,      // the command line turned it off
        OffInSettings,  // the user's settings turned it off
        NoLists,        // no filter list was found
        OffForSite,     // the user lets the page's site be
    };
    virtual State stateFor(const QUrl &page) const = 0;
    bool isOn(const QUrl &page) const { return stateFor(page) == State::On; }

    // What the lists say of a request for `url` made by the document at
    // `document` (the page itself, or the frame that asks). Never waits:
    // until the lists are ready, requests pass.
    virtual filter::Verdict decide(const QUrl &url, const QUrl &document, filter::RequestKind kind,
                                   std::uint8_t method = 0) = 0;
    // Runs `go` once the lists are ready, none were found or blocking is
    // off, but no later than 300 ms after the first load that waited: the
    // program's first page is filtered, and nothing else waits. `go` is not
    // run once `context` is gone.
    virtual void whenReady(QObject *context, std::function<void()> go) = 0;
    // A rule as the user is shown it: its text and its list's name. Read off
    // the window's thread; `done` runs on it later with the text (empty when
    // the list has changed meanwhile).
    virtual void describe(filter::RuleRef rule, std::function<void(const QString &)> done) = 0;
    // The same for many rules, each list read once: `done` gets each
    // rule's text and its list's name, in the order asked; both empty for a
    // rule the lists no longer hold.
    struct RuleText {
        QString text;
        QString list;
    };
    virtual void describeRules(std::vector<filter::RuleRef> rules,
                               std::function<void(const QList<RuleText> &)> done) = 0;

    // The neutral resource a redirect names ("noop.js"): its type and
    // bytes; false when there is none of that name.
    virtual bool neutralResource(const QString &name, QByteArray &type, QByteArray &body) const = 0;

    // What the user is to know of the lists: rules or lists left out for
    // their size, updates that failed. Empty when all is well.
    virtual QStringList problems() const = 0;

    // Unchecking "Block ads on this site" lets the host be.
    virtual void setSiteAllowed(const QString &host, bool allowed) = 0;
    // Element hiding for a document at `host`, as JSON for the page's
    // script: what it is sent first, and the selectors that the classes
    // and ids it holds name (".a #b", separated by spaces). Empty until the
    // lists are ready.
    virtual QByteArray hidingForSite(const QString &host) const = 0;
    virtual QByteArray hidingForNames(const QString &host, const QString &names) const = 0;
    // What every page's script carries, as a JSON object, so that most
    // documents ask nothing: {"on":0} when blocking is off; otherwise "n",
    // a bit filter of the names the lists may have selectors for, and "h",
    // one of the sites with data of their own (base64, of "hb" bits); "d",
    // what a site without data of its own is sent; "a", the sites the user
    // lets be (null: too many to carry, every document asks). Empty until
    // the lists are ready (every document asks).
    virtual QByteArray hidingScriptData() const = 0;
    // The names' bit filter alone ("n" above), for a frame's script, which
    // carries none of that; empty where hidingScriptData() has none.
    virtual QByteArray hidingNameFilter() const = 0;

    // uBlock Origin's scriptlets for a document at `host`, put together
    // from its library as it puts them together: the functions each world
    // needs (name, source), each rule's call, and the rules applied as
    // lists write them. Empty until the lists and the library are ready,
    // or where the lists hold none.
    struct Scriptlets {
        std::vector<std::pair<QString, QString>> mainFunctions, isolatedFunctions;
        QString mainCalls, isolatedCalls;
        QStringList applied;
        std::vector<filter::RuleRef> appliedRules;  // the rule of each
        bool isEmpty() const { return mainCalls.isEmpty() && isolatedCalls.isEmpty(); }
    };
    virtual Scriptlets scriptletsFor(const QString &host) const = 0;
    // The library's folder when its scriptlets are still to be read (in the
    // web engine, which alone can read them as uBlock Origin does); empty
    // when known or there is none.
    virtual QString scriptletLibraryWanted() const = 0;
    // The library as read there (see filter::ScriptletLibrary::fromJson).
    virtual void setScriptletLibrary(const QByteArray &json) = 0;
    // The sites the user lets be, as kept.
    virtual QStringList allowedSites() const = 0;

signals:
    // The lists were loaded or updated, or a site was allowed or not.
    void changed();
};

}  // namespace quillow
