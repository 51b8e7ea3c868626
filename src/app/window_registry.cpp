#include "app/window_registry.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include "about/about_window.h"
#include "app/message_boxes.h"
#include "favorites/favorites_list.h"
#include "html_window/html_window.h"
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

WindowRegistry::WindowRegistry(Context context, QObject *parent)
    : QObject(parent),
      context_(std::move(context)),
      favorites_(new FavoritesList(
          context_.favoritesDir.isEmpty()
              ? QString()
              : QDir(context_.favoritesDir).filePath(QStringLiteral("favorites.dat")),
          FavoritesList::kReadLimit, this)) {
    // Told once, in whichever window is in front then.
    connect(favorites_, &FavoritesList::partlyRead, this, [this] {
        context_.messages->show(
            QApplication::activeWindow(),
            tr("%1 is larger than %2 MiB: only the favorites in its first %2 MiB are shown. The "
               "rest stays in the file.")
                .arg(QDir::toNativeSeparators(favorites_->filePath()))
                .arg(FavoritesList::kReadLimit / (1024 * 1024)),
            tr("Favorites"), MessageBoxes::Icon::Information, MessageBoxes::Buttons::Ok);
    });
    favorites_->load();
    clock_.start();
}

WindowRegistry::~WindowRegistry() {
    // Windows still open when the registry goes (tests) close first, while
    // the list they show still exists.
    delete search_.data();
    delete html_.data();
    delete about_.data();
    delete spare_.data();
    qDeleteAll(mainWindows());
}

MainWindow *WindowRegistry::primary() const {
    return primary_;
}

SearchDialog *WindowRegistry::searchDialog() const {
    return search_;
}

HtmlWindow *WindowRegistry::htmlWindow() const {
    return html_;
}

AboutWindow *WindowRegistry::aboutWindow() const {
    return about_;
}

QList<MainWindow *> WindowRegistry::mainWindows() const {
    QList<MainWindow *> out;
    for (const QPointer<MainWindow> &m : mains_)
        if (m)
            out.append(m);
    return out;
}

MainWindow *WindowRegistry::createMainWindow() {
    auto *w = new MainWindow(*this);
    // Closed windows are forgotten, however many a session opens.
    mains_.removeIf([](const QPointer<MainWindow> &m) { return m.isNull(); });
    mains_.append(w);
    w->load();
    return w;
}

MainWindow *WindowRegistry::createPrimary() {
    primary_ = createMainWindow();
    return primary_;
}

MainWindow *WindowRegistry::createPopup() {
    return createMainWindow();
}

MainWindow *WindowRegistry::openMainWindow(const QString &address) {
    MainWindow *w = spare_;
    if (w) {
        spare_ = nullptr;
        mains_.append(w);
    } else {
        w = createMainWindow();
    }
    bringForward(w);
    if (!address.isEmpty())
        w->goToTypedAddress(address);
    // Windows opened from other programs come in runs (links clicked one
    // after the other): the next one is made ready, its blank page loaded,
    // once this one has shown its own, so it opens at once.
    QTimer::singleShot(kSpareDelayMs, this, &WindowRegistry::prepareSpare);
    return w;
}

void WindowRegistry::prepareSpare() {
    if (spare_)
        return;
    spare_ = new MainWindow(*this);
    spare_->load();
}

MainWindow *WindowRegistry::primaryForAction() {
    if (!primary_) {
        createPrimary();
        primary_->show();
    }
    return primary_;
}

bool WindowRegistry::allowWindowWithoutClick() {
    return popupAllowance_.allow(clock_.elapsed());
}

bool WindowRegistry::beginFailureQuestion() {
    if (failureQuestionOpen_)
        return false;
    failureQuestionOpen_ = true;
    return true;
}

void WindowRegistry::openSearch() {
    if (!search_)
        search_ = new SearchDialog(*this);
    bringForward(search_);
}

void WindowRegistry::openHtml() {
    if (!html_)
        html_ = new HtmlWindow(*this);
    // Brought forward, but the focus stays where it is.
    html_->show();
    html_->raise();
}

void WindowRegistry::openAbout() {
    if (!about_)
        about_ = new AboutWindow(*this);
    bringForward(about_);
}

}  // namespace quillow
