#include "app/window_list.h"

#include "main_window/main_window.h"

namespace quillow {

WindowList::~WindowList() {
    for (const QPointer<QWidget> &w : windows_)
        delete w.data();
}

void WindowList::add(QWidget *window) {
    // Closed windows are forgotten, however many a session opens.
    windows_.removeIf([](const QPointer<QWidget> &w) { return w.isNull(); });
    windows_.append(window);
}

void WindowList::setPrimary(MainWindow *window) {
    primary_ = window;
}

QList<MainWindow *> WindowList::mainWindows() const {
    QList<MainWindow *> out;
    for (const QPointer<QWidget> &w : windows_)
        if (auto *main = qobject_cast<MainWindow *>(w.data()))
            out.append(main);
    return out;
}

int WindowList::shownCount() const {
    int shown = 0;
    for (const QPointer<QWidget> &w : windows_)
        if (w && w->isVisible())
            ++shown;
    return shown;
}

QList<QWidget *> WindowList::all() const {
    QList<QWidget *> out;
    for (const QPointer<QWidget> &w : windows_)
        if (w)
            out.append(w);
    return out;
}

}  // namespace quillow
