#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "fake_browser.h"
#include "fake_inet.h"
#include "main_window/context.h"
#include "main_window/windows.h"

namespace quillow::test {

// Message boxes that answer from a script and remember what they showed.
class FakeMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };
    QList<Shown> shown;
    QList<int> answers;  // taken from the front; Ok or Yes when empty

    int show(QWidget *parent, const QString &text, const QString &title, Icon icon,
             Buttons buttons) override;
};

// A program set up with fakes in a fresh directory: the windows it makes
// get FakeBrowser and FakeInet components, which the harness keeps track of.
class Harness {
public:
    explicit Harness(const QString &programDir = QString());
    ~Harness();

    QString dir() const { return dir_; }
    QString filePath(const QString &name) const;
    Windows &windows() { return *windows_; }
    FakeMessageBoxes messages;
    int beeps = 0;

    // The fakes in creation order (one per main window).
    QList<QPointer<FakeBrowser>> browsers;
    QList<QPointer<FakeInet>> inets;

    Context context();
    // Builds the Windows object; call after preparing files in dir().
    // adjust may swap in real components.
    Windows &start(const std::function<void(Context &)> &adjust = {});
    // Starts the program and shows its primary main window.
    MainF *startWithPrimary(const std::function<void(Context &)> &adjust = {});

private:
    QTemporaryDir temp_;
    QString dir_;
    std::unique_ptr<Windows> windows_;
};

}  // namespace quillow::test
