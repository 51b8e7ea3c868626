#pragma once

#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>
#include <type_traits>

#include "about/about_window.h"
#include "app/program.h"
#include "core/questions.h"
#include "fake_browser.h"
#include "fake_transfer.h"
#include "html_window/html_window.h"
#include "main_window/main_window.h"
#include "search/search_dialog.h"
#include "widgets/status_bar.h"

class QMainWindow;

using namespace Qt::StringLiterals;

namespace quillow::test {

// Messages and questions recorded and answered from a script; unscripted
// (or after endAll()), with the default button or the refusal.
class FakeQuestions : public Questions {
public:
    struct Asked {
        QString kind;  // "tell", "yesno", "dialog" or "signin"
        QString title, text;
        bool yesIsDefault = false;
        bool offerStop = false;
    };
    QList<Asked> asked;
    QList<bool> yesNo;
    bool stopAsking = false;  // the answer to a question that offers the stop
    QList<PageDialogAnswer> dialogAnswers;
    QList<Credentials> signIns;
    std::function<void()> whileAsking;
    int ended = 0;  // endAll() calls

    void tell(QWidget *, const Message &m) override { asked.append({u"tell"_s, m.title, m.text}); }
    YesNoAnswer askYesNo(QWidget *, const Message &question, bool yesIsDefault,
                         bool offerStop) override;
    PageDialogAnswer askPageDialog(QWidget *, const PageDialog &dialog) override;
    std::optional<Credentials> askSignIn(QWidget *, const QString &title,
                                         const QString &text) override;
    void endAll(QWidget *) override { ++ended; }

private:
    void ask(const Asked &question);
};

// A program in a fresh directory whose main windows get a FakeBrowser and a
// FakeTransfer each, kept here in order; adjust may swap in real ones.
class Harness {
public:
    explicit Harness(const QString &programDir = QString());
    ~Harness() { program_.reset(); }

    QString dir() const { return dir_; }
    QString filePath(const QString &name) const { return QDir(dir_).filePath(name); }
    void writeFile(const QString &name, const QByteArray &data) const;
    Program &program() { return *program_; }
    const WindowList &windows() const { return program_->windows(); }

    FakeQuestions questions;
    int beeps = 0;
    QList<QUrl> openedElsewhere;  // handed to another program
    QList<QPointer<FakeBrowser>> browsers;
    QList<QPointer<FakeTransfer>> transfers;

    Program &start(const std::function<void(Context &)> &adjust = {});
    // Starts the program and shows its primary main window.
    MainWindow *startWithPrimary(const std::function<void(Context &)> &adjust = {});
    template <typename W>  // SearchDialog, HtmlWindow or AboutWindow
    W *open() {
        if constexpr (std::is_same_v<W, SearchDialog>)
            program_->openSearch();
        else if constexpr (std::is_same_v<W, HtmlWindow>)
            program_->openHtml();
        else
            program_->openAbout();
        return windows().find<W>();
    }

private:
    QTemporaryDir temp_;
    QString dir_;
    std::unique_ptr<Program> program_;
};

// The primary main window on screen and its fake page.
struct Primary : Harness {
    explicit Primary(const QString &programDir = QString())
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
    return child<QComboBox>(w, u"addressbar"_s);
}
inline StatusBar *statusBar(const MainWindow *w) {
    return child<StatusBar>(w, u"webstatus"_s);
}
// Enter in the address box, as the user types it.
void typeAddress(MainWindow *w, const QString &text);
// A click on the menu bar, then on the item; a top-level item takes one.
void chooseMenuItem(QMainWindow *w, const QString &item, const QString &menu = QString());

QByteArray readFile(const QString &path);
// Which file path names now: a save that replaces the file changes it.
quint64 fileIdentity(const QString &path);

}  // namespace quillow::test
