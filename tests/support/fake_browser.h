#pragma once

#include <QHash>
#include <QStringList>
#include <QWidget>

#include "browser/browser.h"

namespace quillow::test {

// A scripted stand-in for the web-browser component: records every call,
// fails the operations it is told to fail, and fires events on request.
class FakeBrowser : public Browser {
    Q_OBJECT
public:
    explicit FakeBrowser(QWidget *parent);

    // Every operation called, in order, e.g. "Navigate:about:blank", "GoBack".
    QStringList calls;
    QString location = QStringLiteral("about:blank");
    // Operation name -> error number it fails with from now on.
    QHash<QString, qint32> failures;
    // Set by Navigate unless failing; mirrors what the real one reports.
    bool followNavigate = true;

    QStringList callsNamed(const QString &name) const;
    BrowserEvents *events() const { return events_; }

    void setEvents(BrowserEvents *events) override { events_ = events; }
    QWidget *widget() override { return widget_; }
    BrowserError Navigate(const QString &address) override;
    BrowserError GoBack() override { return record(QStringLiteral("GoBack")); }
    BrowserError GoForward() override { return record(QStringLiteral("GoForward")); }
    BrowserError GoHome() override { return record(QStringLiteral("GoHome")); }
    BrowserError Stop() override { return record(QStringLiteral("Stop")); }
    BrowserError Refresh() override { return record(QStringLiteral("Refresh")); }
    QString LocationURL() const override { return location; }
    BrowserError SetStatusText(const QString &text) override;
    BrowserError AdoptFailedFrame() override { return record(QStringLiteral("AdoptFailedFrame")); }
    BrowserError SetFocus() override;
    void SetRegisterAsBrowser(bool on) override { registerAsBrowser_ = on; }
    bool RegisterAsBrowser() const override { return registerAsBrowser_; }
    void SetSilent(bool on) override { silent_ = on; }
    bool Silent() const override { return silent_; }

private:
    BrowserError record(const QString &name, const QString &argument = QString(),
                        bool withArgument = false);

    BrowserEvents *events_ = nullptr;
    QWidget *widget_;
    bool registerAsBrowser_ = false;
    bool silent_ = false;
};

}  // namespace quillow::test
