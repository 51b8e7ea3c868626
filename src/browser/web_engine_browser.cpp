#include "browser/web_engine_browser.h"

#include "browser/content_blocker.h"
#include "browser/content_blocking.h"
#include "browser/page_blocking.h"
#include "browser/scriptlet_injection.h"

#include <QAuthenticator>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QPrinter>
#include <QSet>
#include <QSslCertificate>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineCertificateError>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFindTextResult>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <utility>

#include "browser/web_page.h"
#include "text/shortened.h"

namespace quillow {

bool showsScheme(const QString &scheme) {
    static const QStringList schemes = {QStringLiteral("http"),        QStringLiteral("https"),
                                        QStringLiteral("file"),        QStringLiteral("about"),
                                        QStringLiteral("data"),        QStringLiteral("qrc"),
                                        QStringLiteral("view-source"), QStringLiteral("blob")};
    return schemes.contains(scheme.toLower());
}

namespace {

// The view, whose menu is the component's own.
class WebView : public QWebEngineView {
public:
    WebView(QWidget *parent, std::function<void(const QPoint &)> showMenu)
        : QWebEngineView(parent), showMenu_(std::move(showMenu)) {}

protected:
    void contextMenuEvent(QContextMenuEvent *event) override { showMenu_(event->globalPos()); }

private:
    std::function<void(const QPoint &)> showMenu_;
};

CertificateProblem problemOf(QWebEngineCertificateError::Type type) {
    switch (type) {
        case QWebEngineCertificateError::CertificateCommonNameInvalid:
        case QWebEngineCertificateError::CertificateNonUniqueName:
            return CertificateProblem::NameMismatch;
        case QWebEngineCertificateError::CertificateDateInvalid:
            return CertificateProblem::DateInvalid;
        case QWebEngineCertificateError::CertificateAuthorityInvalid:
        case QWebEngineCertificateError::CertificateSymantecLegacy:
            return CertificateProblem::UntrustedAuthority;
        case QWebEngineCertificateError::CertificateRevoked:
            return CertificateProblem::Revoked;
        case QWebEngineCertificateError::CertificateWeakSignatureAlgorithm:
        case QWebEngineCertificateError::CertificateWeakKey:
        case QWebEngineCertificateError::SslObsoleteVersion:
            return CertificateProblem::WeakSecurity;
        default:
            return CertificateProblem::Invalid;
    }
}

PermissionRequest::Feature featureOf(QWebEnginePage::Feature feature) {
    switch (feature) {
        case QWebEnginePage::Geolocation:
            return PermissionRequest::Feature::Location;
        case QWebEnginePage::Notifications:
            return PermissionRequest::Feature::Notifications;
        case QWebEnginePage::MediaVideoCapture:
            return PermissionRequest::Feature::Camera;
        case QWebEnginePage::MediaAudioCapture:
            return PermissionRequest::Feature::Microphone;
        case QWebEnginePage::MediaAudioVideoCapture:
            return PermissionRequest::Feature::CameraAndMicrophone;
        case QWebEnginePage::DesktopVideoCapture:
            return PermissionRequest::Feature::ScreenCapture;
        case QWebEnginePage::DesktopAudioVideoCapture:
            return PermissionRequest::Feature::ScreenAndAudioCapture;
        case QWebEnginePage::MouseLock:
            return PermissionRequest::Feature::MouseLock;
    }
    return PermissionRequest::Feature::Location;
}

}  // namespace

WebEngineBrowser::WebEngineBrowser(QWidget *parent, QWebEngineProfile *profile, QUrl home,
                                   ContentBlocker *blocker)
    : Browser(nullptr),
      view_(new WebView(parent, [this](const QPoint &at) { showContextMenu(at); })),
      home_(std::move(home)),
      blocker_(blocker) {
    setParent(view_);
    page_ = new WebPage(profile, this);
    view_->setPage(page_);
    if (blocker_) {
        auto *requests = new PageRequestInterceptor(blocker_, page_);
        requests_ = requests;
        page_->setUrlRequestInterceptor(requests);
        addBlockingScript(page_, requests->token(), blocker_);
        if (const QPointer<ScriptletInjection> scriptlets = ScriptletInjection::of(profile))
            connect(page_, &WebPage::navigationAccepted, this,
                    [this, scriptlets](const QUrl &url, bool isMainFrame) {
                        if (!scriptlets)
                            return;
                        scriptlets->prepare(url, isMainFrame ? url : page_->url());
                        const ContentBlocker::Scriptlets *ran = scriptlets->at(url.host());
                        if (!ran)
                            return;
                        if (isMainFrame)
                            requests_->scriptletsFollow(ran->applied, ran->appliedRules, url);
                        else
                            for (qsizetype i = 0; i < ran->applied.size(); ++i)
                                requests_->scriptletApplied(ran->applied.at(i),
                                                            ran->appliedRules[std::size_t(i)], url);
                    });
        connect(page_, &WebPage::noticeLinkClicked, this, &WebEngineBrowser::onNoticeLink);
        connect(requests, &PageRequestInterceptor::blockedCountChanged, this,
                &Browser::blockedRequestsChanged);
    }

    connect(page_, &WebPage::navigationRequested, this, &Browser::navigationRequested);
    connect(page_, &WebPage::externalAddressRequested, this, &Browser::externalAddressRequested);
    connect(page_, &WebPage::dialogRequested, this, [this](PageDialogRequest &request) {
        completeNavigation();
        emit pageDialogRequested(request);
    });
    // The engine wants its answer before these return.
    connect(page_, &QWebEnginePage::authenticationRequired, this,
            [this](const QUrl &url, QAuthenticator *authenticator) {
                askForSignIn(url, authenticator, QString());
            });
    connect(page_, &QWebEnginePage::proxyAuthenticationRequired, this,
            &WebEngineBrowser::askForSignIn);
    connect(page_, &QWebEnginePage::certificateError, this, &WebEngineBrowser::onCertificateError);
    connect(page_, &QWebEnginePage::featurePermissionRequested, this,
            &WebEngineBrowser::onPermissionRequested);
    connect(page_, &QWebEnginePage::titleChanged, this, &Browser::titleChanged);
    // The engine's own pages (its error page) have addresses of its own.
    connect(page_, &QWebEnginePage::linkHovered, this, [this](const QString &url) {
        if (!QUrl(url).scheme().startsWith(QLatin1String("chrome")))
            emit statusTextChanged(url);
    });
    connect(page_, &QWebEnginePage::loadProgress, this,
            [this](int progress) { emit progressChanged(progress, 100); });
    connect(page_, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    // The address changes when the new page arrives, before its scripts
    // run; the engine's error page arrives so too, and only the end of its
    // load tells which it was. A move within the page is complete at once.
    connect(page_, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
        committed_ = true;
        if (noticeLoading_)
            return;
        arrived_ = url.toString();
        if (!page_->isLoading())
            completeNavigation();
    });
    connect(page_, &QWebEnginePage::newWindowRequested, this, &WebEngineBrowser::onNewWindow);
    connect(view_, &QWebEngineView::printRequested, this, &Browser::printRequested);
    connect(view_, &QWebEngineView::printFinished, this, &Browser::printFinished);
    connect(page_, &QWebEnginePage::pdfPrintingFinished, this,
            [this](const QString &, bool ok) { emit printFinished(ok); });
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

void WebEngineBrowser::completeNavigation() {
    if (!arrived_.isEmpty())
        emit navigationCompleted(std::exchange(arrived_, QString()));
}

void WebEngineBrowser::onNewWindow(QWebEngineNewWindowRequest &request) {
    completeNavigation();
    NewWindowRequest ours(request.requestedUrl().toString(), request.isUserInitiated());
    emit newWindowRequested(ours);
    if (auto *target = qobject_cast<WebEngineBrowser *>(ours.target()))
        request.openIn(target->page_);
}

// The engine's error for a request its interceptor refused.
constexpr qint32 kBlockedByClient = -20;

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info) {
    const QString url = info.url().toString();
    const bool notice = noticeLoading_;
    QString outcome;  // what the status tells at the end, if not the usual
    switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            // A notice's own links start loads the page refuses.
            if (!notice && info.url() != blockedPage_ &&
                info.url().scheme() != QLatin1String("quillow"))
                blockedPage_.clear();
            completeNavigation();
            committed_ = false;
            signInCancelled_ = false;
            elsewhere_ = showsScheme(info.url().scheme()) ? QUrl() : info.url();
            emit loadingChanged(true);
            if (!notice && elsewhere_.isEmpty())
                emit statusTextChanged(tr("Opening page %1...").arg(url));
            return;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            // The notice of ours is no page the user went to; a reload keeps
            // its address, so it is complete only now.
            completeNavigation();
            if (!notice && !committed_)
                emit navigationCompleted(url);
            // The notice of a refused page still says why it shows.
            if (notice && !blockedPage_.isEmpty())
                outcome = tr("Blocked by the filter lists: %1").arg(blockedPage_.toString());
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus: {
            // The engine's page about the failure is no page of the site.
            if (info.isErrorPage())
                arrived_.clear();
            completeNavigation();
            const qint32 code = info.errorCode();
            failureFromServer_ = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
            if (info.errorDomain() == QWebEngineLoadingInfo::CertificateErrorDomain) {
                // The host has said what is wrong; its notice replaces the
                // engine's page, which blames the network.
                const QUrl failed = info.url();
                QTimer::singleShot(0, this, [this, failed] { showNotice(failed); });
                break;
            }
            if (signInCancelled_ &&
                info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain &&
                (code == 401 || code == 407))
                break;  // the server's refusal page, as the user chose
            // A page the filter lists refuse whole: refused as the user's
            // blocker chose, no failure to ask about.
            if (blocker_ && code == kBlockedByClient &&
                info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain) {
                outcome = tr("Blocked by the filter lists: %1").arg(url);
                const QUrl blocked = info.url();
                QTimer::singleShot(0, this, [this, blocked] { showBlockedPage(blocked); });
                break;
            }
            // The host asks the user; a modal question must not run inside the
            // engine's own notification.
            QTimer::singleShot(0, this, [this, url, code] { emit navigationFailed(url, code); });
            break;
        }
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            // Refused by the host or stopped by the user: not a failure.
            completeNavigation();
            break;
    }
    noticeLoading_ = false;
    signInCancelled_ = false;
    emit loadingChanged(false);
    emit progressChanged(-1, 100);
    // Another program's address no click of the user's asked for: the
    // engine refused it, and the user hears of it here only.
    const bool refused = !elsewhere_.isEmpty() && !page_->userAskedElsewhere(elsewhere_);
    if (refused)
        outcome =
            tr("Not opened, no click asked for it: %1").arg(shortened(elsewhere_.toString(), 200));
    emit statusTextChanged(outcome.isEmpty() ? tr("Done") : outcome);
    elsewhere_.clear();
}

