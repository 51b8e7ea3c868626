#include "app/program.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWebEngineProfile>

#include "about/about_window.h"
#include "app/file_locations.h"
#include "blocking_log/blocking_log_window.h"
#include "browser/page_blocking.h"
#include "browser/web_engine_browser.h"
#include "connection/transfer_arbiter.h"
#include "core/questions.h"
#include "favorites/favorites_list.h"
#include "html_window/html_window.h"
#include "inet/network_transfer.h"
#include "main_window/layout.h"
#include "main_window/main_window.h"
#include "search/search_dialog.h"

namespace quillow {

namespace {
void bringForward(QWidget *w) {
    w->show();
    w->raise();
    w->activateWindow();
}
}  // namespace

Program::Program(Context context, QObject *parent)
    : QObject(parent),
      context_(std::move(context)),
      favorites_(new FavoritesList(
          context_.favoritesDir.isEmpty()
              ? QString()
              : QDir(context_.favoritesDir).filePath(QStringLiteral("favorites.dat")),
          FavoritesList::kReadLimit, this)) {
    context_.rules = &rules_;
    // Told once, over the primary main window (another one when it is
    // closed).
    connect(favorites_, &FavoritesList::partlyRead, this, [this] {
        const QList<MainWindow *> mains = windows_.mainWindows();
        MainWindow *over = windows_.primary() ? windows_.primary() : mains.value(0);
        if (!context_.questions || !over)
            return;
        context_.questions->tell(
            over, {tr("Favorites"),
                   tr("%1 is larger than %2 MiB: only the favorites in its first %2 MiB are "
                      "shown. The rest stays in the file.")
                       .arg(QDir::toNativeSeparators(favorites_->filePath()))
                       .arg(FavoritesList::kReadLimit / (1024 * 1024)),
                   Message::Icon::Information});
    });
    favorites_->load();
}

// The windows (those in the list first, then the ready one) go before the
// favorites they show, which go with this object.
Program::~Program() = default;

MainWindow *Program::makeMainWindow() {
    auto *w = new MainWindow(context_, favorites_);
    connect(w, &MainWindow::searchWanted, this, &Program::openSearch);
    connect(w, &MainWindow::htmlWindowWanted, this, &Program::openHtml);
    connect(w, &MainWindow::aboutWanted, this, &Program::openAbout);
    // The user's own command: a window of the user's, whatever the blocker.
    connect(w, &MainWindow::newWindowWanted, this,
            [this, w](const QString &url) { openMainWindow(url, w); });
    connect(w, &MainWindow::sourceWanted, this, &Program::showSource);
    connect(w, &MainWindow::blockingRecordWanted, this, &Program::showBlockingRecord);
    connect(w, &MainWindow::popupAccepted, this, [this, w](NewWindowRequest &request) {
        MainWindow *popup = createPopup();
        popup->browser()->setSilent(true);
        request.openIn(popup->browser());
        placeBeside(popup, w);
        popup->show();
    });
    w->load();
    return w;
}

void Program::adopt(QWidget *window) {
    windows_.add(window);
    window->installEventFilter(this);
}

void Program::adoptMain(MainWindow *window) {
    adopt(window);
    connect(window->browser(), &Browser::navigationCompleted, this, &Program::mainWindowsChanged);
    connect(window, &QObject::destroyed, this, &Program::mainWindowsChanged);
    emit mainWindowsChanged();
    // The title always shows on the primary window; with that one closed
    // there is nothing to show it on.
    connect(window, &MainWindow::pageTitleChanged, this, [this](const QString &title) {
        if (MainWindow *primary = windows_.primary())
            primary->setWindowTitle(MainWindow::kCaption + title);
    });
}

bool Program::eventFilter(QObject *watched, QEvent *event) {
    // A closing window hides first; the one it leaves is gone or closing.
    if (event->type() == QEvent::Hide && windows_.shownCount() == 0)
        emit lastWindowClosed();
    return QObject::eventFilter(watched, event);
}

QStringList Program::openPages() const {
    QStringList pages;
    for (const MainWindow *w : windows_.mainWindows())
        if (const QString page = w->pageAddress(); page != QLatin1String("about:blank"))
            pages.append(page);
    for (const QString &address : handedOver_)
        if (!address.isEmpty())
            pages.append(address);
    return pages;
}

void Program::offerBack(MainWindow *primary, const QStringList &pages) {
    if (pages.isEmpty() || !context_.questions)
        return;
    const QPointer<MainWindow> window(primary);
    const QString text = pages.size() == 1
                             ? tr("Quillow did not close properly. Open the page that was open?")
                             : tr("Quillow did not close properly. Open the %1 pages that were "
                                  "open?")
                                   .arg(pages.size());
    // The window may close while the question is open.
    if (!context_.questions->askYesNo(primary, {QString(), text}, true, false).yes || !window)
        return;
    // A start with an address of its own shows that in the primary window.
    QStringList others = pages;
    if (window->pageAddress() == QLatin1String("about:blank"))
        window->goToTypedAddress(others.takeFirst());
    // The others one window an event-loop turn, as handed-over ones.
    if (!others.isEmpty())
        openHandedOver(others);
}

void Program::closeAll() {
    for (QWidget *window : windows_.all())
        window->close();
}

MainWindow *Program::createMainWindow() {
    MainWindow *w = makeMainWindow();
    adoptMain(w);
    return w;
}

MainWindow *Program::createPrimary() {
    MainWindow *w = createMainWindow();
    windows_.setPrimary(w);
    return w;
}

MainWindow *Program::createPopup() {
    return createMainWindow();
}

void Program::placeBeside(MainWindow *window, const QWidget *from) {
    if (!from)
        return;
    const QSize frame = from->frameGeometry().size() - from->size();
    window->move(cascadedPlace(from->frameGeometry(), window->size() + frame,
                               from->screen()->availableGeometry()));
}

MainWindow *Program::openMainWindow(const QString &address, const QWidget *from) {
    if (const QList<MainWindow *> mains = windows_.mainWindows(); !from && !mains.isEmpty())
        from = mains.last();
    auto *w = static_cast<MainWindow *>(rules_.takeReady());
    if (w)
        adoptMain(w);
    else
        w = createMainWindow();
    placeBeside(w, from);
    bringForward(w);
    if (!address.isEmpty())
        w->goToTypedAddress(address);
    // Windows opened from other programs come in runs (links clicked one
    // after the other): the next one is made ready, its blank page loaded,
    // once this one has shown its own, so it opens at once.
    QTimer::singleShot(kSpareDelayMs, this, &Program::prepareSpare);
    return w;
}

void Program::prepareSpare() {
    if (!rules_.hasReady())
        rules_.keepReady(makeMainWindow());
}

void Program::openAtStart(MainWindow *primary, const QStringList &addresses) {
    if (addresses.isEmpty())
        return;
    primary->goToTypedAddress(addresses.first());
    for (qsizetype i = 1; i < addresses.size(); ++i)
        openMainWindow(addresses.at(i));
}

void Program::openHandedOver(const QStringList &addresses) {
    // One window an event-loop turn: the windows open take input in between.
    const bool idle = handedOver_.isEmpty();
    handedOver_ += addresses.isEmpty() ? QStringList{QString()} : addresses;
    if (idle)
        QTimer::singleShot(0, this, &Program::openNextHandedOver);
}

void Program::openNextHandedOver() {
    if (handedOver_.isEmpty())
        return;
    openMainWindow(handedOver_.takeFirst());
    if (!handedOver_.isEmpty())
        QTimer::singleShot(0, this, &Program::openNextHandedOver);
}

MainWindow *Program::primaryForAction() {
    if (!windows_.primary()) {
        createPrimary();
        windows_.primary()->show();
    }
    return windows_.primary();
}

void Program::openSearch() {
    auto *search = windows_.find<SearchDialog>();
    if (!search) {
        search = new SearchDialog;
        // Searches always show in the primary main window, also when a
        // popup window opened the dialog; a closed one is opened again so
        // the results can be seen. A cancel opens nothing.
        connect(search, &SearchDialog::searchRequested, this, [this](const QString &address) {
            MainWindow *primary = primaryForAction();
            if (!address.isEmpty())
                primary->browser()->navigate(address);
            primary->raise();
            primary->activateWindow();
        });
        connect(search, &SearchDialog::cancelled, this, [this] {
            if (MainWindow *primary = windows_.primary()) {
                primary->raise();
                primary->activateWindow();
            }
        });
        adopt(search);
    }
    bringForward(search);
}

void Program::openHtml() {
    showHtml(windows_.find<HtmlWindow>() ? QString() : primaryForAction()->addressText());
}

void Program::showSource(const QString &address) {
    if (HtmlWindow *html = windows_.find<HtmlWindow>())
        html->showSource(address);
    showHtml(address);
}

void Program::showHtml(const QString &address) {
    auto *html = windows_.find<HtmlWindow>();
    if (!html) {
        // It works on the primary main window's page, through that
        // window's transfer component.
        html = new HtmlWindow(context_, address, [this]() -> PageFetcher * {
            return primaryForAction()->transfers();
        });
        connect(html, &HtmlWindow::runRequested, this, [this](const QString &path) {
            primaryForAction()->goToTypedAddress(path, MainWindow::From::HtmlWindow);
        });
        adopt(html);
    }
    // Brought forward, but the focus stays where it is.
    html->show();
    html->raise();
}

void Program::showBlockingRecord(const BlockingRecord &record) {
    auto *log = windows_.find<BlockingLogWindow>();
    if (!log) {
        log = new BlockingLogWindow;
        adopt(log);
    }
    log->showRecord(record);
    bringForward(log);
}

void Program::openAbout() {
    auto *about = windows_.find<AboutWindow>();
    if (!about) {
        about = new AboutWindow;
        // Through the primary main window, as if typed there, every time.
        connect(about, &AboutWindow::linkChosen, this, [this](const QString &address) {
            primaryForAction()->goToTypedAddress(address, MainWindow::From::OwnLink);
        });
        adopt(about);
    }
    bringForward(about);
}

void setApplicationNames() {
    QCoreApplication::setApplicationName(QStringLiteral("Quillow"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(QUILLOW_VERSION_MAJOR)
                                                .arg(QUILLOW_VERSION_MINOR)
                                                .arg(QUILLOW_VERSION_PATCH));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillow"));
}

void setApplicationIdentity() {
    setApplicationNames();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));
}

