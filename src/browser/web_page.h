#pragma once

#include <QWebEnginePage>

namespace quillow {

class NavigationRequest;
class PageDialogRequest;

// The engine's page as Quillow runs it: its navigations are put to the host
// first, its new windows always go through newWindowRequested, its own
// dialogs are put to the host as requests, and a silent page shows none.
class WebPage : public QWebEnginePage {
    Q_OBJECT
public:
    WebPage(QWebEngineProfile *profile, QObject *parent);

    void setSilent(bool on) { silent_ = on; }
    bool isSilent() const { return silent_; }
    // Where the page itself last set out to go, redirects included.
    const QUrl &mainFrameTarget() const { return mainFrameTarget_; }
    // Whether the user's click asked for url, an address of another
    // program's; the engine refuses those a script asks for by itself.
    bool userAskedElsewhere(const QUrl &url) const { return askedElsewhere_ == url; }

Q_SIGNALS:
    void navigationRequested(quillow::NavigationRequest &request);
    // A navigation the host let go ahead, before the engine makes its
    // document: what is to run in it must be in place now.
    void navigationAccepted(const QUrl &url, bool isMainFrame);
    void externalAddressRequested(const QString &url);
    void dialogRequested(quillow::PageDialogRequest &request);
    // A link of a notice of Quillow's own was clicked ("quillow:back").
    void noticeLinkClicked(const QString &what);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl &origin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &origin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                          QString *result) override;

private:
    void ask(PageDialogRequest &request);

    bool silent_ = false;
    QUrl mainFrameTarget_;
    QUrl askedElsewhere_;
};

}  // namespace quillow