void WebEngineBrowser::askForSignIn(const QUrl &url, QAuthenticator *authenticator,
                                    const QString &proxyHost) {
    AuthenticationRequest request(url.toString(), authenticator->realm(), proxyHost);
    const QPointer<WebEngineBrowser> self(this);
    emit authenticationRequired(request);
    if (request.isAnswered()) {
        authenticator->setUser(request.user());
        authenticator->setPassword(request.password());
        return;
    }
    // Only a null authenticator cancels: the one handed in would send an
    // empty name, be refused and be asked for again until the engine gives
    // up.
    *authenticator = QAuthenticator();
    if (self)
        signInCancelled_ = true;
}

void WebEngineBrowser::onCertificateError(const QWebEngineCertificateError &error) {
    // The host may ask the user, which must not happen inside the engine's
    // own call; the engine waits for a deferred answer.
    QWebEngineCertificateError deferred = error;
    deferred.defer();
    QTimer::singleShot(0, this, [this, deferred] { answerCertificateError(deferred); });
}

void WebEngineBrowser::answerCertificateError(QWebEngineCertificateError error) {
    const QUrl url = error.url();
    const QList<QSslCertificate> chain = error.certificateChain();
    CertificateErrorRequest request(
        url.toString(), url.host(), problemOf(error.type()), error.isOverridable(),
        url == page_->mainFrameTarget(),
        chain.isEmpty() ? QByteArray() : chain.first().digest(QCryptographicHash::Sha256));
    const QPointer<WebEngineBrowser> self(this);
    emit certificateErrorOccurred(request);
    if (!self)
        return;
    if (request.proceeds()) {
        error.acceptCertificate();
        return;
    }
    noticeTitle_ = request.noticeTitle();
    noticeText_ = request.noticeText();
    error.rejectCertificate();
}

