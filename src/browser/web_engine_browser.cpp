#include "browser/web_engine_browser.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "browser/web_page.h"

namespace quillow {

namespace {

// Schemes the engine shows itself; anything else (mailto:, ...) belongs to
// the desktop's own handler.
bool engineShows(const QUrl &url) {
    static const QStringList schemes = {QStringLiteral("http"),        QStringLiteral("https"),
                                        QStringLiteral("file"),        QStringLiteral("about"),
                                        QStringLiteral("data"),        QStringLiteral("qrc"),
                                        QStringLiteral("view-source"), QStringLiteral("blob")};
    return schemes.contains(url.scheme().toLower());
}

BrowserError fail(qint32 number) {
    return BrowserError{number};
}

}  // namespace

WebEngineBrowser::WebEngineBrowser(QWidget *parent, QWebEngineProfile *profile, QUrl home)
    : Browser(nullptr), view_(new QWebEngineView(parent)), home_(std::move(home)) {
    setParent(view_);
    page_ = new WebPage(profile, this);
    view_->setPage(page_);

    connect(page_, &WebPage::navigationRequested, this, &Browser::navigationRequested);
    connect(page_, &QWebEnginePage::titleChanged, this, &Browser::titleChanged);
    connect(page_, &QWebEnginePage::linkHovered, this, &Browser::statusTextChanged);
    connect(page_, &QWebEnginePage::loadProgress, this,
            [this](int progress) { emit progressChanged(progress, 100); });
    connect(page_, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(page_, &QWebEnginePage::newWindowRequested, this, &WebEngineBrowser::onNewWindow);
    // Closing the window from inside the engine's own signal is not safe.
    connect(page_, &QWebEnginePage::windowCloseRequested, this, &Browser::closeRequested,
            Qt::QueuedConnection);
    connect(page_, &QWebEnginePage::fullScreenRequested, this,
            [this](QWebEngineFullScreenRequest request) {
                request.accept();
                emit fullScreenRequested(request.toggleOn());
            });
    connect(page_, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus)
                    emit statusTextChanged(
                        tr("The page has stopped working. Refresh or a new address loads again."));
            });
}

QWidget *WebEngineBrowser::widget() {
    return view_;
}

void WebEngineBrowser::onNewWindow(QWebEngineNewWindowRequest &request) {
    NewWindowRequest ours(request.requestedUrl().toString(), request.isUserInitiated());
    emit newWindowRequested(ours);
    if (auto *target = qobject_cast<WebEngineBrowser *>(ours.target()))
        request.openIn(target->page_);
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info) {
    const QString url = info.url().toString();
    switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            emit statusTextChanged(tr("Opening page %1...").arg(url));
            return;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            emit navigationCompleted(url);
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus: {
            // The host asks the user; a modal question must not run inside the
            // engine's own notification.
            const qint32 code = info.errorCode();
            QTimer::singleShot(0, this, [this, url, code] { emit navigationFailed(url, code); });
            break;
        }
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            // Refused by the host or stopped by the user: not a failure.
            break;
    }
    emit progressChanged(-1, 100);
    emit statusTextChanged(tr("Done"));
}

BrowserError WebEngineBrowser::navigate(const QString &address) {
    const QUrl url = QUrl::fromUserInput(address, QString(), QUrl::AssumeLocalFile);
    if (!url.isValid() || url.isEmpty())
        return fail(BrowserError::kInvalidArgument);
    if (!engineShows(url))
        return QDesktopServices::openUrl(url) ? BrowserError{} : fail(BrowserError::kUnspecified);
    page_->load(url);
    return {};
}

BrowserError WebEngineBrowser::goBack() {
    if (!page_->history()->canGoBack())
        return fail(BrowserError::kUnspecified);
    page_->triggerAction(QWebEnginePage::Back);
    return {};
}

BrowserError WebEngineBrowser::goForward() {
    if (!page_->history()->canGoForward())
        return fail(BrowserError::kUnspecified);
    page_->triggerAction(QWebEnginePage::Forward);
    return {};
}

void WebEngineBrowser::goHome() {
    page_->load(home_);
}

void WebEngineBrowser::stop() {
    page_->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowser::refresh() {
    page_->triggerAction(QWebEnginePage::Reload);
}

QString WebEngineBrowser::location() const {
    const QUrl url = page_->url();
    return url.isEmpty() ? QStringLiteral("about:blank") : url.toString();
}

BrowserError WebEngineBrowser::giveFocus() {
    if (!view_->isVisible() || !view_->isEnabled())
        return fail(BrowserError::kInvalidCall);
    view_->setFocus(Qt::OtherFocusReason);
    return {};
}

void WebEngineBrowser::setSilent(bool on) {
    page_->setSilent(on);
}

bool WebEngineBrowser::isSilent() const {
    return page_->isSilent();
}

WebEngineBrowser *WebEngineBrowser::of(QWebEngineDownloadRequest *download) {
    QWebEnginePage *page = download->page();
    return page ? qobject_cast<WebEngineBrowser *>(page->parent()) : nullptr;
}

void WebEngineBrowser::followDownload(QWebEngineDownloadRequest *download) {
    const QString name = download->downloadFileName();
    connect(
        download, &QWebEngineDownloadRequest::receivedBytesChanged, this, [this, download, name] {
            const qint64 total = download->totalBytes();
            const qint64 received = download->receivedBytes();
            if (total > 0) {
                const int percent = int(qMin<qint64>(100, received * 100 / total));
                emit progressChanged(percent, 100);
                emit statusTextChanged(tr("Downloading %1: %2 %").arg(name).arg(percent));
            } else {
                emit statusTextChanged(tr("Downloading %1: %2 KB").arg(name).arg(received / 1024));
            }
        });
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, name] {
        if (!download->isFinished())
            return;
        emit progressChanged(-1, 100);
        switch (download->state()) {
            case QWebEngineDownloadRequest::DownloadCompleted:
                emit statusTextChanged(
                    tr("Download complete: %1")
                        .arg(QDir(download->downloadDirectory()).filePath(name)));
                break;
            case QWebEngineDownloadRequest::DownloadCancelled:
                emit statusTextChanged(tr("Download cancelled: %1").arg(name));
                break;
            default:
                emit statusTextChanged(
                    tr("Download failed: %1 (%2)").arg(name, download->interruptReasonString()));
                break;
        }
    });
}

std::unique_ptr<QWebEngineProfile> persistentProfile(const QString &storageDir,
                                                     const QString &cacheDir) {
    // The engine starts under the program's own name.
    QWebEngineProfile::defaultProfile();
    // A new named profile writes its preferences into its default folder
    // the moment it exists, <data folder>/<application>/QtWebEngine/<name>,
    // before it can be told where to live. Named so that its default folder
    // is storageDir, it leaves nothing elsewhere.
    const QString application = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(
        QFileInfo(QDir::cleanPath(storageDir + QStringLiteral("/../.."))).fileName());
    auto profile = std::make_unique<QWebEngineProfile>(QFileInfo(storageDir).fileName());
    QCoreApplication::setApplicationName(application);
    profile->setPersistentStoragePath(storageDir);
    profile->setCachePath(cacheDir);
    return profile;
}

BrowserFactory webEngineBrowserFactory(QWebEngineProfile *profile, QUrl home) {
    return [profile, home](QWidget *parent) -> Browser * {
        return new WebEngineBrowser(parent, profile, home);
    };
}

}  // namespace quillow
