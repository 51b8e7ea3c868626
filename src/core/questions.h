#pragma once

#include <QString>
#include <optional>

#include "browser/browser.h"

class QWidget;

namespace quillow {

// A message or a Yes/No question as the user reads it. An empty title is
// the program's own name.
struct Message {
    enum class Icon { None, Information, Warning };
    QString title;
    QString text;
    Icon icon = Icon::None;
};

// A page's own dialog as it is put to the user.
struct PageDialog {
    PageDialogRequest::Kind kind = PageDialogRequest::Kind::Alert;
    QString title;
    QString message;
    QString defaultText;     // a prompt's
    bool offerStop = false;  // offers to stop the page's further dialogs
};

struct PageDialogAnswer {
    bool accepted = false;  // OK, not Cancel
    QString text;           // a prompt's
    bool stopDialogs = false;
};

struct YesNoAnswer {
    bool yes = false;
    bool stopAsking = false;  // stop the page's further questions of this kind
};

struct Credentials {
    QString user;
    QString password;
};

// Everything the program tells or asks the user, over the window it
// concerns. Nothing blocks another window, nor its own window's close box:
// a window that closes ends its questions with endAll() first, and a
// question ended so, or closed, counts as OK, No or Cancel. A message
// returns at once and goes with its window; a question waits for its
// answer in a local event loop, so the caller must expect its window to be
// closing when it returns. Tests answer from a script.
class Questions {
public:
    virtual ~Questions() = default;
    // An OK box.
    virtual void tell(QWidget *window, const Message &message) = 0;
    // Yes and No. yesIsDefault picks the button Enter presses; offerStop
    // also offers to stop the page's further questions of this kind.
    virtual YesNoAnswer askYesNo(QWidget *window, const Message &question, bool yesIsDefault,
                                 bool offerStop) = 0;
    virtual PageDialogAnswer askPageDialog(QWidget *window, const PageDialog &dialog) = 0;
    // nullopt when the user cancels.
    virtual std::optional<Credentials> askSignIn(QWidget *window, const QString &title,
                                                 const QString &text) = 0;
    // Ends every question and message open over window, as if dismissed.
    virtual void endAll(QWidget *window) = 0;
};

}  // namespace quillow