void WebEngineBrowser::showNotice(const QUrl &url) {
    if (noticeText_.isEmpty())
        return;
    const QString html =
        QStringLiteral(
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
            "<body style=\"font-family: sans-serif; margin: 2em\"><h2>%1</h2><p>%2</p>"
            "</body></html>")
            .arg(noticeTitle_.toHtmlEscaped(), noticeText_.toHtmlEscaped());
    noticeText_.clear();
    noticeLoading_ = true;
    // Under the site's own address, so that the address box still names it
    // and Refresh tries the site again.
    page_->setHtml(html, url);
}

// A page the lists refuse whole gets a notice of Quillow's own instead of
// the engine's: which address, which rule of which list, and the ways on.
void WebEngineBrowser::showBlockedPage(const QUrl &url) {
    if (!requests_)
        return;
    blockedPage_ = url;
    const QPointer<WebEngineBrowser> self(this);
    blocker_->describe(requests_->pageRule(), [self, url](const QString &rule) {
        if (!self || self->blockedPage_ != url)
            return;
        const QString html =
            QStringLiteral(
                "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                "<body style=\"font-family: sans-serif; margin: 2em\"><h2>%1</h2><p>%2</p>"
                "<p>%3</p><p><a href=\"quillow:back\">%4</a> &nbsp; <a href=\"quillow:go\">%5</a>"
                "</p><p>%6</p></body></html>")
                .arg(tr("Blocked by the filter lists").toHtmlEscaped(),
                     tr("Quillow did not open %1: the filter lists name it as a page not to "
                        "open.")
                         .arg(QStringLiteral("<b>%1</b>").arg(url.toString().toHtmlEscaped())),
                     rule.isEmpty()
                         ? QString()
                         : tr("The rule: %1")
                               .arg(QStringLiteral("<code>%1</code>").arg(rule.toHtmlEscaped())),
                     tr("Go back").toHtmlEscaped(), tr("Go there this time").toHtmlEscaped(),
                     tr("To let this site through from now on, uncheck \"Block ads on this "
                        "site\" in the page's menu.")
                         .toHtmlEscaped());
        self->noticeLoading_ = true;
        self->requests_->noticeFollows();
        // Under the page's own address, so that the address box still names
        // it and the page's menu speaks of its site.
        self->page_->setHtml(html, url);
    });
}

