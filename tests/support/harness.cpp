#include "harness.h"

#include <sys/stat.h>

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "favorites/favorites_list.h"

using namespace Qt::StringLiterals;
namespace quillow::test {

void FakeQuestions::ask(const Asked &question) {
    asked.append(question);
    if (whileAsking)
        whileAsking();
}

YesNoAnswer FakeQuestions::askYesNo(QWidget *, const Message &question, bool yesIsDefault,
                                    bool offerStop) {
    ask({u"yesno"_s, question.title, question.text, yesIsDefault, offerStop});
    if (ended)
        return {};
    return {yesNo.isEmpty() ? yesIsDefault : yesNo.takeFirst(), offerStop && stopAsking};
}

PageDialogAnswer FakeQuestions::askPageDialog(QWidget *, const PageDialog &dialog) {
    ask({u"dialog"_s, dialog.title, dialog.message, false, dialog.offerStop});
    return ended || dialogAnswers.isEmpty() ? PageDialogAnswer{} : dialogAnswers.takeFirst();
}

std::optional<Credentials> FakeQuestions::askSignIn(QWidget *, const QString &title,
                                                    const QString &text) {
    ask({u"signin"_s, title, text});
    if (ended || signIns.isEmpty())
        return std::nullopt;
    return signIns.takeFirst();
}

Harness::Harness(const QString &programDir)
    : dir_(programDir.isEmpty() ? temp_.path() : programDir) {}

void Harness::writeFile(const QString &name, const QByteArray &data) const {
    QFile f(filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
}

Program &Harness::start(const std::function<void(Context &)> &adjust) {
    Context c;
    c.favoritesDir = dir_;
    c.scratchDir = dir_;
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
    program_ = std::make_unique<Program>(c);
    // The favorites come in on a thread of their own; tests start with them.
    program_->favorites()->waitForLoad();
    return *program_;
}

MainWindow *Harness::startWithPrimary(const std::function<void(Context &)> &adjust) {
    start(adjust);
    MainWindow *primary = program_->createPrimary();
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

quint64 fileIdentity(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

}  // namespace quillow::test
