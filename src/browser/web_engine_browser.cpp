#include "browser/web_engine_browser.h"

#include <memory>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace quillow {

namespace {
constexpr qint32 kInvalidArgument = -2147024809;  // 0x80070057

// Schemes the engine shows itself; anything else (mailto:, ...) belongs to
// the desktop's own handler.
bool engineShows(const QUrl &url) {
    static const QStringList schemes = {QStringLiteral("http"),        QStringLiteral("https"),
                                        QStringLiteral("file"),        QStringLiteral("about"),
                                        QStringLiteral("data"),        QStringLiteral("qrc"),
                                        QStringLiteral("view-source"), QStringLiteral("blob")};
    return schemes.contains(url.scheme().toLower());
}
}  // namespace

// The page hands its decisions to the component's host.
class QuillowPage : public QWebEnginePage {
public:
    QuillowPage(QWebEngineProfile *profile, WebEngineBrowser *owner)
        : QWebEnginePage(profile, owner), owner_(owner) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override {
        return owner_->beforeNavigate(url);
    }
    // Returning no page makes the engine raise newWindowRequested, where the
    // host decides.
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }

    void javaScriptAlert(const QUrl &origin, const QString &msg) override {
        if (!owner_->Silent())
            QWebEnginePage::javaScriptAlert(origin, msg);
    }
    bool javaScriptConfirm(const QUrl &origin, const QString &msg) override {
        return !owner_->Silent() && QWebEnginePage::javaScriptConfirm(origin, msg);
    }
    bool javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &value,
                          QString *result) override {
        return !owner_->Silent() && QWebEnginePage::javaScriptPrompt(origin, msg, value, result);
    }

private:
    WebEngineBrowser *owner_;
};

WebEngineBrowser::WebEngineBrowser(QWidget *parent, QWebEngineProfile *profile, QUrl home)
    : Browser(nullptr), view_(new QWebEngineView(parent)), home_(std::move(home)) {
    // The component lives and dies with its view.
    setParent(view_);
    page_ = new QuillowPage(profile, this);
    QWebEngineSettings *s = page_->settings();
    // temp.htm holds HTML from the web shown as a local file: local pages
    // must not read other local files.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    view_->setPage(page_);

    connect(page_, &QWebEnginePage::titleChanged, this, [this](const QString &title) {
        if (events_)
            events_->TitleChange(title);
    });
    connect(page_, &QWebEnginePage::linkHovered, this, [this](const QString &url) {
        if (events_)
            events_->StatusTextChange(url);
    });
    connect(page_, &QWebEnginePage::loadProgress, this, [this](int progress) {
        if (events_)
            events_->ProgressChange(progress, 100);
    });
    connect(page_, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(page_, &QWebEnginePage::newWindowRequested, this, &WebEngineBrowser::onNewWindow);
    // Closing the window from inside the engine's own signal is not safe.
    connect(
        page_, &QWebEnginePage::windowCloseRequested, this,
        [this] {
            if (events_)
                events_->OnQuit();
        },
        Qt::QueuedConnection);
    connect(page_, &QWebEnginePage::fullScreenRequested, this,
            [this](QWebEngineFullScreenRequest request) {
                request.accept();
                if (events_)
                    events_->OnFullScreen(request.toggleOn());
            });
    connect(page_, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status == QWebEnginePage::NormalTerminationStatus || !events_)
                    return;
                events_->StatusTextChange(
                    tr("The page has stopped working. Refresh or a new address loads again."));
            });
}

WebEngineBrowser::~WebEngineBrowser() {
    events_ = nullptr;
}

QWidget *WebEngineBrowser::widget() {
    return view_;
}

bool WebEngineBrowser::beforeNavigate(const QUrl &url) {
    bool cancel = false;
    if (events_)
        events_->BeforeNavigate2(url.toString(), cancel);
    return !cancel;
}

void WebEngineBrowser::onNewWindow(QWebEngineNewWindowRequest &request) {
    if (!events_)
        return;
    Browser *target = nullptr;
    bool cancel = false;
    events_->NewWindow2(target, cancel);
    auto *engine = qobject_cast<WebEngineBrowser *>(target);
    if (!cancel && engine)
        request.openIn(engine->page_);
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info) {
    if (!events_)
        return;
    const QString url = info.url().toString();
    switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            events_->StatusTextChange(tr("Opening page %1...").arg(url));
            return;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            events_->NavigateComplete2(url);
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus: {
            // The host asks the user; a modal question must not run inside the
            // engine's own notification.
            const qint32 code = info.errorCode();
            QPointer<WebEngineBrowser> self(this);
            QTimer::singleShot(0, this, [self, url, code] {
                if (!self || !self->events_)
                    return;
                bool cancel = false;
                self->events_->NavigateError(url, code, cancel);
            });
            break;
        }
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            // Vetoed by the guard or stopped by the user: not a failure.
            break;
    }
    if (events_) {
        events_->ProgressChange(-1, 100);
        events_->StatusTextChange(tr("Done"));
    }
}

