#pragma once

#include <QPointer>
#include <QStringList>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <atomic>

#include "filter/request_kind.h"
#include "filter/verdict.h"

class QWebEnginePage;

namespace quillow {

class ContentBlocker;

// The lists' kind of a request the engine is about to make.
filter::RequestKind requestKindOf(QWebEngineUrlRequestInfo::ResourceType type);

// Blocks the requests of one page that the content blocker's lists name,
// and counts them for the page on show: a new page starts the count again.
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

Q_SIGNALS:
    void blockedCountChanged(int count);

private:
    ContentBlocker *blocker_;
    QPointer<QWebEnginePage> page_;
    QString token_;
    std::atomic<int> blocked_{0};
    filter::RuleRef pageRule_;
    QStringList blockedFrames_;  // images and frames, the latest last
    QUrl passOnce_;
    bool noticeFollows_ = false;
};

}  // namespace quillow
