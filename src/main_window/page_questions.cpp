// The main window's answers to its page's questions: the page's own
// dialogs, sign-in, certificate errors and permissions. A question is asked
// over this window without blocking its close box; closing the window ends
// the question first, and the window goes once the call that asked has
// returned.

#include <QCloseEvent>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include "browser/browser.h"
#include "core/program_rules.h"
#include "core/questions.h"
#include "main_window/main_window.h"
#include "questions/question_texts.h"
#include "text/shortened.h"

namespace quillow {

// Holds the window's controls off while a question is open.
struct MainWindow::QuestionScope {
    explicit QuestionScope(MainWindow *w) : window(w), refocus(w->focusWidget()) {
        if (window->openQuestions_++ == 0) {
            window->centralWidget()->setEnabled(false);
            window->menuBar()->setEnabled(false);
        }
    }
    ~QuestionScope() {
        if (--window->openQuestions_ > 0)
            return;
        window->centralWidget()->setEnabled(true);
        window->menuBar()->setEnabled(true);
        // Disabled, the control lost the focus it is to have back.
        if (refocus)
            refocus->setFocus(Qt::OtherFocusReason);
        // The call that asked is still on its way back into the engine.
        if (window->closeAfterQuestions_)
            QTimer::singleShot(0, window, &QWidget::close);
    }
    QuestionScope(const QuestionScope &) = delete;
    QuestionScope &operator=(const QuestionScope &) = delete;

    MainWindow *window;
    QPointer<QWidget> refocus;
};

void MainWindow::connectQuestions() {
    clock_.start();
    connect(browser_, &Browser::pageDialogRequested, this, &MainWindow::answerPageDialog);
    connect(browser_, &Browser::authenticationRequired, this, &MainWindow::askForSignIn);
    connect(browser_, &Browser::certificateErrorOccurred, this,
            &MainWindow::answerCertificateError);
    connect(browser_, &Browser::permissionRequested, this, &MainWindow::answerPermission);
    connect(browser_, &Browser::navigationCompleted, this, &MainWindow::forgetStoppedDialogs);
}

Questions *MainWindow::questions() const {
    // None once the window is closing: nothing more is asked over it.
    return closeAfterQuestions_ ? nullptr : context_.questions;
}

YesNoAnswer MainWindow::askYesNo(const Message &question, bool yesIsDefault, bool offerStop) {
    Questions *q = questions();
    if (!q)
        return {};
    QuestionScope scope(this);
    const YesNoAnswer answer = q->askYesNo(this, question, yesIsDefault, offerStop);
    return closeAfterQuestions_ ? YesNoAnswer{} : answer;
}

void MainWindow::openPageLinkElsewhere(const QString &url) {
    if (!elsewhereStoppedFor_.isEmpty())
        return;
    const QString text = tr("The page links to an address for another program (%1:). Open it?")
                             .arg(QUrl(url).scheme()) +
                         QStringLiteral("\n\n") + shortened(url, kShownElsewhere);
    const YesNoAnswer answer = askYesNo({QString(), text, Message::Icon::Information}, false,
                                        elsewhereRun_.arrive(clock_.elapsed()));
    elsewhereRun_.closed(clock_.elapsed());
    if (answer.stopAsking)
        elsewhereStoppedFor_ = siteName(browser_->location());
    if (answer.yes && context_.openElsewhere)
        context_.openElsewhere(QUrl(url));
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (openQuestions_ > 0) {
        closeAfterQuestions_ = true;
        event->ignore();
        hide();
        if (Questions *q = context_.questions)
            q->endAll(this);
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::answerPageDialog(PageDialogRequest &request) {
    // Unanswered, an alert is dismissed and a confirm or prompt cancelled.
    Questions *q = questions();
    if (!q || !dialogsStoppedFor_.isEmpty())
        return;
    PageDialog dialog;
    dialog.kind = request.kind();
    dialog.title = pageDialogTitle(request.origin());
    dialog.message = fitMessage(request.message());
    dialog.defaultText = fitForShowing(request.defaultText(), kShownMessageLength);
    dialog.offerStop = dialogRun_.arrive(clock_.elapsed());
    PageDialogAnswer answer;
    {
        QuestionScope scope(this);
        answer = q->askPageDialog(this, dialog);
    }
    dialogRun_.closed(clock_.elapsed());
    if (closeAfterQuestions_)
        return;
    if (answer.stopDialogs)
        dialogsStoppedFor_ = siteName(browser_->location());
    if (answer.accepted)
        request.accept(answer.text);
}

void MainWindow::forgetStoppedDialogs(const QString &url) {
    // The stop holds for the page's own site, even when it reloads itself.
    if (siteName(url) != dialogsStoppedFor_)
        dialogsStoppedFor_.clear();
    if (siteName(url) != elsewhereStoppedFor_)
        elsewhereStoppedFor_.clear();
}

void MainWindow::askForSignIn(AuthenticationRequest &request) {
    // Unanswered, the sign-in is cancelled.
    Questions *q = questions();
    if (!q)
        return;
    std::optional<Credentials> credentials;
    {
        QuestionScope scope(this);
        credentials = q->askSignIn(this, signInTitle(),
                                   signInText(request.url(), request.realm(), request.proxyHost()));
    }
    if (credentials && !closeAfterQuestions_)
        request.signIn(credentials->user, credentials->password);
}

void MainWindow::answerCertificateError(CertificateErrorRequest &request) {
    SiteDecisions &decisions = context_.rules->siteDecisions();
    if (request.isOverridable() &&
        decisions.allowsCertificate(request.host(), request.certificate())) {
        request.proceed();
        return;
    }
    // A part of the page is refused without a word, as browsers do.
    if (!request.isMainFrame())
        return;
    request.setNotice(certificateTitle(), certificateNoticeText(request.host(), request.problem()));
    if (!request.isOverridable())
        return;
    if (askYesNo({certificateTitle(), certificateQuestionText(request.host(), request.problem()),
                  Message::Icon::Warning},
                 false)
            .yes) {
        decisions.allowCertificate(request.host(), request.certificate());
        request.proceed();
    }
}

void MainWindow::answerPermission(PermissionRequest &request) {
    SiteDecisions &decisions = context_.rules->siteDecisions();
    if (const std::optional<bool> known =
            decisions.permission(request.origin(), request.feature())) {
        if (*known)
            request.grant();
        return;
    }
    if (!questions())
        return;
    const bool yes =
        askYesNo({permissionTitle(), permissionQuestionText(request.origin(), request.feature()),
                  Message::Icon::Warning},
                 false)
            .yes;
    // A question ended by closing the window decides nothing for the others.
    if (closeAfterQuestions_)
        return;
    decisions.setPermission(request.origin(), request.feature(), yes);
    if (yes)
        request.grant();
}

}  // namespace quillow
