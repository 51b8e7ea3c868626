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

BrowserResult FakeBrowser::record(const QString &name, const QString &argument) {
    calls.append(argument.isNull() ? name : name + QLatin1Char(':') + argument);
    return failures.value(name, BrowserResult::Done);
}

BrowserResult FakeBrowser::navigate(const QString &address) {
    const BrowserResult r =
        record(u"navigate"_s, address.isNull() ? QString(QLatin1String("")) : address);
    if (r == BrowserResult::Done)
        shown = address;
    return r;
}

BrowserResult FakeBrowser::giveFocus() {
    const BrowserResult r = record(u"giveFocus"_s);
    if (r != BrowserResult::Done)
        return r;
    // Like the real one: a page that cannot take the focus says so.
    if (!widget_->isVisible() || !widget_->isEnabled())
        return BrowserResult::CannotTakeFocus;
    widget_->setFocus(Qt::OtherFocusReason);
    return r;
}

}  // namespace quillow::test
