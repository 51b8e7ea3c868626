#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "browser/blocking_record.h"

class QPrinter;
class QWidget;

namespace quillow {

// What a component operation did: Done, or why it did nothing.
enum class BrowserResult {
    Done,
    NotAnAddress,     // the text makes no address the component shows
    NoPageThere,      // no earlier or later page to go to
    CannotTakeFocus,  // the page is hidden or disabled
};

// A navigation about to start. It goes ahead unless the host refuses it
// before the signal returns.
class NavigationRequest {
public:
    explicit NavigationRequest(QString url) : url_(std::move(url)) {}
    const QString &url() const { return url_; }
    void refuse() { accepted_ = false; }
    bool isAccepted() const { return accepted_; }

private:
    QString url_;
    bool accepted_ = true;
};

class Browser;

// A page asks for a new window. The host hands it the component that is to
// show it; a request left unanswered when the signal returns is refused.
class NewWindowRequest {
public:
    NewWindowRequest(QString url, bool userInitiated)
        : url_(std::move(url)), userInitiated_(userInitiated) {}
    const QString &url() const { return url_; }
    // A click of the user's, not a script on its own.
    bool isUserInitiated() const { return userInitiated_; }
    void openIn(Browser *target) { target_ = target; }
    Browser *target() const { return target_; }

private:
    QString url_;
    bool userInitiated_;
    Browser *target_ = nullptr;
};

// One of the page's own dialogs: an alert, a confirm or a prompt. Left
// unanswered when the signal returns, an alert is simply dismissed and a
// confirm or prompt cancelled.
class PageDialogRequest {
public:
    enum class Kind { Alert, Confirm, Prompt };
    PageDialogRequest(Kind kind, QString origin, QString message, QString defaultText = {})
        : kind_(kind),
          origin_(std::move(origin)),
          message_(std::move(message)),
          defaultText_(std::move(defaultText)) {}
    Kind kind() const { return kind_; }
    // The scheme, host and port of the frame that shows it.
    const QString &origin() const { return origin_; }
    const QString &message() const { return message_; }
    const QString &defaultText() const { return defaultText_; }
    // OK, with the prompt's text.
    void accept(const QString &text = QString()) {
        accepted_ = true;
        text_ = text;
    }
    bool isAccepted() const { return accepted_; }
    const QString &text() const { return text_; }

private:
    Kind kind_;
    QString origin_, message_, defaultText_, text_;
    bool accepted_ = false;
};

// A site, or a proxy on the way to it, asks for a user name and password.
// Left unanswered when the signal returns, the sign-in is cancelled and the
// server's own refusal page shows.
class AuthenticationRequest {
public:
    AuthenticationRequest(QString url, QString realm, QString proxyHost = {})
        : url_(std::move(url)), realm_(std::move(realm)), proxyHost_(std::move(proxyHost)) {}
    const QString &url() const { return url_; }
    // The server's own name for what is protected; the page's words.
    const QString &realm() const { return realm_; }
    // The proxy that asks; empty when the site itself asks.
    const QString &proxyHost() const { return proxyHost_; }
    void signIn(const QString &user, const QString &password) {
        answered_ = true;
        user_ = user;
        password_ = password;
    }
    bool isAnswered() const { return answered_; }
    const QString &user() const { return user_; }
    const QString &password() const { return password_; }

private:
    QString url_, realm_, proxyHost_, user_, password_;
    bool answered_ = false;
};

// What is wrong with a site's certificate, in the terms a user is told.
enum class CertificateProblem {
    NameMismatch,        // issued for another site
    DateInvalid,         // expired, or not valid yet
    UntrustedAuthority,  // no issuer this computer trusts; self-signed
    Revoked,
    WeakSecurity,  // weak signature, key or protocol
    Invalid,       // anything else
};

// A site's certificate failed the checks. Unless the host goes on to the
// site anyway (where that is allowed), the page shows the notice the host
// gives in place of the site.
class CertificateErrorRequest {
public:
    // certificate identifies the site's certificate (a digest of it).
    CertificateErrorRequest(QString url, QString host, CertificateProblem problem, bool overridable,
                            bool mainFrame = true, QByteArray certificate = {})
        : url_(std::move(url)),
          host_(std::move(host)),
          problem_(problem),
          overridable_(overridable),
          mainFrame_(mainFrame),
          certificate_(std::move(certificate)) {}
    const QString &url() const { return url_; }
    const QString &host() const { return host_; }
    const QByteArray &certificate() const { return certificate_; }
    CertificateProblem problem() const { return problem_; }
    bool isOverridable() const { return overridable_; }
    // The page itself, not a part of it (an image, a frame, a script).
    bool isMainFrame() const { return mainFrame_; }
    // Goes to the site all the same; ignored where not overridable.
    void proceed() { proceeds_ = overridable_; }
    bool proceeds() const { return proceeds_; }
    void setNotice(const QString &title, const QString &text) {
        noticeTitle_ = title;
        noticeText_ = text;
    }
    const QString &noticeTitle() const { return noticeTitle_; }
    const QString &noticeText() const { return noticeText_; }

private:
    QString url_, host_;
    CertificateProblem problem_;
    bool overridable_;
    bool mainFrame_;
    QByteArray certificate_;
    bool proceeds_ = false;
    QString noticeTitle_, noticeText_;
};

// A page asks to use something of the user's. Refused unless the host
// grants it before the signal returns: the page always gets an answer.
class PermissionRequest {
public:
    enum class Feature {
        Location,
        Notifications,
        Camera,
        Microphone,
        CameraAndMicrophone,
        ScreenCapture,
        ScreenAndAudioCapture,
        MouseLock,
    };
    PermissionRequest(QString origin, Feature feature)
        : origin_(std::move(origin)), feature_(feature) {}
    const QString &origin() const { return origin_; }
    Feature feature() const { return feature_; }
    void grant() { granted_ = true; }
    bool isGranted() const { return granted_; }

private:
    QString origin_;
    Feature feature_;
    bool granted_ = false;
};

// The embedded web-browser component as a main window uses it: operations
// that start something and return at once, and signals for what the page
// does. Signals are emitted on the GUI thread; the component acts on a
// request object only after the signal has returned. The component lives
// and dies with its widget.
class Browser : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QWidget *widget() = 0;