void WebEngineBrowser::onNoticeLink(const QString &what) {
    // Only while the notice of the page the lists refused is on show.
    if (blockedPage_.isEmpty() || page_->url() != blockedPage_)
        return;
    if (what == QLatin1String("go")) {
        requests_->letPassOnce(blockedPage_);
        page_->load(blockedPage_);
    } else if (what == QLatin1String("back")) {
        if (page_->history()->canGoBack())
            page_->triggerAction(QWebEnginePage::Back);
        else
            page_->load(QUrl(QStringLiteral("about:blank")));
    }
}

void WebEngineBrowser::onPermissionRequested(const QUrl &origin, QWebEnginePage::Feature feature) {
    // Answered later, as the engine allows, so the host may ask the user.
    QTimer::singleShot(0, this, [this, origin, feature] {
        PermissionRequest request(origin.toString(), featureOf(feature));
        const QPointer<WebEngineBrowser> self(this);
        emit permissionRequested(request);
        if (self)
            page_->setFeaturePermission(origin, feature,
                                        request.isGranted()
                                            ? QWebEnginePage::PermissionGrantedByUser
                                            : QWebEnginePage::PermissionDeniedByUser);
    });
}

BrowserResult WebEngineBrowser::navigate(const QString &address) {
    const QUrl url = QUrl::fromUserInput(address, QString(), QUrl::AssumeLocalFile);
    if (!url.isValid() || url.isEmpty() || !showsScheme(url.scheme()))
        return BrowserResult::NotAnAddress;
    load(url);
    return BrowserResult::Done;
}

