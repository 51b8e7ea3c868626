#pragma once

#include <QWebEnginePage>

namespace quillow {

class NavigationRequest;

// The engine's page as Quillow runs it: its navigations are put to the host
// first, its new windows always go through newWindowRequested, and a
// silent page shows no dialogs of its own.
class WebPage : public QWebEnginePage {
    Q_OBJECT
public:
    WebPage(QWebEngineProfile *profile, QObject *parent);

    void setSilent(bool on) { silent_ = on; }
    bool isSilent() const { return silent_; }

Q_SIGNALS:
    void navigationRequested(quillow::NavigationRequest &request);
    void externalAddressRequested(const QString &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl &origin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &origin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &origin, const QString &msg, const QString &defaultValue,
                          QString *result) override;

private:
    bool silent_ = false;
};

}  // namespace quillow
