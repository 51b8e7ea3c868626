#pragma once

#include <QPointer>
#include <QStringList>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <atomic>
#include <vector>

#include "browser/blocking_record.h"
#include "filter/request_kind.h"
#include "filter/verdict.h"

class QWebEnginePage;

namespace quillow {

class ContentBlocker;

// The lists' kind of a request the engine is about to make.
filter::RequestKind requestKindOf(QWebEngineUrlRequestInfo::ResourceType type);

// Blocks the requests of one page that the content blocker's lists name,
// and counts them for the page on show: a new page starts the count again.
// It keeps a record of what it refused, redirected and cleaned there, for
// the user to see; a new page starts that again too.
// Its frames' script names the page by a token only its own frames know.
class PageRequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    PageRequestInterceptor(ContentBlocker *blocker, QWebEnginePage *page);
    ~PageRequestInterceptor() override;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    int blockedOnPage() const { return blocked_; }
    // The rule that blocked the page itself, when one did.
    filter::RuleRef pageRule() const { return pageRule_; }

    const QString &token() const { return token_; }
    static PageRequestInterceptor *forToken(const QString &token);
    QUrl pageOnShow() const;
    // Whether an image or frame the page asked for at `url` was blocked.
    bool blockedFrameOrImage(const QUrl &url) const;
    // The page at `url` passes the lists the next time it is asked for:
    // the user said to go there this time.
    void letPassOnce(const QUrl &url) { passOnce_ = url; }
    // The next page is the notice shown in place of the page just refused:
    // that page's count and rule stand.
    void noticeFollows() { noticeFollows_ = true; }

    // What was done to one request of the page on show, and the rule that
    // decided: the address as the page asked for it, and the one it went
    // to instead (the neutral resource, the cleaned address).
    struct Entry {
        BlockingEntry::Action action = BlockingEntry::Action::Refused;
        filter::RequestKind kind = filter::RequestKind::Other;
        filter::RuleRef rule;
        QUrl url;
        QUrl target;
        QString scriptlet;
        // The address was longer than is kept: this is its start.
        bool urlCut = false;
        bool targetCut = false;
    };
    // The record holds the page's latest entries, at most this many.
    static constexpr std::size_t kMostEntries = 500;
    // Addresses are kept up to this many characters.
    static constexpr qsizetype kMostAddress = 4096;
    // The record of the page on show, oldest first.
    std::vector<Entry> record() const;
    // A scriptlet of the lists ran in a document of the page on show
    // ("##+js(...)", by `rule`), at `document` (the page's own when empty).
    void scriptletApplied(const QString &scriptlet, filter::RuleRef rule,
                          const QUrl &document = QUrl());
    // Those that run in the page about to come: recorded once its request
    // starts its record.
    void scriptletsFollow(const QStringList &scriptlets, const std::vector<filter::RuleRef> &rules,
                          const QUrl &document) {
        nextScriptlets_ = scriptlets;
        nextRules_ = rules;
        nextDocument_ = document;
    }

Q_SIGNALS:
    void blockedCountChanged(int count);

private:
    void addEntry(Entry entry);

    ContentBlocker *blocker_;
    QPointer<QWebEnginePage> page_;
    QString token_;
    std::atomic<int> blocked_{0};
    filter::RuleRef pageRule_;
    QStringList blockedFrames_;  // images and frames, the latest last
    QUrl passOnce_;
    bool noticeFollows_ = false;
    QStringList nextScriptlets_;
    std::vector<filter::RuleRef> nextRules_;
    QUrl nextDocument_;
    // A ring once full: recordStart_ is the oldest. Its room is taken once,
    // at the first entry, and kept across pages.
    std::vector<Entry> record_;
    std::size_t recordStart_ = 0;
};

}  // namespace quillow
