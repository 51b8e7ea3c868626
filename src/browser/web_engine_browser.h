#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <memory>

#include "browser/browser.h"

class QAuthenticator;
class QWebEngineCertificateError;
class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;

namespace quillow {

class ContentBlocker;
class PageRequestInterceptor;
class WebPage;

// The browser component on Qt WebEngine: a view and its page.
class WebEngineBrowser : public Browser {
    Q_OBJECT
public:
    // parent owns the view, and the view this component; home is where
    // goHome goes.
    // blocker, when there is one, blocks the page's requests its lists name.
    WebEngineBrowser(QWidget *parent, QWebEngineProfile *profile, QUrl home,
                     ContentBlocker *blocker = nullptr);

    QWidget *widget() override;
    BrowserResult navigate(const QString &address) override;
    BrowserResult goBack() override;
    BrowserResult goForward() override;
    void goHome() override;
    void stop() override;
    void refresh() override;
    void abandonFailedNavigation() override;
    QString location() const override;
    BrowserResult giveFocus() override;
    void setSilent(bool on) override;
    bool isSilent() const override;
    qreal zoomFactor() const override;
    void setZoomFactor(qreal factor) override;
    void findText(const QString &text, bool backward) override;
    void print(QPrinter *printer) override;

    WebPage *page() const { return page_; }
    // Reports the progress and the end of a download this page started.
    void followDownload(QWebEngineDownloadRequest *download);
    // The component whose page started download, if it still exists.
    static WebEngineBrowser *of(QWebEngineDownloadRequest *download);

private:
    void load(const QUrl &url);
    void onNewWindow(QWebEngineNewWindowRequest &request);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void askForSignIn(const QUrl &url, QAuthenticator *authenticator, const QString &proxyHost);
    void onCertificateError(const QWebEngineCertificateError &error);
    void answerCertificateError(QWebEngineCertificateError error);
    void onPermissionRequested(const QUrl &origin, QWebEnginePage::Feature feature);
    void showNotice(const QUrl &url);
    void showBlockedPage(const QUrl &url);
    void onNoticeLink(const QString &what);
    // The engine's menu for the spot clicked, without what does not fit
    // this browser, and with the user's own new window and page source.
    void showContextMenu(const QPoint &globalPosition);
    // Looks up the rules of the record of the page on show, then hands it
    // to the host.
    void showBlockingRecord();
    // Reports the page that arrived, before anything it does.
    void completeNavigation();

    QWebEngineView *view_;
    WebPage *page_;
    QUrl home_;
    ContentBlocker *blocker_;
    PageRequestInterceptor *requests_ = nullptr;
    QUrl pendingLoad_;  // waiting for the filter lists
    QUrl blockedPage_;  // the page the lists refused whole, while its notice shows
    // The running load has shown its address: it is complete for the host.
    bool committed_ = false;
    // The address that arrived, reported as complete once the page acts or
    // its load ends, unless it is the engine's own error page.
    QString arrived_;
    // The load under way is another program's address a page asked for.
    QUrl elsewhere_;
    // The last failed load brought a page of the server's (an HTTP status).
    bool failureFromServer_ = false;
    // The user cancelled a sign-in during the load under way: the server's
    // refusal that ends it is no failure to report.
    bool signInCancelled_ = false;
    // Counts the searches in the page; the latest is the one answered.
    quint64 searches_ = 0;
    // What shows in place of a site whose certificate was refused.
    QString noticeTitle_, noticeText_;
    // The load under way is that notice of ours, not a page of the web.
    bool noticeLoading_ = false;
};

// A profile that keeps cookies, local storage and the HTTP cache on disk:
// its storage in storageDir (best <data folder>/<program>/QtWebEngine/<name>,
// where the engine looks first), its cache in cacheDir.
std::unique_ptr<QWebEngineProfile> persistentProfile(const QString &storageDir,
                                                     const QString &cacheDir);

// The real component for a new main window: every window's page shares
// profile.
BrowserFactory webEngineBrowserFactory(QWebEngineProfile *profile, QUrl home,
                                       ContentBlocker *blocker = nullptr);

}  // namespace quillow
