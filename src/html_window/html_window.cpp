#include "html_window/html_window.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "core/page_fetcher.h"
#include "core/questions.h"
#include "files/private_files.h"
#include "text/shortened.h"
#include "widgets/design_font.h"
#include "widgets/twips.h"

namespace quillow {

namespace {
constexpr int kShownAddress = 300;

QLabel *makeCaption(const QString &name, const QString &caption, const QRect &place,
                    QWidget *parent) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    return label;
}
}  // namespace

HtmlWindow::HtmlWindow(const Context &context, const QString &address,
                       std::function<PageFetcher *()> fetcher)
    : QWidget(nullptr), context_(context), fetcherOf_(std::move(fetcher)) {
    setObjectName(QStringLiteral("htmlf"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("HTML"));
    setFont(designFont());
    resize(twips(4680), twips(3195));

    // No layout: the controls keep their places when the window is resized.
    QLabel *addressCaption =
        makeCaption(QStringLiteral("Label1"), tr("Current URL:"), twipsRect(0, 0, 2055, 255), this);
    addressLine_ = new QLineEdit(this);
    addressLine_->setObjectName(QStringLiteral("wsite"));
    addressLine_->setGeometry(twipsRect(0, 240, 4695, 375));
    addressLine_->installEventFilter(this);

    QLabel *contentsCaption =
        makeCaption(QStringLiteral("Label2"), tr("Contents:"), twipsRect(0, 720, 855, 255), this);
    runButton_ = new QPushButton(tr("Run"), this);
    runButton_->setObjectName(QStringLiteral("Command2"));
    runButton_->setGeometry(twipsRect(840, 720, 1215, 255));
    connect(runButton_, &QPushButton::clicked, this, &HtmlWindow::run);

    // Between Run and "Edit HTML": what the window is waiting for.
    fetchStatus_ = new QLabel(this);
    fetchStatus_->setObjectName(QStringLiteral("fetchstatus"));
    fetchStatus_->setGeometry(twipsRect(2100, 720, 1000, 255));

    // Designed in, never enabled.
    auto *editButton = new QPushButton(tr("Edit HTML"), this);
    editButton->setObjectName(QStringLiteral("Command1"));
    editButton->setGeometry(twipsRect(3120, 720, 1455, 255));
    editButton->setEnabled(false);

    contentsBox_ = new QPlainTextEdit(this);
    contentsBox_->setObjectName(QStringLiteral("hcontents"));
    contentsBox_->setGeometry(twipsRect(0, 1080, 4575, 2055));
    contentsBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    contentsBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    contentsBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    contentsBox_->setTabChangesFocus(true);

    // The captions name their boxes for screen readers.
    addressCaption->setBuddy(addressLine_);
    contentsCaption->setBuddy(contentsBox_);

    // The labels take no focus; the rest follow their designed order.
    QWidget::setTabOrder(addressLine_, contentsBox_);
    QWidget::setTabOrder(contentsBox_, editButton);
    QWidget::setTabOrder(editButton, runButton_);
    addressLine_->setFocus(Qt::OtherFocusReason);

    addressLine_->setText(address);
    fetchContents();
}

HtmlWindow::~HtmlWindow() {
    // A page nobody waits for any more would only hold up the main window's
    // connection tests.
    if (fetcher_)
        fetcher_->cancelPageFetch();
}

QString HtmlWindow::scratchPath() const {
    // No folder, no file: the write fails and says so.
    const QString &dir = context_.scratchDir;
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/temp.htm");
}

void HtmlWindow::fetchContents() {
    PageFetcher *fetcher = fetcherOf_();
    if (fetcher_ && fetcher_ != fetcher)
        fetcher_->cancelPageFetch();
    fetcher_ = nullptr;
    connect(fetcher, &PageFetcher::pageFetched, this, &HtmlWindow::onPageFetched,
            Qt::UniqueConnection);
    fetching_ = addressLine_->text();
    const TransferStart start = fetcher->fetchPage(fetching_);
    if (start == TransferStart::Started)
        fetcher_ = fetcher;
    showFetching(fetcher_);
    // Told once the window is on show.
    if (!fetcher_)
        QTimer::singleShot(0, this, [this, address = fetching_, start] {
            tellNotFetched(address, start != TransferStart::NotWebAddress);
        });
}

void HtmlWindow::tellNotFetched(const QString &address, bool webAddress) {
    // The contents stay, and the address line names the page they are of.
    if (!sourceOf_.isNull())
        addressLine_->setText(sourceOf_);
    // The blank page has no text to fetch.
    const QString wanted = address.trimmed();
    if (wanted.isEmpty() || wanted == QLatin1String("about:blank") || !context_.questions)
        return;
    context_.questions->tell(
        this, {tr("HTML"),
               tr("Could not fetch %1:\n%2")
                   .arg(shortened(address, kShownAddress),
                        webAddress ? tr("no answer came from there.")
                                   : tr("only web pages (http and https) are fetched.")),
               Message::Icon::Warning});
}

void HtmlWindow::showFetching(bool fetching) {
    contentsBox_->setReadOnly(fetching);
    fetchStatus_->setText(fetching ? tr("Fetching\u2026") : QString());
    fetchStatus_->setToolTip(QString());
}

void HtmlWindow::onPageFetched(const TransferResult &result) {
    if (!fetcher_ || sender() != fetcher_)
        return;
    fetcher_ = nullptr;
    showFetching(false);
    if (!result.answered())
        return tellNotFetched(fetching_, true);
    sourceOf_ = fetching_;
    if (result.end == TransferResult::End::CutShort) {
        fetchStatus_->setText(tr("First 16 MiB"));
        fetchStatus_->setToolTip(tr("The page is longer: only its first 16 MiB are shown."));
    }
    encoding_ = PageEncoding::forPage(result.contentType, result.body);
    contentsBox_->setPlainText(toLineFeeds(encoding_.decode(result.body)));
}

void HtmlWindow::showSource(const QString &address) {
    if (contentsBox_->document()->isModified()) {
        const QPointer<HtmlWindow> self(this);
        const bool replace =
            context_.questions &&
            context_.questions
                ->askYesNo(this,
                           {tr("HTML"), tr("Replace your changes with the source of %1?")
                                            .arg(shortened(address, kShownAddress))},
                           false, false)
                .yes;
        // The window may have been closed meanwhile.
        if (!self || !replace)
            return;
    }
    addressLine_->setText(address);
    fetchContents();
}

void HtmlWindow::run() {
    const QString path = scratchPath();
    const QString text = toCrLf(contentsBox_->toPlainText() + QLatin1Char('\n'));
    QByteArray bytes = encoding_.encode(text);
    // Characters the page's encoding lacks: UTF-8, whose mark a browser
    // believes before the page's own declaration.
    if (bytes.isEmpty())
        bytes = "\xEF\xBB\xBF" + text.toUtf8();
    // The file is the user's alone. A link another program planted in its
    // place is refused; one planted after this look is replaced by the new
    // file, never written through.
    const bool link = !path.isEmpty() && QFileInfo(path).isSymLink();
    const files::FileProblem problem =
        link ? files::FileProblem::NotARegularFile : files::writePrivateFile(path, bytes);
    if (problem != files::FileProblem::None) {
        // Going on would show an older temp.htm as if it were this text.
        if (context_.questions)
            context_.questions->tell(this, {tr("HTML"),
                                            tr("Could not write %1:\n%2")
                                                .arg(QDir::toNativeSeparators(path),
                                                     link ? tr("it is a link to another file")
                                                          : files::describe(problem)),
                                            Message::Icon::Warning});
        return;
    }
    // Run again shows the new text, also when the file is already on show.
    emit runRequested(path);
}

bool HtmlWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == addressLine_) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            addressLine_->clear();
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                fetchContents();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quillow