void WebEngineBrowser::load(const QUrl &url) {
    // A session's first pages wait a moment for the filter lists, so they
    // are filtered too; the window goes on meanwhile.
    pendingLoad_ = url;
    const auto go = [this] {
        if (!pendingLoad_.isEmpty())
            page_->load(std::exchange(pendingLoad_, QUrl()));
    };
    if (blocker_ &&
        (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
        blocker_->whenReady(this, go);
    else
        go();
}

BrowserResult WebEngineBrowser::goBack() {
    if (!page_->history()->canGoBack())
        return BrowserResult::NoPageThere;
    page_->triggerAction(QWebEnginePage::Back);
    return BrowserResult::Done;
}

BrowserResult WebEngineBrowser::goForward() {
    if (!page_->history()->canGoForward())
        return BrowserResult::NoPageThere;
    page_->triggerAction(QWebEnginePage::Forward);
    return BrowserResult::Done;
}

void WebEngineBrowser::goHome() {
    load(home_);
}

void WebEngineBrowser::stop() {
    pendingLoad_.clear();
    page_->triggerAction(QWebEnginePage::Stop);
}

void WebEngineBrowser::refresh() {
    page_->triggerAction(QWebEnginePage::Reload);
}

void WebEngineBrowser::abandonFailedNavigation() {
    page_->triggerAction(QWebEnginePage::Stop);
    if (failureFromServer_)
        return;
    if (page_->history()->canGoBack())
        page_->triggerAction(QWebEnginePage::Back);
    else
        page_->load(QUrl(QStringLiteral("about:blank")));
}

QString WebEngineBrowser::location() const {
    const QUrl url = page_->url();
    return url.isEmpty() ? QStringLiteral("about:blank") : url.toString();
}

BrowserResult WebEngineBrowser::giveFocus() {
    if (!view_->isVisible() || !view_->isEnabled())
        return BrowserResult::CannotTakeFocus;
    view_->setFocus(Qt::OtherFocusReason);
    return BrowserResult::Done;
}

void WebEngineBrowser::setSilent(bool on) {
    page_->setSilent(on);
}

bool WebEngineBrowser::isSilent() const {
    return page_->isSilent();
}

qreal WebEngineBrowser::zoomFactor() const {
    return view_->zoomFactor();
}

void WebEngineBrowser::setZoomFactor(qreal factor) {
    view_->setZoomFactor(factor);
}

void WebEngineBrowser::findText(const QString &text, bool backward) {
    // A search started before the last one has ended is answered as if it
    // found nothing: only the answer to the latest is the page's.
    const quint64 search = ++searches_;
    const QPointer<WebEngineBrowser> self(this);
    page_->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
                    [self, search](const QWebEngineFindTextResult &result) {
                        if (self && search == self->searches_)
                            emit self->findFinished(result.activeMatch(), result.numberOfMatches());
                    });
}

void WebEngineBrowser::print(QPrinter *printer) {
    // The engine draws the sheets for a printer as pictures; a PDF file it
    // writes itself keeps the page's text, to search and copy.
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty())
        page_->printToPdf(printer->outputFileName(), printer->pageLayout(), printer->pageRanges());
    else
        view_->print(printer);
}

