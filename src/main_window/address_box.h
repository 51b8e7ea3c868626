#pragma once

#include <QComboBox>

namespace quillow {

// The main window's address box: an editable line over the list of the
// addresses loaded. Only Enter and a real pick from the drop-down list go
// to an address; a wheel turn over it changes nothing, and leaving it with
// a text that happens to equal an entry picks nothing.
class AddressBox : public QComboBox {
    Q_OBJECT
public:
    // At most this many addresses are kept in the list, the newest.
    static constexpr int kHistoryLimit = 300;

    explicit AddressBox(QWidget *parent = nullptr);

    // Gives the box the focus with its text selected, so typing replaces it.
    void takeFocus();
    // Shows the page's address, unless the user is typing one: then the
    // typed text stays. Selected when the box has its window's focus, so
    // the first keys replace it, also before the window is active.
    void showAddress(const QString &address);
    // Adds a loaded address to the list, leaving the text as it is.
    void remember(const QString &address);

    void showPopup() override;
    void hidePopup() override;

Q_SIGNALS:
    // Enter, or an entry picked from the drop-down list: go to text.
    void addressChosen(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Whether the box is its window's focus widget, active or not.
    bool holdsFocus() const;

    // The focus came with a mouse press: its release selects the address.
    bool selectOnRelease_ = false;
    // The drop-down list is open, or closing with the user's pick.
    bool listOpen_ = false;
};

}  // namespace quillow