    // Starts going to address, as typed; NotAnAddress when it makes no
    // address or one of another program's.
    virtual BrowserResult navigate(const QString &address) = 0;
    virtual BrowserResult goBack() = 0;
    virtual BrowserResult goForward() = 0;
    virtual void goHome() = 0;
    virtual void stop() = 0;
    virtual void refresh() = 0;
    // The host's "no" to a failed navigation: stops it and takes the
    // component's own error page away, going back to the page shown before
    // (the blank page when there is none). A page the server sent stays.
    virtual void abandonFailedNavigation() = 0;
    // The address of the page on show; "about:blank" before any.
    virtual QString location() const = 0;
    virtual BrowserResult giveFocus() = 0;
    // A silent component shows none of the page's own dialogs.
    virtual void setSilent(bool on) = 0;
    virtual bool isSilent() const = 0;
    // The page's magnification; 1 is its own size.
    virtual qreal zoomFactor() const = 0;
    virtual void setZoomFactor(qreal factor) = 0;
    // Looks for text in the page: the match after the one on show, or the
    // one before it; the matches are highlighted, and findFinished tells
    // the count. An empty text ends the search.
    virtual void findText(const QString &text, bool backward) = 0;
    // Prints the page on printer, which must live until printFinished.
    virtual void print(QPrinter *printer) = 0;

Q_SIGNALS:
    void statusTextChanged(const QString &text);
    void progressChanged(qint32 progress, qint32 maximum);
    void titleChanged(const QString &title);
    // The page at url has arrived and is on show, before its scripts run
    // (so before the windows they open).
    void navigationCompleted(const QString &url);
    void navigationRequested(quillow::NavigationRequest &request);
    void newWindowRequested(quillow::NewWindowRequest &request);
    // Going to url failed; statusCode is the HTTP status or the engine's
    // (negative) error code. Never emitted from inside the engine's own
    // notification, so the host may ask the user; not emitted for a failure
    // the user has been told of already (a sign-in cancelled, a certificate
    // refused).
    void navigationFailed(const QString &url, qint32 statusCode);
    // A link the user clicked leads to an address of another program's
    // (see showsScheme); the component did not go there.
    void externalAddressRequested(const QString &url);
    // The page closes its window (a script's window.close()).
    void closeRequested();
    void fullScreenRequested(bool on);
    // A load starts (true) or ends, however it ends.
    void loadingChanged(bool loading);
    // The match on show among all of them (1-based; 0 of 0 when none).
    void findFinished(int activeMatch, int matches);
    // The page asks to be printed (its window.print()).
    void printRequested();
    void printFinished(bool ok);
    // The user's own commands from the page's menu, for the host to carry
    // out: a new main window at url, the page's source in the HTML window.
    void newWindowWanted(const QString &url);
    void sourceWanted(const QString &url);
    // The user asked to see what content blocking did to the page on show.
    void blockingRecordWanted(const quillow::BlockingRecord &record);
    // How many of the page's requests content blocking refused so far; a
    // new page starts again from 0.
    void blockedRequestsChanged(int count);

    // The page's questions for the user. The first two come from inside the
    // engine's own call, which waits for the answer: the host may ask the
    // user there, but must not destroy the component until it has returned.
    void pageDialogRequested(quillow::PageDialogRequest &request);
    void authenticationRequired(quillow::AuthenticationRequest &request);
    // These two are never emitted from inside the engine's own call.
    void certificateErrorOccurred(quillow::CertificateErrorRequest &request);
    void permissionRequested(quillow::PermissionRequest &request);
};

// Whether the component shows addresses of this scheme itself; any other
// (mailto:, ssh:, ...) belongs to another program of the desktop.
bool showsScheme(const QString &scheme);

// Makes the component for a new main window; parent owns its widget.
using BrowserFactory = std::function<Browser *(QWidget *parent)>;

}  // namespace quillow