std::unique_ptr<QWebEngineProfile> lastingProfile(const FileLocations &where) {
    if (where.profileDir.isEmpty())
        return nullptr;
    return persistentProfile(where.profileDir, where.profileCacheDir);
}

Context realContext(Questions *questions, QWebEngineProfile *profile, const FileLocations &where,
                    ContentBlocker *contentBlocker) {
    Context context;
    // An installed copy's folders may not exist yet; nobody else on the
    // machine reads them. A portable copy's folder is the program's own.
    if (where.installed)
        for (const QString &dir : {where.favoritesDir, where.scratchDir})
            makePrivatePath(dir);
    context.favoritesDir = where.favoritesDir;
    context.scratchDir = where.scratchDir;
    context.questions = questions;
    context.beep = [] { QApplication::beep(); };
    context.openElsewhere = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    context.connectionTestHost = QStringLiteral("www.example.com");
    context.contentBlocker = contentBlocker;
    context.browserFactory = webEngineBrowserFactory(
        profile, QUrl(QStringLiteral("qrc:/assets/home.html")), contentBlocker);
    if (contentBlocker)
        serveBlockingScheme(profile, contentBlocker);
    context.transferFactory = [](QObject *parent) -> InternetTransfer * {
        return new NetworkTransfer(parent);
    };
    return context;
}

}  // namespace quillow
