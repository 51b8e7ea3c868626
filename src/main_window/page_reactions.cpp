// The main window's reactions to its page: status, progress, title and
// address feedback, the popup blocker, the navigation guard, failed
// navigations, closing and full screen.

#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include "app/message_boxes.h"
#include "app/window_registry.h"
#include "browser/browser.h"
#include "main_window/address_box.h"
#include "main_window/address_decision.h"
#include "main_window/block_list.h"
#include "main_window/main_window.h"
#include "main_window/progress.h"
#include "widgets/black_frame.h"
#include "widgets/paint_batcher.h"
#include "widgets/status_bar.h"

namespace quillow {

void MainWindow::connectPage() {
    connect(browser_, &Browser::statusTextChanged, this, &MainWindow::showStatusText);
    connect(browser_, &Browser::progressChanged, this, &MainWindow::showProgress);
    connect(browser_, &Browser::titleChanged, this, &MainWindow::showTitle);
    connect(browser_, &Browser::navigationCompleted, this, &MainWindow::recordCompletedNavigation);
    connect(browser_, &Browser::navigationRequested, this, &MainWindow::guardNavigation);
    connect(browser_, &Browser::newWindowRequested, this, &MainWindow::answerNewWindow);
    connect(browser_, &Browser::navigationFailed, this, &MainWindow::askAboutFailedNavigation);
    connect(browser_, &Browser::externalAddressRequested, this, [this](const QString &url) {
        openElsewhere(url, tr("The page links to an address for another program (%1:). Open it?")
                               .arg(QUrl(url).scheme()));
    });
    connect(browser_, &Browser::closeRequested, this, &QWidget::close);
    connect(browser_, &Browser::fullScreenRequested, this, &MainWindow::enterFullScreen);
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
    // The title always shows on the primary window; with that one closed
    // there is nothing to show it on.
    if (MainWindow *primary = registry_.primary())
        primary->setWindowTitle(kCaption + title);
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
    // Blocking off still refuses a storm of windows no click asked for.
    if (blockingPopups_ || (!request.isUserInitiated() && !registry_.allowWindowWithoutClick())) {
        statusBar_->setMessage(tr("Popup Blocked"));
        ++popupCount_;
        showPopupCount();
        if (registry_.context().beep)
            registry_.context().beep();
        return;
    }
    MainWindow *popup = registry_.createPopup();
    popup->browser()->setSilent(true);
    request.openIn(popup->browser());
    popup->show();
}

void MainWindow::askAboutFailedNavigation(const QString &url, qint32 statusCode) {
    showStatusText(QString::number(statusCode));
    // A burst of failures (a storm of popups, say) asks once: the others
    // get No without a question.
    WindowRegistry &registry = registry_;  // outlives this window
    if (!registry.beginFailureQuestion()) {
        browser_->abandonFailedNavigation();
        return;
    }
    const QPointer<MainWindow> self(this);
    const MessageBoxes::Answer answer = registry.context().messages->show(
        this, tr("This page has an errors in it! Would you like to continue anyways?"), url,
        MessageBoxes::Icon::None, MessageBoxes::Buttons::YesNo);
    registry.endFailureQuestion();
    // Yes leaves the engine's own handling of the failure on show. The
    // window may have been closed while the question was open.
    if (self && answer == MessageBoxes::Answer::No)
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
