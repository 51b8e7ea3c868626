#pragma once

#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <atomic>

#include "filter/rule_parser.h"

class QWebEngineProfile;

namespace quillow {

class ContentFilter;

// The lists' kind of a request the engine is about to make.
filter::RequestKind requestKindOf(QWebEngineUrlRequestInfo::ResourceType type);

// Refuses the requests of one page that the content filter refuses, and
// counts them for the page on show: a new page starts the count again.
class PageRequestFilter : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    PageRequestFilter(ContentFilter *filter, QObject *parent);
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    int blockedOnPage() const { return blocked_; }

Q_SIGNALS:
    void blockedCountChanged(int count);

private:
    ContentFilter *filter_;
    std::atomic<int> blocked_{0};
};

// Keeps the profile's element-hiding script as the filter's lists and the
// user's allowed sites say, from now on.
void keepElementHiding(QWebEngineProfile *profile, ContentFilter *filter);

}  // namespace quillow
