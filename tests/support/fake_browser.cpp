#include "fake_browser.h"

namespace quillow::test {

FakeBrowser::FakeBrowser(QWidget *parent) : Browser(parent), widget_(new QWidget(parent)) {
    widget_->setObjectName(QStringLiteral("browserwindow"));
    widget_->setFocusPolicy(Qt::StrongFocus);
}

QStringList FakeBrowser::callsNamed(const QString &name) const {
    QStringList out;
    for (const QString &c : calls)
        if (c == name || c.startsWith(name + QLatin1Char(':')))
            out.append(c);
    return out;
}

BrowserError FakeBrowser::record(const QString &name, const QString &argument, bool withArgument) {
    calls.append(withArgument ? name + QLatin1Char(':') + argument : name);
    auto it = failures.constFind(name);
    if (it != failures.constEnd())
        return BrowserError::fail(it.value());
    return BrowserError::ok();
}

BrowserError FakeBrowser::Navigate(const QString &address) {
    BrowserError e = record(QStringLiteral("Navigate"), address, true);
    if (!e.failed() && followNavigate)
        location = address;
    return e;
}

BrowserError FakeBrowser::SetStatusText(const QString &text) {
    BrowserError e = record(QStringLiteral("SetStatusText"), text, true);
    if (!e.failed() && events_)
        events_->StatusTextChange(text);
    return e;
}

BrowserError FakeBrowser::SetFocus() {
    BrowserError e = record(QStringLiteral("SetFocus"));
    if (e.failed())
        return e;
    // Like the real one: a control that cannot take the focus raises 5.
    if (!widget_->isVisible() || !widget_->isEnabled())
        return BrowserError::fail(BrowserError::kInvalidCall);
    widget_->setFocus(Qt::OtherFocusReason);
    return e;
}

}  // namespace quillow::test
