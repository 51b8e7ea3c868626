#pragma once

#include <QPointer>
#include <QUrl>

#include "browser/browser.h"

class QWebEngineProfile;
class QWebEngineView;
class QWebEngineNewWindowRequest;
class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;

namespace quillow {

class QuillowPage;

// The browser component on Qt WebEngine.
class WebEngineBrowser : public Browser {
    Q_OBJECT
public:
    // parent owns the view; home is where GoHome goes.
    WebEngineBrowser(QWidget *parent, QWebEngineProfile *profile, QUrl home);
    ~WebEngineBrowser() override;

    void setEvents(BrowserEvents *events) override { events_ = events; }
    QWidget *widget() override;
    BrowserError Navigate(const QString &address) override;
    BrowserError GoBack() override;
    BrowserError GoForward() override;
    BrowserError GoHome() override;
    BrowserError Stop() override;
    BrowserError Refresh() override;
    QString LocationURL() const override;
    BrowserError SetStatusText(const QString &text) override;
    BrowserError AdoptFailedFrame() override { return BrowserError::ok(); }
    BrowserError SetFocus() override;
    void SetRegisterAsBrowser(bool on) override { registerAsBrowser_ = on; }
    bool RegisterAsBrowser() const override { return registerAsBrowser_; }
    void SetSilent(bool on) override { silent_ = on; }
    bool Silent() const override { return silent_; }

    QWebEngineView *view() const { return view_; }
    // Reports the progress and the end of a download this page started.
    void reportDownload(QWebEngineDownloadRequest *download);

private:
    friend class QuillowPage;
    bool beforeNavigate(const QUrl &url);
    void onNewWindow(QWebEngineNewWindowRequest &request);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);

    QWebEngineView *view_;
    QuillowPage *page_;
    QUrl home_;
    BrowserEvents *events_ = nullptr;
    bool registerAsBrowser_ = false;
    bool silent_ = false;
};

// Asks where a download goes (fileName is the page's suggestion); an empty
// answer cancels it.
using AskSavePath = std::function<QString(QWidget *parent, const QString &fileName)>;

// The real component for main(): every window's page shares one profile,
// whose downloads go where askSavePath says.
BrowserFactory webEngineBrowserFactory(QWebEngineProfile *profile, QUrl home,
                                       AskSavePath askSavePath = {});

}  // namespace quillow
