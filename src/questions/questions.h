#pragma once

#include <QString>
#include <optional>

#include "browser/browser.h"

class QWidget;

namespace quillow {

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

struct Credentials {
    QString user;
    QString password;
};

// The questions a page puts to the user, asked over the window that shows
// the page. None blocks other windows, nor its own window's close box: the
// window ends its questions with endAll() and waits for them to return. A
// question closed or ended counts as Cancel or No. Tests answer from a
// script.
class Questions {
public:
    virtual ~Questions() = default;
    virtual PageDialogAnswer askPageDialog(QWidget *window, const PageDialog &dialog) = 0;
    // nullopt when the user cancels.
    virtual std::optional<Credentials> askSignIn(QWidget *window, const QString &title,
                                                 const QString &text) = 0;
    // A Yes/No question whose default is No.
    virtual bool askYesNo(QWidget *window, const QString &title, const QString &text) = 0;
    // Ends every question open over window, as if dismissed.
    virtual void endAll(QWidget *window) = 0;
};

}  // namespace quillow
