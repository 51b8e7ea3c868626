#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace quillow {

class Browser;

// The find bar over the lower edge of a page: the page's matches of what
// is typed, highlighted as the user types, "3 of 12" or "Not found".
// Enter or F3 goes to the next match, with Shift to the one before; Escape
// closes the bar and gives the page the focus. Hidden until opened; it
// follows the page's place by itself.
class FindBar : public QWidget {
    Q_OBJECT
public:
    // The bar covers the lower edge of the browser's widget, above floor
    // where floor overlaps the page.
    FindBar(Browser *browser, QWidget *floor, QWidget *parent);

    // Shows the bar with its text selected, for typing anew.
    void open();
    // The match after the one on show, or before it; opens a closed bar.
    void findNext(bool backward);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dismiss();
    void follow();
    void showResult(int active, int matches);

    Browser *browser_;
    QWidget *page_;
    QWidget *floor_;
    QLineEdit *text_;
    QLabel *result_;
};

}  // namespace quillow
