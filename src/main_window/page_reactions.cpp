// The main window's reactions to its page: status, progress, title and
// address feedback, the popup blocker, the navigation guard, failed
// navigations, closing and full screen.

#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include "browser/browser.h"
#include "browser/content_blocker.h"
#include "core/program_rules.h"
#include "core/questions.h"
#include "main_window/address_box.h"
#include "main_window/address_decision.h"
#include "main_window/block_list.h"
#include "main_window/main_window.h"
#include "main_window/progress.h"
#include "widgets/black_frame.h"
#include "widgets/paint_batcher.h"
#include "widgets/status_bar.h"

namespace quillow {

namespace {

// A window the filter lists name as a popup, asked for by a page they
// block on.
bool listedPopup(ContentBlocker *blocker, const QString &url, const QString &page) {
    return blocker && blocker->isOn(QUrl(page)) &&
           blocker->decide(QUrl(url), QUrl(page), filter::RequestKind::Popup).blocked;
}

}  // namespace

void MainWindow::connectPage() {
    connect(browser_, &Browser::statusTextChanged, this, &MainWindow::showStatusText);
    connect(browser_, &Browser::progressChanged, this, &MainWindow::showProgress);
    connect(browser_, &Browser::titleChanged, this, &MainWindow::showTitle);
    connect(browser_, &Browser::navigationCompleted, this, &MainWindow::recordCompletedNavigation);
    connect(browser_, &Browser::navigationRequested, this, &MainWindow::guardNavigation);
    connect(browser_, &Browser::newWindowRequested, this, &MainWindow::answerNewWindow);
    connect(browser_, &Browser::navigationFailed, this, &MainWindow::askAboutFailedNavigation);
    connect(browser_, &Browser::externalAddressRequested, this, &MainWindow::openPageLinkElsewhere);
    connect(browser_, &Browser::closeRequested, this, &QWidget::close);
    connect(browser_, &Browser::newWindowWanted, this, &MainWindow::newWindowWanted);
    connect(browser_, &Browser::sourceWanted, this, &MainWindow::sourceWanted);
    connect(browser_, &Browser::blockingRecordWanted, this, &MainWindow::blockingRecordWanted);
    // A popup's page, and one whose dialogs the user stopped, prints nothing.
    connect(browser_, &Browser::printRequested, this, [this] {
        if (!browser_->isSilent() && dialogsStoppedFor_.isEmpty())
            printPage(true);
    });
    connect(browser_, &Browser::printFinished, this, [this](bool ok) {
        printer_.reset();
        if (!ok && context_.questions)
            context_.questions->tell(
                this, {tr("Print"), tr("The page could not be printed."), Message::Icon::Warning});
    });
    connect(browser_, &Browser::fullScreenRequested, this, &MainWindow::enterFullScreen);
    // A load that begins ends what the message said of the page before (a
    // popup refused there, or that it loaded): a page the filter lists
    // refuse, or one that fails, is not told beside it.
    connect(browser_, &Browser::loadingChanged, this, [this](bool loading) {
        if (loading)
            statusBar_->setMessage(QString());
    });
    // The page a typed address went to has arrived, or the load has ended
    // however it ended (the engine tells no start of a load begun while
    // another runs, and one end for both): from now on the page on show
    // tells where the window is.
    connect(browser_, &Browser::loadingChanged, this, [this](bool loading) {
        if (!loading)
            goingTo_.clear();
    });
    connect(browser_, &Browser::navigationCompleted, this, [this](const QString &url) {
        if (showsAddress(url, goingTo_))
            goingTo_.clear();
    });
    connect(browser_, &Browser::blockedRequestsChanged, this, [this](int count) {
        blockedRequests_ = count;
        showPopupCount();
    });
}

void MainWindow::showStatusText(const QString &text) {
    backButton_->setEnabled(true);
    paintBatcher_->hold(statusBar_);
    statusBar_->setPageStatus(text);
}

void MainWindow::showProgress(qint32 progress, qint32 maximum) {
    const ProgressStep step = progressStep(progress, maximum);
    paintBatcher_->hold(progressBar_);
    progressBar_->setMaximum(step.maximum);
    if (step.setValue)
        progressBar_->setValue(step.value);
    if (step.goToAddress)
        goToTypedAddress(addressBox_->currentText());
}

void MainWindow::showTitle(const QString &title) {
    paintBatcher_->hold(addressBox_);
    addressBox_->showAddress(trimBlanks(browser_->location()));
    emit pageTitleChanged(title);
}

void MainWindow::recordCompletedNavigation(const QString &url) {
    if (blocklist::isKnownPopupAddress(url)) {
        close();
        return;
    }
    paintBatcher_->hold(addressBox_);
    paintBatcher_->hold(statusBar_);
    addressBox_->remember(url);
    statusBar_->setMessage(tr("Site Loaded."));
}

void MainWindow::guardNavigation(NavigationRequest &request) {
    if (blocklist::isAdServer(request.url()))
        request.refuse();
}

void MainWindow::answerNewWindow(NewWindowRequest &request) {
    // Blocking off still refuses a storm of windows no click asked for, and
    // the windows the filter lists name as popups.
    if (blockingPopups_ ||
        (!request.isUserInitiated() && !context_.rules->allowWindowWithoutClick()) ||
        listedPopup(context_.contentBlocker, request.url(), browser_->location())) {
        statusBar_->setMessage(tr("Popup Blocked"));
        ++popupCount_;
        showPopupCount();
        if (context_.beep)
            context_.beep();
        return;
    }
    emit popupAccepted(request);
}

void MainWindow::askAboutFailedNavigation(const QString &url, qint32 statusCode) {
    showStatusText(QString::number(statusCode));
    // A burst of failures (a storm of popups, say) asks once: the others
    // get No without a question.
    ProgramRules &rules = *context_.rules;
    if (!rules.beginFailureQuestion()) {
        browser_->abandonFailedNavigation();
        return;
    }
    const bool yes =
        askYesNo({url, tr("This page has an errors in it! Would you like to continue anyways?")},
                 true)
            .yes;
    rules.endFailureQuestion();
    // Yes leaves the engine's own handling of the failure on show. A window
    // closed meanwhile is past caring.
    if (!yes && !closeAfterQuestions_)
        browser_->abandonFailedNavigation();
}

void MainWindow::enterFullScreen(bool on) {
    // Nothing shows them again: the page keeps the room for good.
    if (!on)
        return;
    navigationFrame_->hide();
    addressBox_->hide();
}

}  // namespace quillow
