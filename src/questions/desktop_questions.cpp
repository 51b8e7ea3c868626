#include "questions/desktop_questions.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <memory>

#include "questions/question_texts.h"

namespace quillow {

namespace {

// Marks the dialogs endAll() ends.
const char *const kQuestionProperty = "quillowQuestion";

// A dialog wide enough for its texts to wrap into readable lines.
constexpr int kDialogWidth = 420;

// Sizes a dialog of wrapped texts to the height they need at its width
// (left to itself it takes the height of a narrower layout), within the
// screen it opens on.
void fitHeight(QDialog *dialog) {
    const QSize screen = dialog->screen()->availableSize();
    const int width = qMin(qMax(kDialogWidth, dialog->sizeHint().width()), screen.width());
    const int height = dialog->heightForWidth(width);
    dialog->resize(width, qMin(height > 0 ? height : dialog->sizeHint().height(), screen.height()));
}

// Shows dialog over its window and waits for it in a local event loop, the
// window's close box still working. False when it was not accepted, or went
// with its window.
bool runOver(const QPointer<QDialog> &dialog) {
    dialog->setProperty(kQuestionProperty, true);
    dialog->setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    loop.exec(QEventLoop::DialogExec);
    return dialog && dialog->result() == QDialog::Accepted;
}

// Deletes a dialog that still exists when the question ends.
struct DialogDeleter {
    void operator()(QPointer<QDialog> *d) const {
        delete d->data();
        delete d;
    }
};
using DialogHolder = std::unique_ptr<QPointer<QDialog>, DialogDeleter>;

QLabel *textLabel(const QString &text, QWidget *parent) {
    auto *label = new QLabel(breakable(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString titleOf(const Message &message) {
    return message.title.isEmpty() ? QApplication::applicationName() : message.title;
}

// A message box over window, not yet shown, marked for endAll().
QMessageBox *messageBox(QWidget *window, const Message &message,
                        QMessageBox::StandardButtons buttons) {
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                   QMessageBox::Warning};
    auto *box = new QMessageBox(kIcons[int(message.icon)], titleOf(message),
                                breakable(message.text), buttons, window);
    box->setTextFormat(Qt::PlainText);
    box->setProperty(kQuestionProperty, true);
    return box;
}

QDialogButtonBox *buttonBox(QDialog *dialog, QDialogButtonBox::StandardButtons which) {
    auto *buttons = new QDialogButtonBox(which, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace

PageDialogAnswer DesktopQuestions::askPageDialog(QWidget *window, const PageDialog &dialog) {
    using Kind = PageDialogRequest::Kind;
    auto *d = new QDialog(window);
    DialogHolder holder(new QPointer<QDialog>(d));
    d->setObjectName(QStringLiteral("pagedialog"));
    d->setWindowTitle(dialog.title);
    d->setMinimumWidth(kDialogWidth);
    auto *layout = new QVBoxLayout(d);
    layout->addWidget(textLabel(dialog.message, d));
    QLineEdit *input = nullptr;
    if (dialog.kind == Kind::Prompt) {
        input = new QLineEdit(dialog.defaultText, d);
        input->setObjectName(QStringLiteral("pagedialoginput"));
        input->setAccessibleName(QObject::tr("Answer"));
        layout->addWidget(input);
    }
    QCheckBox *stop = nullptr;
    if (dialog.offerStop) {
        stop = new QCheckBox(stopDialogsText(), d);
        stop->setObjectName(QStringLiteral("stopdialogs"));
        layout->addWidget(stop);
    }
    QDialogButtonBox *buttons =
        buttonBox(d, dialog.kind == Kind::Alert ? QDialogButtonBox::Ok
                                                : QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    if (input)
        input->setFocus();
    else
        buttons->button(QDialogButtonBox::Ok)->setFocus();
    fitHeight(d);

    PageDialogAnswer answer;
    answer.accepted = runOver(*holder);
    if (*holder) {
        answer.text = input && answer.accepted ? input->text() : QString();
        answer.stopDialogs = stop && stop->isChecked();
    }
    return answer;
}

std::optional<Credentials> DesktopQuestions::askSignIn(QWidget *window, const QString &title,
                                                       const QString &text) {
    auto *d = new QDialog(window);
    DialogHolder holder(new QPointer<QDialog>(d));
    d->setObjectName(QStringLiteral("signin"));
    d->setWindowTitle(title);
    d->setMinimumWidth(kDialogWidth);
    auto *layout = new QVBoxLayout(d);
    layout->addWidget(textLabel(text, d));
    auto *form = new QFormLayout;
    auto *user = new QLineEdit(d);
    user->setObjectName(QStringLiteral("signinuser"));
    auto *password = new QLineEdit(d);
    password->setObjectName(QStringLiteral("signinpassword"));
    password->setEchoMode(QLineEdit::Password);
    form->addRow(QObject::tr("&User name:"), user);
    form->addRow(QObject::tr("&Password:"), password);
    layout->addLayout(form);
    QDialogButtonBox *buttons = buttonBox(d, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QObject::tr("Sign In"));
    layout->addWidget(buttons);
    user->setFocus();
    fitHeight(d);

    if (!runOver(*holder) || !*holder)
        return std::nullopt;
    return Credentials{user->text(), password->text()};
}

void DesktopQuestions::tell(QWidget *window, const Message &message) {
    // The same message again (a save that keeps failing) raises the one
    // on show instead of piling up another.
    if (window)
        for (QMessageBox *open : window->findChildren<QMessageBox *>(Qt::FindDirectChildrenOnly))
            if (open->property(kQuestionProperty).toBool() && open->isVisible() &&
                open->text() == message.text && open->windowTitle() == titleOf(message)) {
                open->raise();
                open->activateWindow();
                return;
            }
    QMessageBox *box = messageBox(window, message, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("message"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    box->raise();
    box->activateWindow();
}

YesNoAnswer DesktopQuestions::askYesNo(QWidget *window, const Message &question, bool yesIsDefault,
                                       bool offerStop) {
    QMessageBox *box = messageBox(window, question, QMessageBox::Yes | QMessageBox::No);
    DialogHolder holder(new QPointer<QDialog>(box));
    box->setObjectName(QStringLiteral("yesnoquestion"));
    box->setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    if (offerStop)
        box->setCheckBox(new QCheckBox(stopAskingText(), box));
    runOver(*holder);
    if (!*holder)
        return {};
    return {box->clickedButton() == box->button(QMessageBox::Yes),
            box->checkBox() && box->checkBox()->isChecked()};
}

void DesktopQuestions::endAll(QWidget *window) {
    for (QDialog *d : window->findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
        if (d->property(kQuestionProperty).toBool())
            d->reject();
}

}  // namespace quillow
