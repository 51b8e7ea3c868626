#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace quillow {

class Browser;

// The find bar below a page: the page's matches of what is typed,
// highlighted as the user types, "3 of 12" or "Not found". Enter or F3 goes
// to the next match, with Shift to the one before; Escape closes the bar
// and gives the page the focus. Hidden until opened; while it shows, the
// page makes room for it, so that every match can be scrolled into view.
class FindBar : public QWidget {
    Q_OBJECT
public:
    FindBar(Browser *browser, QWidget *parent);

    // Shows the bar with its text selected, for typing anew; a bar opened
    // again looks for its text again.
    void open();
    // The match after the one on show, or before it; opens a closed bar.
    void findNext(bool backward);

Q_SIGNALS:
    // The bar was shown or hidden: the page is to be laid out again.
    void shownChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search(const QString &text, bool backward);
    void dismiss();
    void showResult(int active, int matches);

    Browser *browser_;
    QLineEdit *text_;
    QLabel *result_;
    // A search of the bar's runs on the page on show: its answer is shown.
    bool answerAwaited_ = false;
};

}  // namespace quillow
