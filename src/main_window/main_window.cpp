#include "main_window/main_window.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QShortcut>
#include <QWindowStateChangeEvent>

#include "browser/browser.h"
#include "browser/content_blocker.h"
#include "connection/connection_state.h"
#include "connection/transfer_arbiter.h"
#include "core/questions.h"
#include "favorites/favorites_panel.h"
#include "main_window/address_box.h"
#include "main_window/address_decision.h"
#include "main_window/error_report.h"
#include "main_window/find_bar.h"
#include "main_window/layout.h"
#include "main_window/zoom_levels.h"
#include "questions/question_texts.h"
#include "text/shortened.h"
#include "widgets/black_frame.h"
#include "widgets/caption_button.h"
#include "widgets/clickable_label.h"
#include "widgets/design_font.h"
#include "widgets/desktop_colours.h"
#include "widgets/paint_batcher.h"
#include "widgets/status_bar.h"
#include "widgets/twips.h"

namespace quillow {

const QString MainWindow::kCaption = QStringLiteral("Tarn - Quillow :  ");

namespace {

const QString kBlockPopups = QStringLiteral("Block Popups");
const QString kAllowPopups = QStringLiteral("Allow Popups");

// The designed client area and where its top-left corner sits on screen.
constexpr QSize kClientSize(704, 664);
constexpr QPoint kClientPlace(twips(2340), twips(840));
constexpr int kStatusBarHeight = twips(495);

}  // namespace

MainWindow::MainWindow(const Context &context, FavoritesList *favorites, QWidget *parent)
    : QMainWindow(parent), context_(context), favorites_(favorites) {
    setObjectName(QStringLiteral("mainf"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));

    paintBatcher_ = new PaintBatcher(this);
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    // The designed places fit the compact font the windows were drawn for;
    // the menus keep the desktop's.
    client_->setFont(designFont());
    paintBlack(client_);
    setCentralWidget(client_);

    buildControls();
    buildMenus();
    setTabOrder();
    buildShortcuts();
    connectPage();
    connectQuestions();

    // The client area gets its designed size and place; the menu bar sits
    // above it.
    const int menuHeight = menuBar()->sizeHint().height();
    resize(kClientSize.width(), kClientSize.height() + menuHeight);
    move(kClientPlace.x(), qMax(0, kClientPlace.y() - menuHeight));
}

void MainWindow::printPage(bool pageAsked) {
    if (printer_)
        return;  // one print, or its dialog, at a time
    // The page's own print dialogs count as its dialogs do.
    const bool offerStop = pageAsked && dialogRun_.arrive(clock_.elapsed());
    printer_ = std::make_unique<QPrinter>();
    auto *dialog = new QPrintDialog(printer_.get(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Like every question here, it leaves the window's close box working.
    dialog->setWindowModality(Qt::NonModal);
    QCheckBox *stop = nullptr;
    if (auto *layout = qobject_cast<QBoxLayout *>(dialog->layout()); offerStop && layout) {
        stop = new QCheckBox(stopDialogsText(), dialog);
        stop->setObjectName(QStringLiteral("stopdialogs"));
        layout->insertWidget(layout->count() - 1, stop);  // above the buttons
    }
    connect(dialog, &QDialog::finished, this, [this, pageAsked, stop](int result) {
        if (pageAsked)
            dialogRun_.closed(clock_.elapsed());
        if (stop && stop->isChecked())
            dialogsStoppedFor_ = siteName(browser_->location());
        if (result == QDialog::Accepted)
            browser_->print(printer_.get());
        else
            printer_.reset();
    });
    dialog->show();
}

MainWindow::~MainWindow() {
    // The page goes with the client area, after this object has stopped
    // being a main window: its last signals must not reach it. It goes
    // before the printer it may still print on.
    disconnect(browser_, nullptr, this, nullptr);
    delete client_;
}

QString MainWindow::addressText() const {
    return addressBox_->currentText();
}

QString MainWindow::pageAddress() const {
    const QString shown = browser_->location();
    return shown == QLatin1String("about:blank") && !goingTo_.isEmpty() ? goingTo_ : shown;
}

void MainWindow::buildControls() {
    addressBox_ = new AddressBox(client_);
    addressBox_->setObjectName(QStringLiteral("addressbar"));
    // A reader names an editable box by its text; what the box is goes in
    // its description.
    addressBox_->setAccessibleName(tr("Address"));
    addressBox_->setAccessibleDescription(tr("Address"));
    addressBox_->setGeometry(twipsRect(3480, 840, 6975, 315));
    connect(addressBox_, &AddressBox::addressChosen, this,
            [this](const QString &text) { goToTypedAddress(text); });

    browser_ = context_.browserFactory(client_);
    QWidget *page = browser_->widget();
    page->setObjectName(QStringLiteral("browserwindow"));
    page->setAccessibleName(tr("Web page"));
    page->setGeometry(twipsRect(120, 1200, 10575, 8295));

    statusBar_ = new StatusBar(client_);
    statusBar_->setObjectName(QStringLiteral("webstatus"));
    statusBar_->setGeometry(twipsRect(0, 9465, 10560, 495));

    findBar_ = new FindBar(browser_, client_);
    connect(findBar_, &FindBar::shownChanged, this, &MainWindow::placeControls);

    progressBar_ = new QProgressBar(client_);
    progressBar_->setObjectName(QStringLiteral("pageload"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(tr("Page loading progress"));
    progressBar_->setGeometry(twipsRect(7560, 9600, 2775, 255));

    buildToolbarButtons();
    buildFavoritesPanel();
    buildConnectionLabel();

    // Later controls would cover earlier ones: the status bar lies over the
    // bottom of the page and the progress bar over the status bar.
    statusBar_->raise();
    progressBar_->raise();
}

void MainWindow::buildToolbarButtons() {
    navigationFrame_ = new BlackFrame(QStringLiteral("Frame1"), tr("Navigation"),
                                      twipsRect(0, 0, 3375, 1215), client_);
    toolFrame_ = new QWidget(client_);
    toolFrame_->setObjectName(QStringLiteral("Frame2"));
    paintBlack(toolFrame_);
    toolFrame_->setGeometry(twipsRect(3600, 120, 2415, 735));

    struct Designed {
        int index;  // in the button's object name
        QWidget *frame;
        QRect place;
        const char *caption;
        const char *picture;  // with its accessible name
        const char *pictureName;
        bool hasCommand;
        Command command;
    };
    // In the designed tab order. "<" and ">" do nothing and stay disabled.
    const Designed designed[] = {
        {0, navigationFrame_, twipsRect(120, 280, 135, 735), "<", nullptr, nullptr, false, {}},
        {1, navigationFrame_, twipsRect(240, 280, 975, 735), nullptr, "back", "Back", true,
         Command::Back},
        {2, navigationFrame_, twipsRect(2160, 280, 975, 735), nullptr, "forward", "Forward", true,
         Command::Forward},
        {3, navigationFrame_, twipsRect(3120, 280, 135, 735), ">", nullptr, nullptr, false, {}},
        {4, navigationFrame_, twipsRect(1320, 180, 735, 495), nullptr, "refresh", "Refresh", true,
         Command::Refresh},
        {5, navigationFrame_, twipsRect(1320, 660, 735, 500), nullptr, "stop", "Stop", true,
         Command::Stop},
        {10, toolFrame_, twipsRect(1320, 0, 735, 735), "Block Popups", nullptr, nullptr, true,
         Command::PopupBlocking},
        {7, toolFrame_, twipsRect(600, 0, 735, 375), "Search", nullptr, nullptr, true,
         Command::Search},
        {6, toolFrame_, twipsRect(-120, 0, 735, 375), "home", nullptr, nullptr, true,
         Command::Home},
        {8, toolFrame_, twipsRect(0, 360, 1335, 255), "Favorites", nullptr, nullptr, true,
         Command::Favorites},
    };
    for (const Designed &d : designed) {
        auto *b = new CaptionButton(d.frame);
        b->setObjectName(QStringLiteral("buttons(%1)").arg(d.index));
        b->setGeometry(d.place);
        if (d.caption)
            b->setText(QString::fromLatin1(d.caption));
        if (d.picture) {
            const QPixmap pixmap(QStringLiteral(":/assets/%1.png").arg(QLatin1String(d.picture)));
            b->setIcon(QIcon(pixmap));
            b->setIconSize(pixmap.size());
            b->setAccessibleName(tr(d.pictureName));
        }
        if (d.hasCommand) {
            const Command command = d.command;
            connect(b, &QPushButton::clicked, this, [this, command] { runCommand(command); });
        } else {
            b->setEnabled(false);
        }
        toolbarButtons_.append(b);
    }
    backButton_ = toolbarButtons_.at(1);
    forwardButton_ = toolbarButtons_.at(2);
    popupButton_ = toolbarButtons_.at(6);
    backButton_->setEnabled(false);
    forwardButton_->setEnabled(false);
    popupButton_->setToolTip(tr("Click here to set the popup blocker on or off."));
    toolbarButtons_.at(7)->setToolTip(
        tr("Click here to search for key words or phases using 1 of 3 search engines."));
    toolbarButtons_.at(9)->setToolTip(tr("Click here to access and dismiss your favorites menu."));
}

void MainWindow::buildFavoritesPanel() {
    favoritesFrame_ = new BlackFrame(QStringLiteral("favfr"), tr("Favorites"),
                                     twipsRect(120, 1200, 2535, 8295), client_);
    favoritesFrame_->hide();
    favoritesView_ = new QListView(favoritesFrame_);
    favoritesView_->setObjectName(QStringLiteral("favemenu"));
    favoritesView_->setAccessibleName(tr("Favorites"));
    useDesktopColours(favoritesView_);
    favoritesView_->setGeometry(twipsRect(120, 840, 2295, 7275));
    addFavoriteButton_ = new CaptionButton(tr("Add to Favorites"), favoritesFrame_);
    addFavoriteButton_->setObjectName(QStringLiteral("fbuttons(0)"));
    addFavoriteButton_->setGeometry(twipsRect(120, 240, 1095, 495));
    removeFavoriteButton_ = new CaptionButton(tr("Remove from Favorites"), favoritesFrame_);
    removeFavoriteButton_->setObjectName(QStringLiteral("fbuttons(1)"));
    removeFavoriteButton_->setGeometry(twipsRect(1320, 240, 1095, 495));
    for (QPushButton *b : {addFavoriteButton_, removeFavoriteButton_})
        useDesktopColours(b);

    favoritesPanel_ = new FavoritesPanel(
        favorites_, favoritesView_, addFavoriteButton_, removeFavoriteButton_, browser_,
        context_.questions, [this] { runCommand(Command::Favorites); }, this);
}

void MainWindow::buildConnectionLabel() {
    auto *frame = new BlackFrame(QStringLiteral("Frame3"), tr("Internet"),
                                 twipsRect(5760, 120, 855, 615), client_);
    connectionLabel_ = new ClickableLabel(tr("Offline"), frame);
    connectionLabel_->setObjectName(QStringLiteral("onoff"));
    connectionLabel_->setGeometry(twipsRect(120, 240, 615, 255));
    QFont labelFont = designFont(8.25);
    labelFont.setBold(true);
    connectionLabel_->setFont(labelFont);
    setColours(connectionLabel_, QColor(255, 0, 0));
    connectionLabel_->setToolTip(tr("Click here to retest connection."));
    connectionLabel_->setAccessibleDescription(tr("Connection to the Internet"));

    transfers_ =
        new TransferArbiter(context_.transferFactory(nullptr), context_.connectionTestHost, this);
    connect(transfers_, &TransferArbiter::stateChanged, connectionLabel_,
            [this](InternetTransfer::State state) {
                connectionLabel_->setText(connectionStateText(state));
            });
    connect(connectionLabel_, &ClickableLabel::clicked, transfers_,
            &TransferArbiter::startConnectionTest);
}

void MainWindow::buildMenus() {
    QMenuBar *bar = menuBar();
    auto addCommand = [this](QMenu *menu, const QString &caption, const QString &name,
                             Command command) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, [this, command] { runCommand(command); });
    };

    QMenu *file = bar->addMenu(tr("File"));
    file->setObjectName(QStringLiteral("filed"));
    QAction *exit = file->addAction(tr("Exit"));
    exit->setObjectName(QStringLiteral("exiti"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *navigation = bar->addMenu(tr("Navigation"));
    navigation->setObjectName(QStringLiteral("navi"));
    const std::pair<const char *, Command> items[] = {
        {"Back", Command::Back}, {"Forward", Command::Forward}, {"Refresh", Command::Refresh},
        {"Stop", Command::Stop}, {"Home", Command::Home},       {"Search", Command::Search},
    };
    for (int i = 0; i < 6; ++i)
        addCommand(navigation, tr(items[i].first), QStringLiteral("navig(%1)").arg(i),
                   items[i].second);

    QMenu *tools = bar->addMenu(tr("Tools"));
    tools->setObjectName(QStringLiteral("td"));
    addCommand(tools, tr("HTML (View/Change)"), QStringLiteral("toolsm(1)"), Command::HtmlWindow);

    // Switched off for good: shown greyed, its empty items never offered.
    QMenu *current = bar->addMenu(tr("Current"));
    current->setObjectName(QStringLiteral("currentstuffh"));
    for (int i = 0; i < 20; ++i)
        current->addAction(QString())->setObjectName(QStringLiteral("stuffn(%1)").arg(i));
    current->setEnabled(false);
    current->menuAction()->setEnabled(false);

    QAction *about = bar->addAction(tr("About"));
    about->setObjectName(QStringLiteral("aboutf"));
    connect(about, &QAction::triggered, this, &MainWindow::aboutWanted);
}

void MainWindow::buildShortcuts() {
    // Keys of the window's own, not of the menu items: the menus stay as
    // designed, with no shortcut text. Those on the client area are off
    // with it while a question is open; closing works even then.
    const auto add = [this](QWidget *parent, std::initializer_list<QKeySequence> keys,
                            const std::function<void()> &act) {
        for (const QKeySequence &key : keys)
            connect(new QShortcut(key, parent), &QShortcut::activated, this, act);
    };
    add(client_, {Qt::CTRL | Qt::Key_L, Qt::ALT | Qt::Key_D, Qt::Key_F6},
        [this] { addressBox_->takeFocus(); });
    add(client_, {Qt::ALT | Qt::Key_Left}, [this] { runCommand(Command::Back); });
    add(client_, {Qt::ALT | Qt::Key_Right}, [this] { runCommand(Command::Forward); });
    add(client_, {Qt::Key_F5, Qt::CTRL | Qt::Key_R}, [this] { runCommand(Command::Refresh); });
    add(client_, {Qt::CTRL | Qt::Key_D}, [this] { favoritesPanel_->add(); });
    add(client_, {QKeySequence::ZoomIn, Qt::CTRL | Qt::Key_Equal},
        [this] { browser_->setZoomFactor(nextZoomFactor(browser_->zoomFactor(), +1)); });
    add(client_, {QKeySequence::ZoomOut},
        [this] { browser_->setZoomFactor(nextZoomFactor(browser_->zoomFactor(), -1)); });
    add(client_, {Qt::CTRL | Qt::Key_0}, [this] { browser_->setZoomFactor(1.0); });
    add(client_, {QKeySequence::Find}, [this] { findBar_->open(); });
    add(client_, {QKeySequence::FindNext}, [this] { findBar_->findNext(false); });
    add(client_, {QKeySequence::FindPrevious}, [this] { findBar_->findNext(true); });
    add(client_, {QKeySequence::Print}, [this] { printPage(); });
    add(this, {Qt::CTRL | Qt::Key_W}, [this] { close(); });

    // Escape is the page's own but while a load runs.
    auto *escape = new QShortcut(
        Qt::Key_Escape, browser_->widget(), this, [this] { runCommand(Command::Stop); },
        Qt::WidgetWithChildrenShortcut);
    escape->setEnabled(false);
    connect(browser_, &Browser::loadingChanged, escape, &QShortcut::setEnabled);
}

void MainWindow::setTabOrder() {
    QList<QWidget *> order = {addressBox_, browser_->widget()};
    for (QPushButton *b : toolbarButtons_)
        order.append(b);
    order.append({favoritesView_, addFavoriteButton_, removeFavoriteButton_});
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    addressBox_->takeFocus();
}

void MainWindow::load() {
    popupCount_ = 0;
    showPopupCount();
    // Only a start that worked remembers the blank page; a failure here
    // leaves lastAddress_ empty, and the window is laid out all the same.
    if (browser_->navigate(QStringLiteral("about:blank")) == BrowserResult::Done)
        lastAddress_ = QStringLiteral("about:blank");
    // Lay out for the designed size even before the window is shown.
    if (layout())
        layout()->activate();
    layoutWindow();
}

void MainWindow::showPopupCount() {
    paintBatcher_->hold(statusBar_);
    statusBar_->setPopupCount(QString::number(popupCount_) + QStringLiteral(" Popups"));
    QString details = tr("%n Popups refused", nullptr, int(qMin<qint64>(popupCount_, INT_MAX)));
    if (context_.contentBlocker && context_.contentBlocker->isOn(QUrl()))
        details += tr(", %n requests blocked", nullptr, blockedRequests_);
    statusBar_->setPopupDetails(details);
}

void MainWindow::goToTypedAddress(const QString &text, From from) {
    if (addressBox_->currentText() != text)
        addressBox_->setEditText(text);
    const bool again = from != From::AddressBox && text == lastAddress_;
    const AddressDecision decision = decideTypedAddress(text, again ? QString() : lastAddress_,
                                                        {browser_->location(), goingTo_});
    lastAddress_ = decision.lastAddress;
    switch (decision.outcome) {
        case AddressDecision::Outcome::Ignore:
            return;
        case AddressDecision::Outcome::Refuse:
            if (context_.questions)
                context_.questions->tell(
                    this, {tr("INVALID ADDRESS"), tr("Please enter a web address or use search."),
                           Message::Icon::Information});
            addressBox_->setEditText(decision.boxText);
            addressBox_->takeFocus();
            return;
        case AddressDecision::Outcome::Go:
            break;
    }
    const QUrl url = QUrl::fromUserInput(decision.address, QString(), QUrl::AssumeLocalFile);
    if (!showsScheme(url.scheme())) {
        openElsewhere(decision.address,
                      from == From::OwnLink
                          ? QString()
                          : tr("Open this %1: address in another program?").arg(url.scheme()));
    } else if (again && showsAddress(browser_->location(), decision.address)) {
        browser_->refresh();
    } else if (const BrowserResult r = browser_->navigate(decision.address); !goesOnAfter(r)) {
        return reportInternalError(r);
    } else {
        goingTo_ = decision.address;
    }
    backButton_->setEnabled(true);
    if (const BrowserResult r = browser_->giveFocus(); !goesOnAfter(r))
        reportInternalError(r);
}

void MainWindow::openElsewhere(const QString &address, const QString &question) {
    if (!question.isEmpty()) {
        // A page may make the address as long as it likes.
        const QString shown = shortened(address, kShownElsewhere);
        if (!askYesNo(
                 {QString(), question + QStringLiteral("\n\n") + shown, Message::Icon::Information},
                 false)
                 .yes)
            return;
    }
    if (context_.openElsewhere)
        context_.openElsewhere(QUrl::fromUserInput(address, QString(), QUrl::AssumeLocalFile));
}

void MainWindow::reportInternalError(BrowserResult result) {
    if (context_.questions)
        context_.questions->tell(
            this, {tr("Internal Error!"), internalErrorText(result), Message::Icon::Warning});
}

void MainWindow::setBlockingPopups(bool on) {
    blockingPopups_ = on;
    popupButton_->setText(on ? kAllowPopups : kBlockPopups);
}

void MainWindow::runCommand(Command command) {
    switch (command) {
        case Command::Back:
            // No earlier page is no error worth a word; the focus moves anyway.
            if (browser_->goBack() == BrowserResult::Done)
                forwardButton_->setEnabled(true);
            browser_->giveFocus();
            break;
        case Command::Forward:
            browser_->goForward();
            browser_->giveFocus();
            break;
        case Command::Refresh:
            browser_->refresh();
            break;
        case Command::Stop:
            browser_->stop();
            break;
        case Command::Home:
            browser_->goHome();
            break;
        case Command::Search:
            emit searchWanted();
            break;
        case Command::Favorites:
            favoritesFrame_->setVisible(!favoritesFrame_->isVisible());
            layoutWindow();
            break;
        case Command::PopupBlocking:
            setBlockingPopups(!blockingPopups_);
            break;
        case Command::HtmlWindow:
            emit htmlWindowWanted();
            break;
    }
}

void MainWindow::layoutWindow() {
    if (isMinimized())
        return;
    placeControls();
    transfers_->startConnectionTest();
}

void MainWindow::placeControls() {
    LayoutInput in;
    in.client = client_->size();
    in.outer = frameGeometry().size();
    in.favoritesShown = !favoritesFrame_->isHidden();
    in.favoritesWidth = favoritesFrame_->width();
    in.progressSize = progressBar_->size();
    in.addressHeight = addressBox_->height();
    in.favoritesListWidth = favoritesView_->width();
    in.floor = client_->height() - kStatusBarHeight;
    in.findBarHeight = findBar_->isHidden() ? 0 : findBar_->sizeHint().height();
    const LayoutPlan plan = planLayout(in);
    if (plan.tooSmall) {
        // Both sides snap back to the minimum. The resize notification that
        // follows lays the controls out for the corrected size.
        resize(kMinimumOuter - (frameGeometry().size() - size()));
        if (context_.beep)
            context_.beep();
        return;
    }
    progressBar_->move(plan.progressBar.topLeft());
    addressBox_->setGeometry(plan.addressBox);
    if (in.favoritesShown) {
        favoritesFrame_->setGeometry(plan.favoritesFrame);
        favoritesView_->setGeometry(plan.favoritesList);
    }
    browser_->widget()->setGeometry(plan.page);
    if (!plan.findBar.isNull())
        findBar_->setGeometry(plan.findBar);
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    // The status bar follows the bottom edge and the width by itself.
    statusBar_->setGeometry(0, client_->height() - kStatusBarHeight, client_->width(),
                            kStatusBarHeight);
    layoutWindow();
}

void MainWindow::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    // Coming back from the task bar lays the window out again.
    if (event->type() == QEvent::WindowStateChange && !isMinimized() &&
        (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized))
        layoutWindow();
}

}  // namespace quillow