void WebEngineBrowser::showContextMenu(const QPoint &globalPosition) {
    using Action = QWebEnginePage::WebAction;
    QMenu *menu = view_->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QUrl link = view_->lastContextMenuRequest()->linkUrl();
    // The engine's actions this menu keeps, named as the desktop's menus
    // name them.
    static const std::pair<Action, const char *> keep[] = {
        {QWebEnginePage::Back, QT_TR_NOOP("Back")},
        {QWebEnginePage::Forward, QT_TR_NOOP("Forward")},
        {QWebEnginePage::Reload, QT_TR_NOOP("Reload")},
        {QWebEnginePage::Undo, QT_TR_NOOP("Undo")},
        {QWebEnginePage::Redo, QT_TR_NOOP("Redo")},
        {QWebEnginePage::Cut, QT_TR_NOOP("Cut")},
        {QWebEnginePage::Copy, QT_TR_NOOP("Copy")},
        {QWebEnginePage::Paste, QT_TR_NOOP("Paste")},
        {QWebEnginePage::SelectAll, QT_TR_NOOP("Select All")},
        {QWebEnginePage::CopyLinkToClipboard, QT_TR_NOOP("Copy Link Address")},
        {QWebEnginePage::DownloadLinkToDisk, QT_TR_NOOP("Save Link")},
        {QWebEnginePage::CopyImageToClipboard, QT_TR_NOOP("Copy Image")},
        {QWebEnginePage::CopyImageUrlToClipboard, QT_TR_NOOP("Copy Image Address")},
        {QWebEnginePage::DownloadImageToDisk, QT_TR_NOOP("Save Image")},
        {QWebEnginePage::SavePage, QT_TR_NOOP("Save Page")},
    };
    QSet<QAction *> kept;
    for (const auto &[a, text] : keep) {
        QAction *action = page_->action(a);
        action->setText(tr(text));
        kept.insert(action);
    }
    // The engine's own would open a page's window, which the blocker may
    // refuse and count: these are the user's commands.
    const auto ours = [this, menu](QAction *engine, const QString &text,
                                   const std::function<void()> &act) {
        auto *action = new QAction(text, menu);
        connect(action, &QAction::triggered, this, act);
        menu->insertAction(engine, action);
        menu->removeAction(engine);
    };
    for (QAction *a : menu->actions()) {
        if (a == page_->action(QWebEnginePage::OpenLinkInNewWindow)) {
            // The link's entries apart from the page's.
            menu->insertSeparator(a);
            ours(a, tr("Open Link in New Window"),
                 [this, link] { emit newWindowWanted(link.toString()); });
        } else if (a == page_->action(QWebEnginePage::ViewSource))
            ours(a, tr("View Page Source"), [this] { emit sourceWanted(location()); });
        else if (!a->isSeparator() && !kept.contains(a))
            menu->removeAction(a);
    }
    // No separator at either end, nor two in a row.
    QAction *previous = nullptr;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator() && (!previous || previous->isSeparator()))
            menu->removeAction(a);
        else
            previous = a;
    }
    if (previous && previous->isSeparator())
        menu->removeAction(previous);
    // The user's say over content blocking, for the site on show.
    const QUrl site = page_->url();
    const ContentBlocker::State blocking =
        blocker_ ? blocker_->stateFor(site) : ContentBlocker::State::NoLists;
    if ((blocking == ContentBlocker::State::On || blocking == ContentBlocker::State::OffForSite) &&
        (site.scheme() == QLatin1String("http") || site.scheme() == QLatin1String("https")) &&
        !site.host().isEmpty()) {
        if (!menu->isEmpty())
            menu->addSeparator();
        // What blocking did to the page on show, then the switch for its site.
        auto *record = menu->addAction(tr("Blocked Requests..."));
        connect(record, &QAction::triggered, this, &WebEngineBrowser::showBlockingRecord);
        QAction *block = menu->addAction(tr("Block ads on this site"));
        block->setCheckable(true);
        block->setChecked(blocking == ContentBlocker::State::On);
        connect(block, &QAction::toggled, this, [this, host = site.host()](bool on) {
            blocker_->setSiteAllowed(host, !on);
            // The notice of a refused page is no page to reload: the page is.
            if (!blockedPage_.isEmpty() && page_->url() == blockedPage_)
                page_->load(blockedPage_);
            else
                page_->triggerAction(QWebEnginePage::Reload);
        });
        // What went wrong with the lists is told here, where blocking is.
        const QStringList problems = blocker_->problems();
        if (!problems.isEmpty())
            menu->addAction(
                    shortened(tr("Filter lists: %1").arg(problems.join(QStringLiteral("; "))), 160))
                ->setEnabled(false);
    }
    if (menu->isEmpty())
        return menu->deleteLater();
    menu->popup(globalPosition);
}

void WebEngineBrowser::showBlockingRecord() {
    BlockingRecord record;
    record.page = location();
    std::vector<filter::RuleRef> rules;
    for (const PageRequestInterceptor::Entry &e : requests_->record()) {
        BlockingEntry entry;
        entry.action = e.action;
        entry.kind = e.kind;
        entry.address = shortened(e.url.toString(), PageRequestInterceptor::kMostAddress, e.urlCut);
        switch (e.action) {
            case BlockingEntry::Action::Redirected:
                entry.detail =
                    QUrlQuery(e.target).queryItemValue(QStringLiteral("n"), QUrl::FullyDecoded);
                break;
            case BlockingEntry::Action::Cleaned:
                entry.detail = shortened(e.target.toString(), PageRequestInterceptor::kMostAddress,
                                         e.targetCut);
                break;
            case BlockingEntry::Action::ScriptletApplied:
                entry.detail = e.scriptlet;
                break;
            case BlockingEntry::Action::Refused:
                break;
        }
        record.entries.append(entry);
        rules.push_back(e.rule);
    }
    const QPointer<WebEngineBrowser> self(this);
    blocker_->describeRules(
        std::move(rules), [self, record](const QList<ContentBlocker::RuleText> &texts) mutable {
            if (!self)
                return;
            for (qsizetype i = 0; i < record.entries.size() && i < texts.size(); ++i) {
                record.entries[i].rule = texts.at(i).text;
                record.entries[i].list = texts.at(i).list;
            }
            emit self->blockingRecordWanted(record);
        });
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

BrowserFactory webEngineBrowserFactory(QWebEngineProfile *profile, QUrl home,
                                       ContentBlocker *blocker) {
    return [profile, home, blocker](QWidget *parent) -> Browser * {
        return new WebEngineBrowser(parent, profile, home, blocker);
    };
}

}  // namespace quillow
