#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <functional>

namespace quillow {

// The error number that a failed component call carries; 0 means it worked.
// The component's own failures are negative (COM-style failure codes), the
// small positive numbers are the ones the windows' error traps know.
struct BrowserError {
    qint32 number = 0;

    static constexpr qint32 kNone = 0;
    static constexpr qint32 kInvalidCall = 5;               // e.g. focus to a hidden control
    static constexpr qint32 kUnspecified = -2147467259;     // 0x80004005
    static constexpr qint32 kNotImplemented = -2147467263;  // 0x80004001

    bool failed() const { return number != 0; }
    static BrowserError ok() { return {}; }
    static BrowserError fail(qint32 n) { return BrowserError{n}; }
};

class Browser;

// What the component tells its host. Every call is made on the GUI thread
// and the component acts on the out-arguments only after the call returns.
class BrowserEvents {
public:
    virtual ~BrowserEvents() = default;
    virtual void StatusTextChange(const QString &text) = 0;
    virtual void ProgressChange(qint32 progress, qint32 progressMax) = 0;
    virtual void TitleChange(const QString &text) = 0;
    virtual void NavigateComplete2(const QString &url) = 0;
    // cancel comes in false; set it to refuse the navigation.
    virtual void BeforeNavigate2(const QString &url, bool &cancel) = 0;
    // Refuse with cancel, or leave it false and hand back the component
    // that takes the new window in ppDisp.
    virtual void NewWindow2(Browser *&ppDisp, bool &cancel) = 0;
    virtual void NavigateError(const QString &url, qint32 statusCode, bool &cancel) = 0;
    virtual void OnQuit() = 0;
    virtual void OnFullScreen(bool fullScreen) = 0;
};

// The embedded web-browser component as the main window uses it. The
// component lives as a child of the widget it was created for.
class Browser : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setEvents(BrowserEvents *events) = 0;
    virtual QWidget *widget() = 0;

    virtual BrowserError Navigate(const QString &address) = 0;
    virtual BrowserError GoBack() = 0;
    virtual BrowserError GoForward() = 0;
    virtual BrowserError GoHome() = 0;
    virtual BrowserError Stop() = 0;
    virtual BrowserError Refresh() = 0;
    virtual QString LocationURL() const = 0;
    // Shown as the component's status text: raises StatusTextChange.
    virtual BrowserError SetStatusText(const QString &text) = 0;
    // Adopt the frame that failed to load as the component's document (the
    // host's "go on" answer to NavigateError).
    virtual BrowserError AdoptFailedFrame() = 0;
    virtual BrowserError SetFocus() = 0;

    virtual void SetRegisterAsBrowser(bool on) = 0;
    virtual bool RegisterAsBrowser() const = 0;
    // A silent component shows no dialogs of the page's own.
    virtual void SetSilent(bool on) = 0;
    virtual bool Silent() const = 0;
};

// Makes the component for a new main window; parent is the window's client
// area, which owns the component's widget.
using BrowserFactory = std::function<Browser *(QWidget *parent)>;

}  // namespace quillow
