#include "browser/content_blocking.h"

#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include "browser/content_blocker.h"

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

PageRequestInterceptor::PageRequestInterceptor(ContentBlocker *blocker, QObject *parent)
    : QWebEngineUrlRequestInterceptor(parent), blocker_(blocker) {}

void PageRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info) {
    const RequestKind kind = requestKindOf(info.resourceType());
    const bool newPage = kind == RequestKind::Document;
    const QUrl url = info.requestUrl();
    // Only what goes out to the web is the lists' business.
    const QString scheme = url.scheme();
    filter::Verdict verdict;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("ws") || scheme == QLatin1String("wss")) {
        // The page on show decides whether blocking is on, for its frames
        // too; the rules' sites and parties are the document's that asks.
        const QUrl page = newPage ? url : info.firstPartyUrl();
        const QUrl initiator = info.initiator();
        const QUrl document =
            newPage || !initiator.isValid() || initiator.isEmpty() ? page : initiator;
        if (blocker_->isOn(page))
            verdict = blocker_->decide(url, document, kind);
    }
    if (verdict.blocked)
        info.block(true);
    if (newPage)
        pageRule_ = verdict.blocked ? verdict.rule : filter::RuleRef();
    if (newPage || verdict.blocked) {
        const int count = newPage ? int(verdict.blocked) : blocked_ + 1;
        blocked_ = count;
        emit blockedCountChanged(count);
    }
}

namespace {

const QString kScriptName = QStringLiteral("quillow-element-hiding");

void installScript(QWebEngineProfile *profile, const QString &source) {
    QWebEngineScriptCollection *scripts = profile->scripts();
    for (const QWebEngineScript &old : scripts->find(kScriptName))
        scripts->remove(old);
    if (source.isEmpty())
        return;
    QWebEngineScript script;
    script.setName(kScriptName);
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    // Out of the page's reach: its scripts cannot see or undo ours.
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    scripts->insert(script);
}

}  // namespace

void keepElementHiding(QWebEngineProfile *profile, ContentBlocker *blocker) {
    installScript(profile, blocker->elementHidingScript());
    QObject::connect(blocker, &ContentBlocker::changed, profile, [profile, blocker] {
        installScript(profile, blocker->elementHidingScript());
    });
}

}  // namespace quillow
