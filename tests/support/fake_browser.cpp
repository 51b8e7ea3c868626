#include "fake_browser.h"

#include <QWidget>

using namespace Qt::StringLiterals;
namespace quillow::test {

FakeBrowser::FakeBrowser(QWidget *parent) : Browser(parent), widget_(new QWidget(parent)) {
    widget_->setFocusPolicy(Qt::StrongFocus);
}

QStringList FakeBrowser::callsNamed(const QString &name) const {
    QStringList out;
    for (const QString &c : calls)
        if (c == name || c.startsWith(name + QLatin1Char(':')))
            out.append(c);
    return out;
}

bool FakeBrowser::requestNavigation(const QString &url) {
    NavigationRequest request(url);
    emit navigationRequested(request);
    return request.isAccepted();
}

Browser *FakeBrowser::requestNewWindow(bool userInitiated) {
    NewWindowRequest request(QString(), userInitiated);
    emit newWindowRequested(request);
    return request.target();
}

BrowserError FakeBrowser::record(const QString &name, const QString &argument) {
    calls.append(argument.isNull() ? name : name + QLatin1Char(':') + argument);
    return BrowserError{failures.value(name, BrowserError::kNone)};
}

BrowserError FakeBrowser::navigate(const QString &address) {
    const BrowserError e =
        record(u"navigate"_s, address.isNull() ? QString(QLatin1String("")) : address);
    if (!e.failed())
        shown = address;
    return e;
}

BrowserError FakeBrowser::giveFocus() {
    const BrowserError e = record(u"giveFocus"_s);
    // Like the real one: a control that cannot take the focus raises 5.
    if (!e.failed() && (!widget_->isVisible() || !widget_->isEnabled()))
        return BrowserError{BrowserError::kInvalidCall};
    if (!e.failed())
        widget_->setFocus(Qt::OtherFocusReason);
    return e;
}

}  // namespace quillow::test
