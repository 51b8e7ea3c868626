#pragma once

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillow {

// The search dialog: words, one of three engines and the kind of result.
// One for the whole program; it deletes itself when closed, so the next
// opening starts from "Dog Pile", "Web Pages" and an empty word box.
class SearchDialog : public QDialog {
    Q_OBJECT
public:
    SearchDialog();

    // Asks for the request for the words, then closes the dialog.
    void search();

    int engine() const { return engine_; }
    int kind() const { return kind_; }

Q_SIGNALS:
    // The engine's address for the words (empty for no engine): to be shown,
    // and the window showing it brought forward.
    void searchRequested(const QString &address);
    // Closed without a search: the window it was opened for comes forward.
    void cancelled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    void buildControls();
    void chooseEngine(int engine);
    void chooseKind(int kind);
    void cancel();

    QRadioButton *engineOptions_[3] = {};
    QRadioButton *kindOptions_[2] = {};
    QLineEdit *wordsBox_ = nullptr;
    QPushButton *findButton_ = nullptr;
    QPushButton *cancelButton_ = nullptr;
    QPointer<QWidget> lastFocus_;

    int engine_ = 0;  // by the request builder's SearchEngine
    int kind_ = 0;    // by the request builder's SearchKind
};

}  // namespace quillow
