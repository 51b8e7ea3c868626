#pragma once

#include "questions/questions.h"

namespace quillow {

// The questions as dialogs of the desktop's own. Each is a window of its
// own over the page's window, waited for in a local event loop: unlike a
// modal dialog it leaves the window's close box working.
class DesktopQuestions : public Questions {
public:
    PageDialogAnswer askPageDialog(QWidget *window, const PageDialog &dialog) override;
    std::optional<Credentials> askSignIn(QWidget *window, const QString &title,
                                         const QString &text) override;
    bool askYesNo(QWidget *window, const QString &title, const QString &text) override;
    void endAll(QWidget *window) override;
};

}  // namespace quillow
