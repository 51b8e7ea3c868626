#include "harness.h"

#include <QDir>

#include "main_window/mainf.h"

namespace quillow::test {

int FakeMessageBoxes::show(QWidget *, const QString &text, const QString &title, Icon icon,
                           Buttons buttons) {
    shown.append({text, title, icon, buttons});
    if (!answers.isEmpty())
        return answers.takeFirst();
    return buttons == Buttons::YesNo ? Yes : Ok;
}

Harness::Harness(const QString &programDir)
    : dir_(programDir.isEmpty() ? temp_.path() : programDir) {}

Harness::~Harness() {
    windows_.reset();
}

QString Harness::filePath(const QString &name) const {
    return QDir(dir_).filePath(name);
}

Context Harness::context() {
    Context c;
    c.programDir = dir_;
    c.messages = &messages;
    c.beep = [this] { ++beeps; };
    c.connectionTestHost = QStringLiteral("127.0.0.1");
    c.browserFactory = [this](QWidget *parent) -> Browser * {
        auto *b = new FakeBrowser(parent);
        browsers.append(b);
        return b;
    };
    c.inetFactory = [this](QObject *parent) -> Inet * {
        auto *i = new FakeInet(parent);
        inets.append(i);
        return i;
    };
    return c;
}

Windows &Harness::start(const std::function<void(Context &)> &adjust) {
    Context c = context();
    if (adjust)
        adjust(c);
    windows_ = std::make_unique<Windows>(c);
    return *windows_;
}

MainF *Harness::startWithPrimary(const std::function<void(Context &)> &adjust) {
    start(adjust);
    MainF *primary = windows_->createPrimary();
    primary->show();
    return primary;
}

}  // namespace quillow::test
