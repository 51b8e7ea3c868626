#include "harness.h"

#include <sys/stat.h>

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "favorites/favorites_list.h"

using namespace Qt::StringLiterals;
namespace quillow::test {

MessageBoxes::Answer FakeMessageBoxes::show(QWidget *, const QString &text, const QString &title,
                                            Icon icon, Buttons buttons) {
    shown.append({text, title, icon, buttons});
    if (whileShown)
        std::exchange(whileShown, nullptr)();
    if (!answers.isEmpty())
        return answers.takeFirst();
    return buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
}

void FakeQuestions::ask(const Asked &question) {
    asked.append(question);
    if (whileAsking)
        whileAsking();
}

PageDialogAnswer FakeQuestions::askPageDialog(QWidget *, const PageDialog &dialog) {
    ask({u"dialog"_s, dialog.title, dialog.message, dialog.offerStop});
    return ended || dialogAnswers.isEmpty() ? PageDialogAnswer{} : dialogAnswers.takeFirst();
}

std::optional<Credentials> FakeQuestions::askSignIn(QWidget *, const QString &title,
                                                    const QString &text) {
    ask({u"signin"_s, title, text});
    if (ended || signIns.isEmpty())
        return std::nullopt;
    return signIns.takeFirst();
}

bool FakeQuestions::askYesNo(QWidget *, const QString &title, const QString &text) {
    ask({u"yesno"_s, title, text});
    return !ended && !yesNo.isEmpty() && yesNo.takeFirst();
}

Harness::Harness(const QString &programDir)
    : dir_(programDir.isEmpty() ? temp_.path() : programDir) {}

Harness::~Harness() {
    windows_.reset();
}

QString Harness::filePath(const QString &name) const {
    return QDir(dir_).filePath(name);
}

void Harness::writeFile(const QString &name, const QByteArray &data) const {
    QFile f(filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
}

WindowRegistry &Harness::start(const std::function<void(Context &)> &adjust) {
    Context c;
    c.favoritesDir = dir_;
    c.scratchDir = dir_;
    c.messages = &messages;
    c.questions = &questions;
    c.beep = [this] { ++beeps; };
    c.openElsewhere = [this](const QUrl &url) {
        openedElsewhere.append(url);
        return true;
    };
    c.connectionTestHost = u"127.0.0.1"_s;
    c.browserFactory = [this](QWidget *parent) -> Browser * {
        browsers.append(new FakeBrowser(parent));
        return browsers.last();
    };
    c.transferFactory = [this](QObject *parent) -> InternetTransfer * {
        transfers.append(new FakeTransfer(parent));
        return transfers.last();
    };
    if (adjust)
        adjust(c);
    windows_ = std::make_unique<WindowRegistry>(c);
    // The favorites come in on a thread of their own; tests start with them.
    windows_->favorites()->waitForLoad();
    return *windows_;
}

MainWindow *Harness::startWithPrimary(const std::function<void(Context &)> &adjust) {
    start(adjust);
    MainWindow *primary = windows_->createPrimary();
    primary->show();
    return primary;
}

void typeAddress(MainWindow *w, const QString &text) {
    addressBox(w)->setEditText(text);
    QTest::keyClick(addressBox(w), Qt::Key_Return);
}

void chooseMenuItem(QMainWindow *w, const QString &item, const QString &menu) {
    QMenuBar *bar = w->menuBar();
    auto *action = w->findChild<QAction *>(item);
    QVERIFY(action);
    if (menu.isEmpty()) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(action).center());
        return;
    }
    auto *popup = w->findChild<QMenu *>(menu);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(popup->menuAction()).center());
    QTRY_VERIFY(popup->isVisible());
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(action).center());
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace quillow::test

namespace quillow::test {

quint64 fileIdentity(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

}  // namespace quillow::test
