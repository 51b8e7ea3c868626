#pragma once

#include <QHash>
#include <QStringList>
#include <QWidget>

#include "browser/browser.h"

namespace quillow::test {

// A scripted stand-in for the web-browser component: records every call,
// fails the operations it is told to fail, and raises the page's requests
// on demand (its other signals are emitted directly).
class FakeBrowser : public Browser {
    Q_OBJECT
public:
    explicit FakeBrowser(QWidget *parent) : Browser(parent), widget_(new QWidget(parent)) {
        widget_->setFocusPolicy(Qt::StrongFocus);
    }

    // Every operation called, in order: "navigate:about:blank", "goBack", ...
    QStringList calls;
    // What location() reports; navigate() sets it unless it fails.
    QString shown = QStringLiteral("about:blank");
    // Operation name -> what it reports from now on instead of Done.
    QHash<QString, BrowserResult> failures;
    qreal zoom = 1.0;

    QStringList callsNamed(const QString &name) const {
        QStringList out;
        for (const QString &c : calls)
            if (c == name || c.startsWith(name + QLatin1Char(':')))
                out.append(c);
        return out;
    }
    QStringList navigations() const { return callsNamed(QStringLiteral("navigate")); }
    // The page asks to go to url; true when the host lets it.
    bool requestNavigation(const QString &url) {
        NavigationRequest request(url);
        emit navigationRequested(request);
        return request.isAccepted();
    }
    // The page asks for a new window; the component the host hands it.
    Browser *requestNewWindow(bool userInitiated = false) {
        NewWindowRequest request(QString(), userInitiated);
        emit newWindowRequested(request);
        return request.target();
    }

    QWidget *widget() override { return widget_; }
    BrowserResult navigate(const QString &address) override {
        const BrowserResult r =
            record(QStringLiteral("navigate"), address.isNull() ? u""_qs : address);
        if (r == BrowserResult::Done)
            shown = address;
        return r;
    }
    BrowserResult goBack() override { return record(QStringLiteral("goBack")); }
    BrowserResult goForward() override { return record(QStringLiteral("goForward")); }
    void goHome() override { record(QStringLiteral("goHome")); }
    void stop() override { record(QStringLiteral("stop")); }
    void refresh() override { record(QStringLiteral("refresh")); }
    void abandonFailedNavigation() override { record(QStringLiteral("abandonFailedNavigation")); }
    QString location() const override { return shown; }
    // Like the real one: a page that cannot take the focus says so.
    BrowserResult giveFocus() override {
        const BrowserResult r = record(QStringLiteral("giveFocus"));
        if (r == BrowserResult::Done && (!widget_->isVisible() || !widget_->isEnabled()))
            return BrowserResult::CannotTakeFocus;
        if (r == BrowserResult::Done)
            widget_->setFocus(Qt::OtherFocusReason);
        return r;
    }
    void setSilent(bool on) override { silent_ = on; }
    bool isSilent() const override { return silent_; }
    qreal zoomFactor() const override { return zoom; }
    void setZoomFactor(qreal factor) override { zoom = factor; }
    void findText(const QString &, bool) override {}
    void print(QPrinter *) override { record(QStringLiteral("print")); }

private:
    BrowserResult record(const QString &name, const QString &argument = QString()) {
        calls.append(argument.isNull() ? name : name + QLatin1Char(':') + argument);
        return failures.value(name, BrowserResult::Done);
    }

    QWidget *widget_;
    bool silent_ = false;
};

}  // namespace quillow::test
