#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "core/context.h"
#include "html_window/page_encoding.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillow {

class PageFetcher;
struct TransferResult;

// The HTML window: fetches the HTML text of an address, lets the user
// change it, and has the changed page shown through the scratch file
// temp.htm. A top-level window that is gone once closed; opening it
// fetches anew.
class HtmlWindow : public QWidget {
    Q_OBJECT
public:
    // Opens on address; fetcher gives what fetches a page, at each fetch.
    HtmlWindow(const Context &context, const QString &address,
               std::function<PageFetcher *()> fetcher);
    ~HtmlWindow() override;

    QString scratchPath() const;

    // Fills the contents box from the address line once the page is in;
    // returns at once. Meanwhile the box takes no edits, so nothing typed
    // is lost to the page; a failed fetch keeps the contents as they are.
    void fetchContents();
    // Sets the address line to address and fetches it, after asking when
    // the user has changed the contents.
    void showSource(const QString &address);
    // Writes the contents to the scratch file and asks for it to be shown.
    void run();

Q_SIGNALS:
    // The page at path is to be shown, reloaded if it is on show already.
    void runRequested(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onPageFetched(const TransferResult &result);
    // Says that address was not fetched (a web address that gave no answer,
    // or none at all); the address line goes back to the contents' page.
    void tellNotFetched(const QString &address, bool webAddress);
    void showFetching(bool fetching);

    Context context_;
    std::function<PageFetcher *()> fetcherOf_;
    QLineEdit *addressLine_;
    QPushButton *runButton_;
    QPlainTextEdit *contentsBox_;
    QLabel *fetchStatus_;
    // The fetcher whose fetch is ours, while it runs.
    QPointer<PageFetcher> fetcher_;
    // The address of the last fetch, and the one whose text the contents
    // are (null before any came).
    QString fetching_;
    QString sourceOf_;
    // The fetched page's encoding, so Run writes the text back as it came.
    PageEncoding encoding_;
};

}  // namespace quillow
