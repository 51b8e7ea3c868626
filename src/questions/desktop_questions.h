#pragma once

#include "core/questions.h"

namespace quillow {

// The messages and questions as dialogs of the desktop's own. Each is a
// window of its own over the window it concerns; a question is waited for
// in a local event loop: unlike a modal dialog it leaves the window's close
// box working.
class DesktopQuestions : public Questions {
public:
    void tell(QWidget *window, const Message &message) override;
    YesNoAnswer askYesNo(QWidget *window, const Message &question, bool yesIsDefault,
                         bool offerStop) override;
    PageDialogAnswer askPageDialog(QWidget *window, const PageDialog &dialog) override;
    std::optional<Credentials> askSignIn(QWidget *window, const QString &title,
                                         const QString &text) override;
    void endAll(QWidget *window) override;
};

}  // namespace quillow
