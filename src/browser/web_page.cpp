#include "browser/web_page.h"

#include <QTimer>
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
    // Other programs' addresses come to acceptNavigationRequest, where the
    // host is asked, only from the user's click; what a script asks for by
    // itself the engine refuses, so a page cannot ask again and again.
    s->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
    // No page icon is shown anywhere; fetching one would only ask the site
    // again (a refused certificate, a sign-in).
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
}

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) {
    // Quillow's own notices act by links of its own scheme; the host
    // decides whether one stands on show.
    if (url.scheme() == QLatin1String("quillow")) {
        if (isMainFrame && type == NavigationTypeLinkClicked)
            QTimer::singleShot(0, this,
                               [this, what = url.path()] { emit noticeLinkClicked(what); });
        return false;
    }
    if (!showsScheme(url.scheme())) {
        // The user asks, not from inside the engine's call; the engine never
        // goes there itself.
        askedElsewhere_ = url;
        QTimer::singleShot(0, this, [this, url] { emit externalAddressRequested(url.toString()); });
        return false;
    }
    NavigationRequest request(url.toString());
    emit navigationRequested(request);
    if (!request.isAccepted())
        return false;
    if (isMainFrame)
        mainFrameTarget_ = url;
    emit navigationAccepted(url, isMainFrame);
    return true;
}

QWebEnginePage *WebPage::createWindow(WebWindowType) {
    // No page here makes the engine raise newWindowRequested, where the host
    // decides.
    return nullptr;
}

void WebPage::ask(PageDialogRequest &request) {
    if (!silent_)
        emit dialogRequested(request);
}

void WebPage::javaScriptAlert(const QUrl &origin, const QString &msg) {
    PageDialogRequest request(PageDialogRequest::Kind::Alert, origin.toString(), msg);
    ask(request);
}

bool WebPage::javaScriptConfirm(const QUrl &origin, const QString &msg) {
    PageDialogRequest request(PageDialogRequest::Kind::Confirm, origin.toString(), msg);
    ask(request);
    return request.isAccepted();
}

bool WebPage::javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                               QString *result) {
    PageDialogRequest request(PageDialogRequest::Kind::Prompt, origin.toString(), msg,
                              defaultValue);
    ask(request);
    if (request.isAccepted() && result)
        *result = request.text();
    return request.isAccepted();
}

}  // namespace quillow
