#pragma once

#include <QPointer>
#include <QWidget>

#include "html_window/page_encoding.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillow {

class TransferArbiter;
class WindowRegistry;
struct TransferResult;

// The HTML window: fetches the HTML text of an address through the primary
// main window's transfer component, lets the user change it, and shows the
// changed page in that window through the scratch file temp.htm. A
// top-level window that is gone once closed; opening it fetches anew.
class HtmlWindow : public QWidget {
    Q_OBJECT
public:
    explicit HtmlWindow(WindowRegistry &registry);
    ~HtmlWindow() override;

    QString scratchPath() const;

    // Fills the contents box from the address line once the page is in;
    // returns at once. Meanwhile the box takes no edits, so nothing typed
    // is lost to the page; a failed fetch keeps the contents as they are.
    void fetchContents();
    // Writes the contents to the scratch file and sends the primary main
    // window there.
    void run();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onPageFetched(const TransferResult &result);
    void showFetching(bool fetching);

    WindowRegistry &registry_;
    QLineEdit *addressLine_;
    QPushButton *runButton_;
    QPlainTextEdit *contentsBox_;
    QLabel *fetchStatus_;
    // The arbiter whose page fetch is ours, while it runs.
    QPointer<TransferArbiter> fetcher_;
    // The fetched page's encoding, so Run writes the text back as it came.
    PageEncoding encoding_;
};

}  // namespace quillow
