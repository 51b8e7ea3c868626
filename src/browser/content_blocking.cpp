#include "browser/content_blocking.h"

#include <QHash>
#include <QRandomGenerator>
#include <QWebEnginePage>
#include <utility>

#include "browser/content_blocker.h"
#include "filter/rule_parser.h"

namespace quillow {

using filter::RequestKind;

RequestKind requestKindOf(QWebEngineUrlRequestInfo::ResourceType type) {
    switch (type) {
        case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
            return RequestKind::Document;
        case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
            return RequestKind::Subdocument;
        case QWebEngineUrlRequestInfo::ResourceTypeScript:
        case QWebEngineUrlRequestInfo::ResourceTypeWorker:
        case QWebEngineUrlRequestInfo::ResourceTypeSharedWorker:
        case QWebEngineUrlRequestInfo::ResourceTypeServiceWorker:
            return RequestKind::Script;
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
            return RequestKind::Image;
        case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
            return RequestKind::Stylesheet;
        case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
            return RequestKind::Font;
        case QWebEngineUrlRequestInfo::ResourceTypeObject:
        case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
            return RequestKind::Object;
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
            return RequestKind::Media;
        case QWebEngineUrlRequestInfo::ResourceTypeXhr:
            return RequestKind::XmlHttpRequest;
        case QWebEngineUrlRequestInfo::ResourceTypePing:
            return RequestKind::Ping;
        case QWebEngineUrlRequestInfo::ResourceTypeWebSocket:
            return RequestKind::WebSocket;
        default:
            return RequestKind::Other;
    }
}

namespace {

// Images and frames kept per page for its script to ask about.
constexpr int kMostBlockedFrames = 256;

QHash<QString, PageRequestInterceptor *> &pagesByToken() {
    static QHash<QString, PageRequestInterceptor *> pages;
    return pages;
}

QUrl neutralResourceUrl(std::string_view name) {
    return QUrl(QStringLiteral("quillow:resource?n=") +
                QString::fromUtf8(QUrl::toPercentEncoding(
                    QString::fromUtf8(name.data(), qsizetype(name.size())))));
}

QString newToken() {
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QString::number(words[0], 16) + QString::number(words[1], 16);
}

}  // namespace

PageRequestInterceptor::PageRequestInterceptor(ContentBlocker *blocker, QWebEnginePage *page)
    : QWebEngineUrlRequestInterceptor(page), blocker_(blocker), page_(page), token_(newToken()) {
    pagesByToken().insert(token_, this);
}

PageRequestInterceptor::~PageRequestInterceptor() {
    pagesByToken().remove(token_);
}

PageRequestInterceptor *PageRequestInterceptor::forToken(const QString &token) {
    return pagesByToken().value(token);
}

QUrl PageRequestInterceptor::pageOnShow() const {
    return page_ ? page_->url() : QUrl();
}

bool PageRequestInterceptor::blockedFrameOrImage(const QUrl &url) const {
    return blockedFrames_.contains(url.toString(QUrl::FullyEncoded));
}

void PageRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info) {
    const RequestKind kind = requestKindOf(info.resourceType());
    const bool newPage = kind == RequestKind::Document;
    const QUrl url = info.requestUrl();
    // Only what goes out to the web is the lists' business.
    const QString scheme = url.scheme();
    if (newPage && std::exchange(noticeFollows_, false) && scheme == QLatin1String("data"))
        return;
    filter::Verdict verdict;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("ws") || scheme == QLatin1String("wss")) {
        // The page on show decides whether blocking is on, for its frames
        // too; the rules' sites and parties are the document's that asks.
        const QUrl page = newPage ? url : info.firstPartyUrl();
        const QUrl initiator = info.initiator();
        const QUrl document =
            newPage || !initiator.isValid() || initiator.isEmpty() ? page : initiator;
        const bool userSaysGo = newPage && !passOnce_.isEmpty() && url == passOnce_;
        if (userSaysGo)
            passOnce_.clear();
        else if (blocker_->isOn(page))
            verdict = blocker_->decide(
                url, document, kind,
                filter::methodBitOfName(std::string_view(
                    info.requestMethod().constData(), std::size_t(info.requestMethod().size()))));
    }
    // A blocked script or image gets a neutral stand-in, so that a page
    // calling a tracker's function still runs; a request without a body
    // goes on without the parameters the lists take off.
    QUrl target;
    if (verdict.blocked && !verdict.resource.empty() && !newPage) {
        target = neutralResourceUrl(verdict.resource);
        info.redirect(target);
    } else if (!verdict.blocked && !verdict.cleanedUrl.empty() &&
               (info.requestMethod() == "GET" || info.requestMethod() == "HEAD")) {
        target = QUrl::fromEncoded(
            QByteArray(verdict.cleanedUrl.data(), qsizetype(verdict.cleanedUrl.size())));
        info.redirect(target);
    }
    if (newPage) {
        pageRule_ = verdict.blocked ? verdict.rule : filter::RuleRef();
        blockedFrames_.clear();
        record_.clear();
        recordStart_ = 0;
        if (nextDocument_ == url)
            for (qsizetype i = 0; i < nextScriptlets_.size(); ++i)
                scriptletApplied(nextScriptlets_.at(i), nextRules_[std::size_t(i)], url);
        nextScriptlets_.clear();
        nextRules_.clear();
    }
    const bool refused = verdict.blocked && (verdict.resource.empty() || newPage);
    if (refused || !target.isEmpty()) {
        using Action = BlockingEntry::Action;
        Entry entry;
        entry.kind = kind;
        entry.url = url;
        if (refused) {
            entry.action = Action::Refused;
            entry.rule = verdict.rule;
        } else if (verdict.blocked) {
            entry.action = Action::Redirected;
            entry.rule = verdict.redirectRule.found() ? verdict.redirectRule : verdict.rule;
            entry.target = target;
        } else {
            entry.action = Action::Cleaned;
            entry.rule = verdict.cleanRule;
            entry.targetCut = qsizetype(verdict.cleanedUrl.size()) > kMostAddress;
            entry.target =
                entry.targetCut
                    ? QUrl::fromEncoded(QByteArray(verdict.cleanedUrl.data(), kMostAddress))
                    : target;
        }
        addEntry(std::move(entry));
    }
    if (refused) {
        info.block(true);
        // Its script hides what shows nothing but the engine's notice.
        if (kind == RequestKind::Image || kind == RequestKind::Subdocument) {
            if (blockedFrames_.size() >= kMostBlockedFrames)
                blockedFrames_.removeFirst();
            blockedFrames_.append(url.toString(QUrl::FullyEncoded));
        }
    }
    if (newPage || verdict.blocked) {
        const int count = newPage ? int(verdict.blocked) : blocked_ + 1;
        blocked_ = count;
        emit blockedCountChanged(count);
    }
}

