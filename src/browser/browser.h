#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace quillow {

// The error number a failed component call carries; 0 means it worked.
// The component's own failures are negative (COM-style failure codes); the
// small positive numbers are those the windows' error traps know.
struct BrowserError {
    static constexpr qint32 kNone = 0;
    static constexpr qint32 kInvalidCall = 5;            // e.g. focus to a hidden control
    static constexpr qint32 kUnspecified = -2147467259;  // 0x80004005: e.g. no page to go back to
    static constexpr qint32 kInvalidArgument = -2147024809;  // 0x80070057: no address

    qint32 number = kNone;
    bool failed() const { return number != kNone; }
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

    // Starts going to address, as typed; kInvalidArgument when it makes no
    // address or one of another program's.
    virtual BrowserError navigate(const QString &address) = 0;
    // kUnspecified when there is no page to go to.
    virtual BrowserError goBack() = 0;
    virtual BrowserError goForward() = 0;
    virtual void goHome() = 0;
    virtual void stop() = 0;
    virtual void refresh() = 0;
    // The host's "no" to a failed navigation: stops it and takes the
    // component's own error page away, going back to the page shown before
    // (the blank page when there is none). A page the server sent stays.
    virtual void abandonFailedNavigation() = 0;
    // The address of the page on show; "about:blank" before any.
    virtual QString location() const = 0;
    // kInvalidCall when the widget cannot take the focus (hidden, disabled).
    virtual BrowserError giveFocus() = 0;
    // A silent component shows none of the page's own dialogs.
    virtual void setSilent(bool on) = 0;
    virtual bool isSilent() const = 0;

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
    // notification, so the host may ask the user.
    void navigationFailed(const QString &url, qint32 statusCode);
    // A link the user clicked leads to an address of another program's
    // (see showsScheme); the component did not go there.
    void externalAddressRequested(const QString &url);
    // The page closes its window (a script's window.close()).
    void closeRequested();
    void fullScreenRequested(bool on);
};

// Whether the component shows addresses of this scheme itself; any other
// (mailto:, ssh:, ...) belongs to another program of the desktop.
bool showsScheme(const QString &scheme);

// Makes the component for a new main window; parent owns its widget.
using BrowserFactory = std::function<Browser *(QWidget *parent)>;

}  // namespace quillow
