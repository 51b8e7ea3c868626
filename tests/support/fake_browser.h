#pragma once

#include <QHash>
#include <QStringList>

#include "browser/browser.h"

namespace quillow::test {

// A scripted stand-in for the web-browser component: records every call,
// fails the operations it is told to fail, and raises the page's requests
// on demand (its other signals are emitted directly).
class FakeBrowser : public Browser {
    Q_OBJECT
public:
    explicit FakeBrowser(QWidget *parent);

    // Every operation called, in order: "navigate:about:blank", "goBack", ...
    QStringList calls;
    // What location() reports; navigate() sets it unless it fails.
    QString shown = QStringLiteral("about:blank");
    // Operation name -> what it reports from now on instead of Done.
    QHash<QString, BrowserResult> failures;

    QStringList callsNamed(const QString &name) const;
    QStringList navigations() const { return callsNamed(QStringLiteral("navigate")); }
    // The page asks to go to url; true when the host lets it.
    bool requestNavigation(const QString &url);
    // The page asks for a new window; the component the host hands it.
    Browser *requestNewWindow(bool userInitiated = false);

    QWidget *widget() override { return widget_; }
    BrowserResult navigate(const QString &address) override;
    BrowserResult goBack() override { return record(QStringLiteral("goBack")); }
    BrowserResult goForward() override { return record(QStringLiteral("goForward")); }
    void goHome() override { record(QStringLiteral("goHome")); }
    void stop() override { record(QStringLiteral("stop")); }
    void refresh() override { record(QStringLiteral("refresh")); }
    void abandonFailedNavigation() override { record(QStringLiteral("abandonFailedNavigation")); }
    QString location() const override { return shown; }
    BrowserResult giveFocus() override;
    void setSilent(bool on) override { silent_ = on; }
    bool isSilent() const override { return silent_; }
    qreal zoomFactor() const override { return zoom; }
    void setZoomFactor(qreal factor) override { zoom = factor; }

    qreal zoom = 1.0;

private:
    BrowserResult record(const QString &name, const QString &argument = QString());

    QWidget *widget_;
    bool silent_ = false;
};

}  // namespace quillow::test
