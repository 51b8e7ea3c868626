#pragma once

#include <QDialog>
#include <QPointer>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillow {

class Windows;

// The search dialog: words, one of three engines and the kind of result.
// One for the whole program; it deletes itself when closed, so the next
// opening starts from "Dog Pile", "Web Pages" and an empty word box.
class SearchN : public QDialog {
    Q_OBJECT
public:
    explicit SearchN(Windows &windows);

    // Sends the primary main window to the request for the words, gives
    // that window the focus and closes the dialog.
    void processme();

    int searchengine() const { return searchengine_; }
    int searchmethod() const { return searchmethod_; }
    // The words of the last request, encoded as the engine takes them.
    const QString &searchwords() const { return searchwords_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    void buildControls();
    void searchoptionClick(int index);
    void meathodoptionClick(int index);
    void command1Click();

    Windows &windows_;
    QGroupBox *frame1_ = nullptr;
    QLabel *label2_ = nullptr;
    QRadioButton *searchoption_[3] = {nullptr, nullptr, nullptr};
    QGroupBox *frame2_ = nullptr;
    QRadioButton *meathodoption_[2] = {nullptr, nullptr};
    QLabel *label1_ = nullptr;
    QLineEdit *wordorphrase_ = nullptr;
    QPushButton *command2_ = nullptr;
    QPushButton *command1_ = nullptr;
    QPointer<QWidget> lastFocus_;

    int searchengine_ = 0;
    qint16 searchmethod_ = 0;
    QString searchwords_;
};

}  // namespace quillow
