// The main window's reactions to its browser component: status, progress,
// title and address feedback, the popup blocker, the navigation guard,
// failed navigations, quitting and full screen.

#include <QComboBox>
#include <QGroupBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "main_window/mainf.h"
#include "main_window/status_bar.h"
#include "main_window/text_rules.h"
#include "main_window/windows.h"
#include "page_events/block_list.h"
#include "page_events/progress.h"

namespace quillow {

namespace {
// Error numbers after which the failed-navigation handler goes on.
bool navigateErrorResumes(qint32 number) {
    switch (number) {
        case 176:
        case 198:
        case 200:
        case 215:
        case 274:
        case 284:
        case 450:
        case BrowserError::kUnspecified:
            return true;
        default:
            return false;
    }
}
}  // namespace

void MainF::StatusTextChange(const QString &text) {
    button(1)->setEnabled(true);
    webstatus_->setPanelText(1, text);
}

void MainF::ProgressChange(qint32 progress, qint32 progressMax) {
    const ProgressStep step = progressStep(progress, progressMax);
    pageload_->setMaximum(step.maximum);
    if (step.setValue)
        pageload_->setValue(step.value);
    if (step.goToAddress)
        searchnf();
}

void MainF::TitleChange(const QString &text) {
    addressbar_->setEditText(trimBlanks(browser_->LocationURL()));
    // The title always shows on the primary window; with that one closed
    // there is nothing to show it on.
    if (MainF *primary = windows_.primary())
        primary->setWindowTitle(kCaption + text);
}

void MainF::NavigateComplete2(const QString &url) {
    if (blocklist::isKnownPopupAddress(url)) {
        close();
        return;
    }
    // Adding the first item would replace what the box shows.
    const QString shown = addressbar_->currentText();
    addressbar_->addItem(url);
    addressbar_->setEditText(shown);
    webstatus_->setSimpleText(tr("Site Loaded."));
}

void MainF::BeforeNavigate2(const QString &url, bool &cancel) {
    cancel = blocklist::isAdServer(url);
}

void MainF::NewWindow2(Browser *&ppDisp, bool &cancel) {
    if (blockingPopups()) {
        cancel = true;
        webstatus_->setSimpleText(tr("Popup Blocked"));
        ++popupcount_;
        showPopupCount();
        if (windows_.context().beep)
            windows_.context().beep();
        return;
    }
    MainF *popup = windows_.createPopup();
    ppDisp = popup->browserwindow();
    ppDisp->SetRegisterAsBrowser(true);
    ppDisp->SetSilent(true);
    popup->show();
    cancel = false;
}

void MainF::NavigateError(const QString &url, qint32 statusCode, bool &cancel) {
    MessageBoxes *messages = windows_.context().messages;
    QPointer<MainF> self(this);
    auto trap = [&](qint32 number) {
        if (number == 0 || navigateErrorResumes(number))
            return false;
        messages->show(this, tr("Browser Error# %1").arg(number), QString(),
                       MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
        return true;
    };
    if (trap(browser_->SetStatusText(QString::number(statusCode)).number))
        return;
    const int answer = messages->show(
        this, tr("This page has an errors in it! Would you like to continue anyways?"), url,
        MessageBoxes::Icon::None, MessageBoxes::Buttons::YesNo);
    // The window may have been closed while the question was open.
    if (!self)
        return;
    if (answer == MessageBoxes::No) {
        cancel = true;
        trap(browser_->Stop().number);
    } else if (answer == MessageBoxes::Yes) {
        cancel = false;
        trap(browser_->AdoptFailedFrame().number);
    }
}

void MainF::OnQuit() {
    close();
}

void MainF::OnFullScreen(bool fullScreen) {
    if (!fullScreen)
        return;
    frame1_->hide();
    addressbar_->hide();
}

}  // namespace quillow
