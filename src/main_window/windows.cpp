#include "main_window/windows.h"

#include <QDir>

#include "about/aboutform.h"
#include "favorites/favorites_list.h"
#include "html_window/htmlf.h"
#include "main_window/mainf.h"
#include "search/searchn.h"

namespace quillow {

namespace {
template <typename W>
void bringForward(W *w) {
    w->show();
    w->raise();
    w->activateWindow();
}
}  // namespace

Windows::Windows(Context context, QObject *parent) : QObject(parent), context_(std::move(context)) {
    favorites_ = new FavoritesList(
        QDir(context_.programDir).filePath(QStringLiteral("favorites.dat")), this);
    favorites_->load();
}

Windows::~Windows() {
    // Windows still open when the program object goes (tests) close first,
    // while the list they show still exists.
    for (QPointer<QWidget> w :
         {QPointer<QWidget>(search_), QPointer<QWidget>(html_), QPointer<QWidget>(about_)})
        delete w.data();
    for (MainF *m : mainWindows())
        delete m;
}

QList<MainF *> Windows::mainWindows() const {
    QList<MainF *> out;
    for (const QPointer<MainF> &m : mains_)
        if (m)
            out.append(m);
    return out;
}

MainF *Windows::primary() const {
    return primary_;
}

SearchN *Windows::searchDialog() const {
    return search_;
}

HtmlF *Windows::htmlWindow() const {
    return html_;
}

AboutForm *Windows::aboutWindow() const {
    return about_;
}

MainF *Windows::createMainWindow() {
    auto *w = new MainF(*this);
    mains_.append(w);
    w->load();
    return w;
}

MainF *Windows::createPrimary() {
    primary_ = createMainWindow();
    return primary_;
}

MainF *Windows::createPopup() {
    return createMainWindow();
}

MainF *Windows::primaryForAction() {
    if (!primary_) {
        createPrimary();
        primary_->show();
    }
    return primary_;
}

void Windows::openSearch() {
    if (!search_)
        search_ = new SearchN(*this);
    bringForward(search_.data());
}

void Windows::openHtml() {
    if (!html_)
        html_ = new HtmlF(*this);
    html_->show();
    html_->raise();
}

void Windows::openAbout() {
    if (!about_)
        about_ = new AboutForm(*this);
    bringForward(about_.data());
}

}  // namespace quillow
