#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace quillow {

class MainWindow;

// The program's open windows: every main window, the primary one among
// them, and the windows that exist once each (search, HTML, About). A
// window leaves the list when it is gone.
class WindowList {
public:
    WindowList() = default;
    // Windows still open when the list goes (tests) go first.
    ~WindowList();
    WindowList(const WindowList &) = delete;
    WindowList &operator=(const WindowList &) = delete;

    void add(QWidget *window);
    void setPrimary(MainWindow *window);

    // The primary main window, or null once it has been closed.
    MainWindow *primary() const { return primary_; }
    // Every main window still open, oldest first.
    QList<MainWindow *> mainWindows() const;
    // The open window of kind W, if any.
    template <typename W>
    W *find() const {
        for (const QPointer<QWidget> &w : windows_)
            if (auto *found = qobject_cast<W *>(w.data()))
                return found;
        return nullptr;
    }
    // Every window still open, and how many of them are on show.
    QList<QWidget *> all() const;
    int shownCount() const;

private:
    QList<QPointer<QWidget>> windows_;
    QPointer<MainWindow> primary_;
};

}  // namespace quillow
