#pragma once

#include <QElapsedTimer>
#include <QMainWindow>

#include "main_window/commands.h"
#include "questions/dialog_run.h"

class QListView;
class QProgressBar;
class QPushButton;

namespace quillow {

class AddressBox;
class AuthenticationRequest;
class BlackFrame;
class Browser;
class CertificateErrorRequest;
class ClickableLabel;
class FavoritesPanel;
class NavigationRequest;
class NewWindowRequest;
class PaintBatcher;
class PageDialogRequest;
class PermissionRequest;
class Questions;
class StatusBar;
class TransferArbiter;
class WindowRegistry;

// The main window: the address box, the page, the toolbar frames, the
// favorites panel, the connection label and the status bar. The primary
// one opens at start; every window a page opens while popups are allowed
// is another.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static const QString kCaption;  // "Tarn - Quillow :  "

    explicit MainWindow(WindowRegistry &registry, QWidget *parent = nullptr);
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

    bool isPrimary() const;
    Browser *browser() const { return browser_; }
    // The transfer component that tests this window's connection.
    TransferArbiter *transfers() const { return transfers_; }
    QString addressText() const;
    const QString &lastAddress() const { return lastAddress_; }
    qint64 popupCount() const { return popupCount_; }
    bool isBlockingPopups() const { return blockingPopups_; }

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
    void setTabOrder();
    void reportInternalError(qint32 errorNumber);
    // Hands address to another program, after the user's yes when asked.
    void openElsewhere(const QString &address, const QString &question);
    void setBlockingPopups(bool on);
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
    Questions *questions() const;
    void answerPageDialog(PageDialogRequest &request);
    void askForSignIn(AuthenticationRequest &request);
    void answerCertificateError(CertificateErrorRequest &request);
    void answerPermission(PermissionRequest &request);
    void forgetStoppedDialogs(const QString &url);

    WindowRegistry &registry_;
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

    qint64 popupCount_ = 0;  // refused popups; never wraps
    QString lastAddress_;    // the typed address last taken
    bool blockingPopups_ = false;

    // Questions open over this window; while there are any, the window takes
    // no input but its close box, and a close waits for them to end.
    int openQuestions_ = 0;
    bool closeAfterQuestions_ = false;
    DialogRun dialogRun_;
    QElapsedTimer clock_;  // times the page's dialogs
    // The site whose page the user stopped showing dialogs; empty for none.
    QString dialogsStoppedFor_;
};

}  // namespace quillow
