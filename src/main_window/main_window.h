#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <memory>

#include "core/context.h"
#include "main_window/commands.h"
#include "questions/dialog_run.h"

class QListView;
class QPrinter;
class QProgressBar;
class QPushButton;

namespace quillow {

class AddressBox;
class AuthenticationRequest;
class BlackFrame;
class Browser;
class CertificateErrorRequest;
class ClickableLabel;
class FavoritesList;
class FavoritesPanel;
class FindBar;
class NavigationRequest;
class NewWindowRequest;
class PaintBatcher;
class PageDialogRequest;
class PermissionRequest;
class Questions;
struct Message;
struct YesNoAnswer;
class StatusBar;
class TransferArbiter;

// The main window: the address box, the page, the toolbar frames, the
// favorites panel, the connection label and the status bar. The primary
// one opens at start; every window a page opens while popups are allowed
// is another. It asks the program for other windows through its signals.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static const QString kCaption;  // "Tarn - Quillow :  "
    // How much of another program's address a question shows.
    static constexpr int kShownElsewhere = 300;

    // favorites is the list every main window shows.
    MainWindow(const Context &context, FavoritesList *favorites, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Runs once, before the window is first shown: the popup count, the
    // blank first page, the first layout pass.
    void load();

    // Where an address to go to comes from.
    enum class From {
        // The user's typing: the address last taken is passed over, and
        // another program's address opens only after a question.
        AddressBox,
        // Run: goes there again, reloading it if it is on show.
        HtmlWindow,
        // Quillow's own links: every click goes there, without a question.
        OwnLink,
    };
    // The one way to an address: puts text into the address box and goes
    // there, refusing what is no address.
    void goToTypedAddress(const QString &text, From from = From::AddressBox);
    void runCommand(Command command);
    // Fits the controls to the window's size, then tests the connection.
    void layoutWindow();

    Browser *browser() const { return browser_; }
    // The transfer component that tests this window's connection.
    TransferArbiter *transfers() const { return transfers_; }
    QString addressText() const;
    // The page on show; while that is the blank page, the address a typed
    // navigation is on its way to.
    QString pageAddress() const;
    const QString &lastAddress() const { return lastAddress_; }
    qint64 popupCount() const { return popupCount_; }
    bool isBlockingPopups() const { return blockingPopups_; }

Q_SIGNALS:
    void searchWanted();
    void htmlWindowWanted();
    void aboutWanted();
    // The user asked for a new main window at url, or for the page's
    // source in the HTML window.
    void newWindowWanted(const QString &url);
    void sourceWanted(const QString &url);
    // The user asked to see what content blocking did to the page on show.
    void blockingRecordWanted(const quillow::BlockingRecord &record);
    // A page's new window that the blocker lets through: whoever makes
    // windows hands request the component of a new main window before the
    // signal returns, or the window is refused.
    void popupAccepted(quillow::NewWindowRequest &request);
    // The page's title; the primary main window's caption shows it.
    void pageTitleChanged(const QString &title);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildToolbarButtons();
    void buildFavoritesPanel();
    void buildConnectionLabel();
    void buildMenus();
    void buildShortcuts();
    // Fits the controls to the window's size and the find bar; a window
    // smaller than its minimum snaps back with a beep instead.
    void placeControls();
    void setTabOrder();
    void reportInternalError(BrowserResult result);
    // Hands address to another program, after the user's yes when asked.
    void openElsewhere(const QString &address, const QString &question);
    // The same for a link on the page; a page that keeps asking is offered
    // to be stopped, as its own dialogs are.
    void openPageLinkElsewhere(const QString &url);
    void setBlockingPopups(bool on);
    // Asks where to print the page (a printer, or a PDF file), then prints.
    // A dialog the page asked for is one of its dialogs: the third in a row
    // offers to stop them.
    void printPage(bool pageAsked = false);
    void showPopupCount();

    // The page's reactions, in page_reactions.cpp.
    void connectPage();
    void showStatusText(const QString &text);
    void showProgress(qint32 progress, qint32 maximum);
    void showTitle(const QString &title);
    void recordCompletedNavigation(const QString &url);
    void guardNavigation(NavigationRequest &request);
    void answerNewWindow(NewWindowRequest &request);
    void askAboutFailedNavigation(const QString &url, qint32 statusCode);
    void enterFullScreen(bool on);

    // The page's questions for the user, in page_questions.cpp.
    struct QuestionScope;
    void connectQuestions();
    // The questions seam; none once the window is closing.
    Questions *questions() const;
    // Asks over this window, its controls held off meanwhile. No when
    // nothing can be asked; check closeAfterQuestions_ for a window that
    // closed meanwhile.
    YesNoAnswer askYesNo(const Message &question, bool yesIsDefault, bool offerStop = false);
    void answerPageDialog(PageDialogRequest &request);
    void askForSignIn(AuthenticationRequest &request);
    void answerCertificateError(CertificateErrorRequest &request);
    void answerPermission(PermissionRequest &request);
    void forgetStoppedDialogs(const QString &url);

    Context context_;
    FavoritesList *favorites_;
    QWidget *client_ = nullptr;
    AddressBox *addressBox_ = nullptr;
    Browser *browser_ = nullptr;
    StatusBar *statusBar_ = nullptr;
    QProgressBar *progressBar_ = nullptr;
    BlackFrame *navigationFrame_ = nullptr;
    QWidget *toolFrame_ = nullptr;
    QList<QPushButton *> toolbarButtons_;  // in their tab order
    QPushButton *backButton_ = nullptr;
    QPushButton *forwardButton_ = nullptr;
    QPushButton *popupButton_ = nullptr;
    BlackFrame *favoritesFrame_ = nullptr;
    QListView *favoritesView_ = nullptr;
    QPushButton *addFavoriteButton_ = nullptr;
    QPushButton *removeFavoriteButton_ = nullptr;
    FavoritesPanel *favoritesPanel_ = nullptr;
    ClickableLabel *connectionLabel_ = nullptr;
    TransferArbiter *transfers_ = nullptr;
    PaintBatcher *paintBatcher_ = nullptr;
    FindBar *findBar_ = nullptr;
    // The printer a print under way uses, until it ends.
    std::unique_ptr<QPrinter> printer_;

    qint64 popupCount_ = 0;    // refused popups; never wraps
    int blockedRequests_ = 0;  // the page's requests content blocking refused
    QString lastAddress_;      // the typed address last taken
    // Where the last typed address went, until its page arrives or the
    // load ends.
    QString goingTo_;
    bool blockingPopups_ = false;

    // Questions open over this window; while there are any, the window takes
    // no input but its close box, and a close waits for them to end.
    int openQuestions_ = 0;
    bool closeAfterQuestions_ = false;
    DialogRun dialogRun_;
    DialogRun elsewhereRun_;
    QElapsedTimer clock_;  // times the page's dialogs and questions
    // The site whose page the user stopped showing dialogs, and asking about
    // other programs; empty for none.
    QString dialogsStoppedFor_;
    QString elsewhereStoppedFor_;
};

}  // namespace quillow