BrowserError WebEngineBrowser::Navigate(const QString &address) {
    const QUrl url = QUrl::fromUserInput(address, QString(), QUrl::AssumeLocalFile);
    if (!url.isValid() || url.isEmpty())
        return BrowserError::fail(kInvalidArgument);
    if (!engineShows(url)) {
        if (!QDesktopServices::openUrl(url))
            return BrowserError::fail(BrowserError::kUnspecified);
        return BrowserError::ok();
    }
    page_->load(url);
    return BrowserError::ok();
}

BrowserError WebEngineBrowser::GoBack() {
    if (!page_->history()->canGoBack())
        return BrowserError::fail(BrowserError::kUnspecified);
    page_->triggerAction(QWebEnginePage::Back);
    return BrowserError::ok();
}

BrowserError WebEngineBrowser::GoForward() {
    if (!page_->history()->canGoForward())
        return BrowserError::fail(BrowserError::kUnspecified);
    page_->triggerAction(QWebEnginePage::Forward);
    return BrowserError::ok();
}

BrowserError WebEngineBrowser::GoHome() {
    page_->load(home_);
    return BrowserError::ok();
}

BrowserError WebEngineBrowser::Stop() {
    page_->triggerAction(QWebEnginePage::Stop);
    return BrowserError::ok();
}

BrowserError WebEngineBrowser::Refresh() {
    page_->triggerAction(QWebEnginePage::Reload);
    return BrowserError::ok();
}

QString WebEngineBrowser::LocationURL() const {
    const QUrl url = page_->url();
    return url.isEmpty() ? QStringLiteral("about:blank") : url.toString();
}

BrowserError WebEngineBrowser::SetStatusText(const QString &text) {
    if (events_)
        events_->StatusTextChange(text);
    return BrowserError::ok();
}

BrowserError WebEngineBrowser::SetFocus() {
    if (!view_->isVisible() || !view_->isEnabled())
        return BrowserError::fail(BrowserError::kInvalidCall);
    view_->setFocus(Qt::OtherFocusReason);
    return BrowserError::ok();
}

void WebEngineBrowser::reportDownload(QWebEngineDownloadRequest *download) {
    const QString name = download->downloadFileName();
    QPointer<WebEngineBrowser> self(this);
    connect(
        download, &QWebEngineDownloadRequest::receivedBytesChanged, this, [self, download, name] {
            if (!self || !self->events_)
                return;
            const qint64 total = download->totalBytes();
            const qint64 received = download->receivedBytes();
            if (total > 0) {
                const int percent = int(qMin<qint64>(100, received * 100 / total));
                self->events_->ProgressChange(percent, 100);
                self->events_->StatusTextChange(tr("Downloading %1: %2 %").arg(name).arg(percent));
            } else {
                self->events_->StatusTextChange(
                    tr("Downloading %1: %2 KB").arg(name).arg(received / 1024));
            }
        });
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [self, download, name] {
        if (!self || !self->events_ || !download->isFinished())
            return;
        self->events_->ProgressChange(-1, 100);
        switch (download->state()) {
            case QWebEngineDownloadRequest::DownloadCompleted:
                self->events_->StatusTextChange(
                    tr("Download complete: %1")
                        .arg(QDir(download->downloadDirectory()).filePath(name)));
                break;
            case QWebEngineDownloadRequest::DownloadCancelled:
                self->events_->StatusTextChange(tr("Download cancelled: %1").arg(name));
                break;
            default:
                self->events_->StatusTextChange(
                    tr("Download failed: %1 (%2)").arg(name, download->interruptReasonString()));
                break;
        }
    });
}

namespace {
// The owner of the page that started a download, if it still exists.
WebEngineBrowser *browserOf(QWebEngineDownloadRequest *download) {
    QWebEnginePage *page = download->page();
    return page ? qobject_cast<WebEngineBrowser *>(page->parent()) : nullptr;
}
}  // namespace

BrowserFactory webEngineBrowserFactory(QWebEngineProfile *profile, QUrl home,
                                       AskSavePath askSavePath) {
    // The engine cancels a download that is not accepted inside this
    // notification, so the question is asked here. The connection lasts as
    // long as the factory.
    auto guard = std::make_shared<QObject>();
    QObject::connect(
        profile, &QWebEngineProfile::downloadRequested, guard.get(),
        [askSavePath](QWebEngineDownloadRequest *download) {
            WebEngineBrowser *browser = browserOf(download);
            QWidget *parent = browser ? browser->view()->window() : nullptr;
            const QString path =
                askSavePath ? askSavePath(parent, download->downloadFileName()) : QString();
            if (path.isEmpty()) {
                download->cancel();
                if (browser)
                    browser->SetStatusText(
                        QObject::tr("Download cancelled: %1").arg(download->downloadFileName()));
                return;
            }
            const QFileInfo target(path);
            download->setDownloadDirectory(target.absolutePath());
            download->setDownloadFileName(target.fileName());
            if (browser)
                browser->reportDownload(download);
            download->accept();
        });
    return [profile, home, guard](QWidget *parent) -> Browser * {
        return new WebEngineBrowser(parent, profile, home);
    };
}

}  // namespace quillow
