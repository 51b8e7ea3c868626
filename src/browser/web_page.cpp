#include "browser/web_page.h"

#include <QWebEngineSettings>

#include "browser/browser.h"

namespace quillow {

WebPage::WebPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent) {
    QWebEngineSettings *s = settings();
    // temp.htm holds HTML from the web shown as a local file: local pages
    // must not read other local files.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    // Off, the engine would drop script popups without telling: none could
    // be counted.
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
}

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool) {
    NavigationRequest request(url.toString());
    emit navigationRequested(request);
    return request.isAccepted();
}

QWebEnginePage *WebPage::createWindow(WebWindowType) {
    // No page here makes the engine raise newWindowRequested, where the host
    // decides.
    return nullptr;
}

void WebPage::javaScriptAlert(const QUrl &origin, const QString &msg) {
    if (!silent_)
        QWebEnginePage::javaScriptAlert(origin, msg);
}

bool WebPage::javaScriptConfirm(const QUrl &origin, const QString &msg) {
    return !silent_ && QWebEnginePage::javaScriptConfirm(origin, msg);
}

bool WebPage::javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                               QString *result) {
    return !silent_ && QWebEnginePage::javaScriptPrompt(origin, msg, defaultValue, result);
}

}  // namespace quillow
