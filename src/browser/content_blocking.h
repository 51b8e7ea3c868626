#pragma once

#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <atomic>

#include "filter/request_kind.h"
#include "filter/verdict.h"

class QWebEngineProfile;

namespace quillow {

class ContentBlocker;

// The lists' kind of a request the engine is about to make.
filter::RequestKind requestKindOf(QWebEngineUrlRequestInfo::ResourceType type);

// Blocks the requests of one page that the content blocker's lists name,
// and counts them for the page on show: a new page starts the count again.
class PageRequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    PageRequestInterceptor(ContentBlocker *blocker, QObject *parent);
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    int blockedOnPage() const { return blocked_; }
    // The rule that blocked the page itself, when one did.
    filter::RuleRef pageRule() const { return pageRule_; }

Q_SIGNALS:
    void blockedCountChanged(int count);

private:
    ContentBlocker *blocker_;
    std::atomic<int> blocked_{0};
    filter::RuleRef pageRule_;
};

// Keeps the profile's element-hiding script as the blocker's lists and the
// user's allowed sites say, from now on.
void keepElementHiding(QWebEngineProfile *profile, ContentBlocker *blocker);

}  // namespace quillow
