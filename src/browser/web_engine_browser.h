#pragma once

#include <QUrl>
#include <memory>

#include "browser/browser.h"

class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;

namespace quillow {

class WebPage;

// The browser component on Qt WebEngine: a view and its page.
class WebEngineBrowser : public Browser {
    Q_OBJECT
public:
    // parent owns the view, and the view this component; home is where
    // goHome goes.
    WebEngineBrowser(QWidget *parent, QWebEngineProfile *profile, QUrl home);

    QWidget *widget() override;
    BrowserError navigate(const QString &address) override;
    BrowserError goBack() override;
    BrowserError goForward() override;
    void goHome() override;
    void stop() override;
    void refresh() override;
    QString location() const override;
    BrowserError giveFocus() override;
    void setSilent(bool on) override;
    bool isSilent() const override;

    WebPage *page() const { return page_; }
    // Reports the progress and the end of a download this page started.
    void followDownload(QWebEngineDownloadRequest *download);
    // The component whose page started download, if it still exists.
    static WebEngineBrowser *of(QWebEngineDownloadRequest *download);

private:
    void onNewWindow(QWebEngineNewWindowRequest &request);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);

    QWebEngineView *view_;
    WebPage *page_;
    QUrl home_;
};

// A profile that keeps cookies, local storage and the HTTP cache on disk:
// its storage in storageDir (best <data folder>/<program>/QtWebEngine/<name>,
// where the engine looks first), its cache in cacheDir.
std::unique_ptr<QWebEngineProfile> persistentProfile(const QString &storageDir,
                                                     const QString &cacheDir);

// The real component for a new main window: every window's page shares
// profile.
BrowserFactory webEngineBrowserFactory(QWebEngineProfile *profile, QUrl home);

}  // namespace quillow