void PageRequestInterceptor::addEntry(Entry entry) {
    // What a page asks for may be megabytes long: the record keeps its start.
    if (const QByteArray encoded = entry.url.toEncoded(); encoded.size() > kMostAddress) {
        entry.url = QUrl::fromEncoded(encoded.left(kMostAddress));
        entry.urlCut = true;
    }
    if (record_.size() < kMostEntries) {
        if (record_.capacity() == 0)
            record_.reserve(kMostEntries);
        record_.push_back(std::move(entry));
    } else {
        record_[recordStart_] = std::move(entry);
        recordStart_ = (recordStart_ + 1) % kMostEntries;
    }
}

std::vector<PageRequestInterceptor::Entry> PageRequestInterceptor::record() const {
    std::vector<Entry> entries;
    entries.reserve(record_.size());
    for (std::size_t i = 0; i < record_.size(); ++i)
        entries.push_back(record_[(recordStart_ + i) % record_.size()]);
    return entries;
}

void PageRequestInterceptor::scriptletApplied(const QString &scriptlet, filter::RuleRef rule,
                                              const QUrl &document) {
    Entry entry;
    entry.action = BlockingEntry::Action::ScriptletApplied;
    entry.kind = RequestKind::Document;
    entry.rule = rule;
    entry.url = document.isEmpty() ? pageOnShow() : document;
    entry.scriptlet = scriptlet.left(kMostAddress);
    addEntry(std::move(entry));
}

}  // namespace quillow
