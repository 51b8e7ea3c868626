#include "main_window/mainf.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>

#include "connection/connection_indicator.h"
#include "favorites/favorites_panel.h"
#include "inet/inet.h"
#include "main_window/caption_button.h"
#include "main_window/design_font.h"
#include "main_window/desktop_colours.h"
#include "main_window/layout.h"
#include "main_window/status_bar.h"
#include "main_window/text_rules.h"
#include "main_window/twips.h"
#include "main_window/windows.h"

namespace quillow {

const QString MainF::kCaption = QStringLiteral("Tarn - Quillow :  ");

namespace {

const QString kBlockPopups = QStringLiteral("Block Popups");
const QString kAllowPopups = QStringLiteral("Allow Popups");
const QColor kGreen(0, 255, 0);

// The designed client area and where its top-left corner sits on screen.
constexpr QSize kClientSize(704, 664);
constexpr QPoint kClientPlace(twips(2340), twips(840));

void paintBlack(QWidget *w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::black);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QGroupBox *makeFrame(QWidget *parent, const QString &name, const QString &caption,
                     const QRect &place) {
    auto *frame = new QGroupBox(caption, parent);
    frame->setObjectName(name);
    paintBlack(frame);
    QPalette p = frame->palette();
    p.setColor(QPalette::WindowText, kGreen);
    frame->setPalette(p);
    frame->setGeometry(place);
    return frame;
}

}  // namespace

MainF::MainF(Windows &windows, QWidget *parent) : QMainWindow(parent), windows_(windows) {
    setObjectName(QStringLiteral("mainf"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    paintBlack(client_);
    setCentralWidget(client_);

    const Context &ctx = windows_.context();
    buildControls();
    buildMenus();
    setTabOrder();

    inet_ = ctx.inetFactory(this);
    connection_ = new ConnectionIndicator(onoff_, inet_, ctx.connectionTestHost, this);
    favoritesPanel_ = new FavoritesPanel(
        windows_.favorites(), favemenu_, fbuttons_[0], fbuttons_[1], browser_, ctx.messages,
        [this] { command(8); }, this);

    // The client area gets its designed size and place; the menu bar sits
    // above it.
    const int menuHeight = menuBar()->sizeHint().height();
    resize(kClientSize.width(), kClientSize.height() + menuHeight);
    move(kClientPlace.x(), qMax(0, kClientPlace.y() - menuHeight));
}

MainF::~MainF() {
    // The component's widget goes with the client area; stop its events
    // reaching a half-destroyed window.
    if (browser_)
        browser_->setEvents(nullptr);
}

bool MainF::isPrimary() const {
    return windows_.primary() == this;
}

bool MainF::blockingPopups() const {
    return buttons_.value(10)->text() == kAllowPopups;
}

void MainF::buildControls() {
    const Context &ctx = windows_.context();

    addressbar_ = new QComboBox(client_);
    addressbar_->setObjectName(QStringLiteral("addressbar"));
    addressbar_->setEditable(true);
    // The list is the history of loaded pages only; Enter must not add to it,
    // nor pick an entry by itself.
    addressbar_->setInsertPolicy(QComboBox::NoInsert);
    addressbar_->setDuplicatesEnabled(true);
    addressbar_->setCompleter(nullptr);
    addressbar_->setAccessibleName(tr("Address"));
    addressbar_->setGeometry(twipsRect(3480, 840, 6975, 315));
    // Keys reach the box itself, which hands them to its line edit directly.
    addressbar_->installEventFilter(this);
    connect(addressbar_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (index != -1)
            searchnf();
    });

    browser_ = ctx.browserFactory(client_);
    browser_->setEvents(this);
    QWidget *view = browser_->widget();
    view->setObjectName(QStringLiteral("browserwindow"));
    view->setAccessibleName(tr("Web page"));
    view->setGeometry(twipsRect(120, 1200, 10575, 8295));

    webstatus_ = new StatusBar(client_);
    webstatus_->setObjectName(QStringLiteral("webstatus"));
    webstatus_->setGeometry(twipsRect(0, 9465, 10560, 495));

    pageload_ = new QProgressBar(client_);
    pageload_->setObjectName(QStringLiteral("pageload"));
    pageload_->setRange(0, 100);
    pageload_->setValue(0);
    pageload_->setTextVisible(false);
    pageload_->setAccessibleName(tr("Page loading progress"));
    pageload_->setGeometry(twipsRect(7560, 9600, 2775, 255));

    frame1_ =
        makeFrame(client_, QStringLiteral("Frame1"), tr("Navigation"), twipsRect(0, 0, 3375, 1215));
    struct Designed {
        int index;
        QWidget *container;
        QRect place;
        const char *caption;
        const char *picture;
        const char *name;
    };
    frame2_ = new QFrame(client_);
    frame2_->setObjectName(QStringLiteral("Frame2"));
    frame2_->setFrameStyle(QFrame::NoFrame);
    paintBlack(frame2_);
    frame2_->setGeometry(twipsRect(3600, 120, 2415, 735));

    const Designed designed[] = {
        {0, frame1_, twipsRect(120, 280, 135, 735), "<", nullptr, nullptr},
        {1, frame1_, twipsRect(240, 280, 975, 735), nullptr, "back", "Back"},
        {2, frame1_, twipsRect(2160, 280, 975, 735), nullptr, "forward", "Forward"},
        {3, frame1_, twipsRect(3120, 280, 135, 735), ">", nullptr, nullptr},
        {4, frame1_, twipsRect(1320, 180, 735, 495), nullptr, "refresh", "Refresh"},
        {5, frame1_, twipsRect(1320, 660, 735, 500), nullptr, "stop", "Stop"},
        {10, frame2_, twipsRect(1320, 0, 735, 735), "Block Popups", nullptr, nullptr},
        {7, frame2_, twipsRect(600, 0, 735, 375), "Search", nullptr, nullptr},
        {6, frame2_, twipsRect(-120, 0, 735, 375), "home", nullptr, nullptr},
        {8, frame2_, twipsRect(0, 360, 1335, 255), "Favorites", nullptr, nullptr},
    };
    for (const Designed &d : designed) {
        auto *b = new CaptionButton(d.container);
        b->setObjectName(QStringLiteral("buttons(%1)").arg(d.index));
        b->setGeometry(d.place);
        if (d.caption)
            b->setText(QString::fromLatin1(d.caption));
        if (d.picture) {
            const QPixmap pixmap(QStringLiteral(":/assets/%1.png").arg(QLatin1String(d.picture)));
            b->setIcon(QIcon(pixmap));
            b->setIconSize(pixmap.size());
            b->setAccessibleName(tr(d.name));
        }
        const int index = d.index;
        connect(b, &QPushButton::clicked, this, [this, index] { command(index); });
        buttons_.insert(index, b);
    }
    for (int i : {0, 1, 2, 3})
        buttons_.value(i)->setEnabled(false);
    buttons_.value(10)->setToolTip(tr("Click here to set the popup blocker on or off."));
    buttons_.value(7)->setToolTip(
        tr("Click here to search for key words or phases using 1 of 3 search engines."));
    buttons_.value(8)->setToolTip(tr("Click here to access and dismiss your favorites menu."));

    favfr_ = makeFrame(client_, QStringLiteral("favfr"), tr("Favorites"),
                       twipsRect(120, 1200, 2535, 8295));
    favfr_->hide();
    favemenu_ = new QListWidget(favfr_);
    favemenu_->setObjectName(QStringLiteral("favemenu"));
    favemenu_->setSelectionMode(QAbstractItemView::SingleSelection);
    favemenu_->setAccessibleName(tr("Favorites"));
    useDesktopColours(favemenu_);
    favemenu_->setGeometry(twipsRect(120, 840, 2295, 7275));
    const char *fcaptions[2] = {"Add to Favorites", "Remove from Favorites"};
    const QRect fplaces[2] = {twipsRect(120, 240, 1095, 495), twipsRect(1320, 240, 1095, 495)};
    for (int i = 0; i < 2; ++i) {
        fbuttons_[i] = new CaptionButton(tr(fcaptions[i]), favfr_);
        fbuttons_[i]->setObjectName(QStringLiteral("fbuttons(%1)").arg(i));
        fbuttons_[i]->setGeometry(fplaces[i]);
        useDesktopColours(fbuttons_[i]);
    }

    frame3_ = makeFrame(client_, QStringLiteral("Frame3"), tr("Internet"),
                        twipsRect(5760, 120, 855, 615));
    onoff_ = new QLabel(tr("Offline"), frame3_);
    onoff_->setObjectName(QStringLiteral("onoff"));
    onoff_->setGeometry(twipsRect(120, 240, 615, 255));
    QFont labelFont = designFont(8.25);
    labelFont.setBold(true);
    onoff_->setFont(labelFont);
    QPalette red = onoff_->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    onoff_->setPalette(red);
    onoff_->setAutoFillBackground(false);
    onoff_->setToolTip(tr("Click here to retest connection."));
    onoff_->setAccessibleName(tr("Connection"));

    // Later controls would cover earlier ones: the status bar lies over the
    // bottom of the page and the progress bar over the status bar.
    webstatus_->raise();
    pageload_->raise();
}

void MainF::buildMenus() {
    QMenuBar *bar = menuBar();

    QMenu *filed = bar->addMenu(tr("File"));
    filed->setObjectName(QStringLiteral("filed"));
    QAction *exiti = filed->addAction(tr("Exit"));
    exiti->setObjectName(QStringLiteral("exiti"));
    connect(exiti, &QAction::triggered, this, &QWidget::close);

    QMenu *navi = bar->addMenu(tr("Navigation"));
    navi->setObjectName(QStringLiteral("navi"));
    const char *navCaptions[] = {"Back", "Forward", "Refresh", "Stop", "Home", "Search"};
    for (int i = 0; i < 6; ++i) {
        QAction *a = navi->addAction(tr(navCaptions[i]));
        a->setObjectName(QStringLiteral("navig(%1)").arg(i));
        connect(a, &QAction::triggered, this, [this, i] { navigationMenu(i); });
    }

    QMenu *td = bar->addMenu(tr("Tools"));
    td->setObjectName(QStringLiteral("td"));
    QAction *html = td->addAction(tr("HTML (View/Change)"));
    html->setObjectName(QStringLiteral("toolsm(1)"));
    connect(html, &QAction::triggered, this, [this] { command(11); });

    // Switched off for good: shown greyed, its empty items never offered.
    QMenu *current = bar->addMenu(tr("Current"));
    current->setObjectName(QStringLiteral("currentstuffh"));
    for (int i = 0; i < 20; ++i)
        current->addAction(QString())->setObjectName(QStringLiteral("stuffn(%1)").arg(i));
    current->setEnabled(false);
    current->menuAction()->setEnabled(false);

    QAction *about = bar->addAction(tr("About"));
    about->setObjectName(QStringLiteral("aboutf"));
    connect(about, &QAction::triggered, this, [this] { windows_.openAbout(); });
}

void MainF::setTabOrder() {
    QList<QWidget *> order = {addressbar_, browser_->widget()};
    for (int i : {0, 1, 2, 3, 4, 5, 10, 7, 6, 8})
        order.append(buttons_.value(i));
    order.append({favemenu_, fbuttons_[0], fbuttons_[1]});
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
    addressbar_->setFocus(Qt::OtherFocusReason);
}

void MainF::load() {
    popupcount_ = 0;
    showPopupCount();
    // Only a start that worked remembers the blank page; a failure here
    // leaves lastaddress empty, and the window is laid out all the same.
    if (!browser_->Navigate(QStringLiteral("about:blank")).failed())
        lastaddress_ = QStringLiteral("about:blank");
    // Lay out for the designed size even before the window is shown.
    if (layout())
        layout()->activate();
    layoutWindow();
}

void MainF::showPopupCount() {
    webstatus_->setPanelText(2, QString::number(popupcount_) + QStringLiteral(" Popups"));
}

void MainF::searchnf() {
    MessageBoxes *messages = windows_.context().messages;
    const QString text = addressbar_->currentText();
    if (text == lastaddress_)
        return;
    if (text.isEmpty() || text == QLatin1String("about:blank")) {
        messages->show(this, tr("Please enter a web address or use search."), tr("INVALID ADDRESS"),
                       MessageBoxes::Icon::Information, MessageBoxes::Buttons::Ok);
        addressbar_->setEditText(QString());
        lastaddress_ = addressbar_->currentText();
        addressbar_->setFocus(Qt::OtherFocusReason);
        return;
    }
    lastaddress_ = text;
    BrowserError e = browser_->Navigate(trimBlanks(text));
    if (!searchnfResumes(e.number))
        return searchnfTrap(e.number);
    buttons_.value(1)->setEnabled(true);
    e = browser_->SetFocus();
    if (!searchnfResumes(e.number))
        return searchnfTrap(e.number);
}

void MainF::searchnfTrap(qint32 number) {
    windows_.context().messages->show(this, internalErrorText(number), tr("Internal Error!"),
                                      MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
}

void MainF::navigationMenu(int index) {
    // Back and Forward are commands 1 and 2, the rest skip the disabled ">".
    command(index < 2 ? index + 1 : index + 2);
}

void MainF::command(int number) {
    switch (number) {
        case 1:
            // No earlier page is no error worth a word; the focus moves anyway.
            if (!browser_->GoBack().failed())
                buttons_.value(2)->setEnabled(true);
            browser_->SetFocus();
            break;
        case 2:
            browser_->GoForward();
            browser_->SetFocus();
            break;
        case 4:
            browser_->Refresh();
            break;
        case 5:
            browser_->Stop();
            break;
        case 6:
            browser_->GoHome();
            break;
        case 7:
            windows_.openSearch();
            break;
        case 8:
            favfr_->setVisible(!favfr_->isVisible());
            layoutWindow();
            break;
        case 10: {
            QPushButton *toggle = buttons_.value(10);
            toggle->setText(toggle->text() == kBlockPopups ? kAllowPopups : kBlockPopups);
            break;
        }
        case 11:
            windows_.openHtml();
            break;
        default:
            break;
    }
}

void MainF::layoutWindow() {
    if (isMinimized())
        return;
    LayoutInput in;
    in.client = client_->size();
    in.outer = frameGeometry().size();
    in.favoritesShown = !favfr_->isHidden();
    in.favoritesWidth = favfr_->width();
    in.progressSize = pageload_->size();
    in.addressHeight = addressbar_->height();
    in.favoritesListWidth = favemenu_->width();
    const LayoutPlan plan = planLayout(in);
    if (plan.tooSmall) {
        // Both sides snap back to the minimum. The resize notification that
        // follows lays the controls out for the corrected size.
        resize(kMinimumOuter - (frameGeometry().size() - size()));
        if (windows_.context().beep)
            windows_.context().beep();
        connection_->retest();
        return;
    }
    pageload_->move(plan.pageload.topLeft());
    addressbar_->setGeometry(plan.addressbar);
    if (in.favoritesShown) {
        favfr_->setGeometry(plan.favfr);
        favemenu_->setGeometry(plan.favemenu);
    }
    browser_->widget()->setGeometry(plan.browser);
    connection_->retest();
}

void MainF::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    // The status bar follows the bottom edge and the width by itself.
    const int barHeight = twips(495);
    webstatus_->setGeometry(0, client_->height() - barHeight, client_->width(), barHeight);
    layoutWindow();
}

void MainF::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    // Coming back from the task bar lays the window out again.
    if (event->type() == QEvent::WindowStateChange && !isMinimized() &&
        (static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized))
        layoutWindow();
}

bool MainF::eventFilter(QObject *watched, QEvent *event) {
    if (watched == addressbar_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            searchnf();
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace quillow
