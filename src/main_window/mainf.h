#pragma once

#include <QMainWindow>
#include <QMap>
#include <QPointer>

#include "browser/browser.h"

class QComboBox;
class QGroupBox;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;

namespace quillow {

class ConnectionIndicator;
class FavoritesPanel;
class Inet;
class StatusBar;
class Windows;

// The main window: the address box, the browser component, the toolbar
// frames, the favorites panel, the connection label and the status bar.
class MainF : public QMainWindow, public BrowserEvents {
    Q_OBJECT
public:
    static const QString kCaption;  // "Tarn - Quillow :  "

    explicit MainF(Windows &windows, QWidget *parent = nullptr);
    ~MainF() override;

    // Runs once, before the window is first shown.
    void load();

    // Goes to the address that the address box holds.
    void searchnf();
    // The toolbar command handler: 1 back, 2 forward, 4 refresh, 5 stop,
    // 6 home, 7 search, 8 favorites panel, 10 popup switch, 11 HTML window.
    void command(int number);
    // Fits the controls to the window's size, then retests the connection.
    void layoutWindow();

    Browser *browserwindow() const { return browser_; }
    Inet *inet() const { return inet_; }
    ConnectionIndicator *connection() const { return connection_; }
    QComboBox *addressbar() const { return addressbar_; }
    StatusBar *webstatus() const { return webstatus_; }
    QProgressBar *pageload() const { return pageload_; }
    QPushButton *button(int index) const { return buttons_.value(index); }
    QGroupBox *favfr() const { return favfr_; }
    QListWidget *favemenu() const { return favemenu_; }
    bool isPrimary() const;

    const QString &lastaddress() const { return lastaddress_; }
    qint64 popupcount() const { return popupcount_; }
    bool blockingPopups() const;

    // BrowserEvents: the page's reactions live in page_events/.
    void StatusTextChange(const QString &text) override;
    void ProgressChange(qint32 progress, qint32 progressMax) override;
    void TitleChange(const QString &text) override;
    void NavigateComplete2(const QString &url) override;
    void BeforeNavigate2(const QString &url, bool &cancel) override;
    void NewWindow2(Browser *&ppDisp, bool &cancel) override;
    void NavigateError(const QString &url, qint32 statusCode, bool &cancel) override;
    void OnQuit() override;
    void OnFullScreen(bool fullScreen) override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void setTabOrder();
    void navigationMenu(int index);
    void showPopupCount();
    void searchnfTrap(qint32 number);

    Windows &windows_;
    QWidget *client_ = nullptr;
    QComboBox *addressbar_ = nullptr;
    StatusBar *webstatus_ = nullptr;
    Browser *browser_ = nullptr;
    QProgressBar *pageload_ = nullptr;
    QGroupBox *frame1_ = nullptr;
    QFrame *frame2_ = nullptr;
    QGroupBox *frame3_ = nullptr;
    QMap<int, QPushButton *> buttons_;
    QGroupBox *favfr_ = nullptr;
    QListWidget *favemenu_ = nullptr;
    QPushButton *fbuttons_[2] = {nullptr, nullptr};
    QLabel *onoff_ = nullptr;
    Inet *inet_ = nullptr;
    ConnectionIndicator *connection_ = nullptr;
    FavoritesPanel *favoritesPanel_ = nullptr;

    // The window's state: refused popups (never wraps), the address that
    // searchnf last took.
    qint64 popupcount_ = 0;
    QString lastaddress_;
};

}  // namespace quillow
