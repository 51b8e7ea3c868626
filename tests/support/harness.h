#pragma once

#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/context.h"
#include "app/message_boxes.h"
#include "app/window_registry.h"
#include "fake_browser.h"
#include "fake_transfer.h"
#include "main_window/main_window.h"
#include "questions/questions.h"
#include "widgets/status_bar.h"

class QMainWindow;

// Tests spell their texts QStringLiteral("...").
using namespace Qt::StringLiterals;

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
    QList<Answer> answers;             // taken from the front; Ok or Yes when empty
    std::function<void()> whileShown;  // runs while a box is open

    Answer show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                Buttons buttons) override;
};

// The pages' questions, answered from a script: dialogs as in dialogAnswers
// (dismissed when empty), sign-ins with signIns (cancelled when empty),
// Yes/No questions with yesNo (No when empty). whileAsking runs inside a
// question, as the user might act while it is open.
class FakeQuestions : public Questions {
public:
    struct Asked {
        QString kind;  // "dialog", "signin" or "yesno"
        QString title, text;
        bool offerStop = false;
    };
    QList<Asked> asked;
    QList<PageDialogAnswer> dialogAnswers;
    QList<Credentials> signIns;
    QList<bool> yesNo;
    std::function<void()> whileAsking;
    int ended = 0;  // endAll() calls

    PageDialogAnswer askPageDialog(QWidget *window, const PageDialog &dialog) override;
    std::optional<Credentials> askSignIn(QWidget *window, const QString &title,
                                         const QString &text) override;
    bool askYesNo(QWidget *window, const QString &title, const QString &text) override;
    void endAll(QWidget *) override { ++ended; }

private:
    void ask(const Asked &question);
};

// A program set up with fakes in a fresh directory: the main windows it
// makes get a FakeBrowser and a FakeTransfer each, kept here in creation
// order.
class Harness {
public:
    explicit Harness(const QString &programDir = QString());
    ~Harness();

    QString dir() const { return dir_; }
    QString filePath(const QString &name) const;
    // Writes a file into dir().
    void writeFile(const QString &name, const QByteArray &data) const;
    WindowRegistry &windows() { return *windows_; }

    FakeMessageBoxes messages;
    FakeQuestions questions;
    int beeps = 0;
    QList<QUrl> openedElsewhere;  // handed to another program
    QList<QPointer<FakeBrowser>> browsers;
    QList<QPointer<FakeTransfer>> transfers;

    // Builds the registry; adjust may swap in real components.
    WindowRegistry &start(const std::function<void(Context &)> &adjust = {});
    // Starts the program and shows its primary main window.
    MainWindow *startWithPrimary(const std::function<void(Context &)> &adjust = {});

private:
    QTemporaryDir temp_;
    QString dir_;
    std::unique_ptr<WindowRegistry> windows_;
};

// The usual start: the primary main window on screen and its fake page.
struct Program : Harness {
    explicit Program(const QString &programDir = QString())
        : Harness(programDir), primary(startWithPrimary()), page(browsers.value(0)) {}
    QPointer<MainWindow> primary;
    QPointer<FakeBrowser> page;
};

template <typename T = QWidget>
T *child(const QObject *parent, const QString &name) {
    return parent->findChild<T *>(name);
}
inline void click(const QObject *parent, const QString &name) {
    QTest::mouseClick(child(parent, name), Qt::LeftButton);
}
inline QComboBox *addressBox(const MainWindow *w) {
    return child<QComboBox>(w, QStringLiteral("addressbar"));
}
inline StatusBar *statusBar(const MainWindow *w) {
    return child<StatusBar>(w, QStringLiteral("webstatus"));
}
// Enter in the address box, as the user types it.
void typeAddress(MainWindow *w, const QString &text);
// Chooses a menu item with the mouse, the way a user does: a click on the
// menu bar, then on the item. A top-level item (no menu) takes one click.
void chooseMenuItem(QMainWindow *w, const QString &item, const QString &menu = QString());

QByteArray readFile(const QString &path);
// Which file path names now: a save that replaces the file changes it.
quint64 fileIdentity(const QString &path);

}  // namespace quillow::test
