#include "html_window/htmlf.h"

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QUrl>

#include "browser/browser.h"
#include "connection/connection_indicator.h"
#include "main_window/context.h"
#include "main_window/mainf.h"
#include "main_window/twips.h"
#include "main_window/windows.h"

namespace quillow {

namespace {

// Whether the component's address is the scratch file itself.
bool showsFile(const QString &location, const QString &path) {
    if (location == path)
        return true;
    const QUrl url(location);
    return url.isLocalFile() && QDir::cleanPath(url.toLocalFile()) == QDir::cleanPath(path);
}

}  // namespace

HtmlF::HtmlF(Windows &windows) : QWidget(nullptr), windows_(windows) {
    setObjectName(QStringLiteral("htmlf"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("HTML"));
    resize(twips(4680), twips(3195));

    // No layout: the controls keep their places when the window is resized.
    label1_ = new QLabel(tr("Current URL:"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(twipsRect(0, 0, 2055, 255));

    wsite_ = new QLineEdit(this);
    wsite_->setObjectName(QStringLiteral("wsite"));
    wsite_->setGeometry(twipsRect(0, 240, 4695, 375));
    wsite_->installEventFilter(this);

    label2_ = new QLabel(tr("Contents:"), this);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(twipsRect(0, 720, 855, 255));

    command2_ = new QPushButton(tr("Run"), this);
    command2_->setObjectName(QStringLiteral("Command2"));
    command2_->setGeometry(twipsRect(840, 720, 1215, 255));
    connect(command2_, &QPushButton::clicked, this, &HtmlF::run);

    command1_ = new QPushButton(tr("Edit HTML"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(twipsRect(3120, 720, 1455, 255));
    command1_->setEnabled(false);

    hcontents_ = new QPlainTextEdit(this);
    hcontents_->setObjectName(QStringLiteral("hcontents"));
    hcontents_->setGeometry(twipsRect(0, 1080, 4575, 2055));
    hcontents_->setLineWrapMode(QPlainTextEdit::NoWrap);
    hcontents_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    hcontents_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    hcontents_->setTabChangesFocus(true);

    // The captions name their boxes for screen readers.
    label1_->setBuddy(wsite_);
    label2_->setBuddy(hcontents_);

    // The labels take no focus; the rest follow their designed order.
    QWidget::setTabOrder(wsite_, hcontents_);
    QWidget::setTabOrder(hcontents_, command1_);
    QWidget::setTabOrder(command1_, command2_);
    wsite_->setFocus(Qt::OtherFocusReason);

    load();
}

HtmlF::~HtmlF() {
    // A page nobody waits for any more would only hold up the main window's
    // connection tests.
    if (fetcher_)
        fetcher_->cancelPage();
}

QString HtmlF::scratchPath() const {
    return windows_.context().programDir + QStringLiteral("/temp.htm");
}

void HtmlF::load() {
    wsite_->setText(windows_.primaryForAction()->addressbar()->currentText());
    fetchcontents();
}

void HtmlF::fetchcontents() {
    ConnectionIndicator *connection = windows_.primaryForAction()->connection();
    if (fetcher_ && fetcher_ != connection)
        fetcher_->cancelPage();
    fetcher_ = nullptr;
    connect(connection, &ConnectionIndicator::pageFetched, this, &HtmlF::onPageFetched,
            Qt::UniqueConnection);
    if (connection->fetchPage(wsite_->text()))
        fetcher_ = connection;
}

void HtmlF::onPageFetched(bool ok, const QByteArray &body) {
    if (!fetcher_ || sender() != fetcher_)
        return;
    fetcher_ = nullptr;
    if (!ok)
        return;
    // The page names its encoding; one the converter does not know is read
    // byte for byte, so that Run writes the same bytes back.
    const std::optional<QStringConverter::Encoding> declared =
        QStringConverter::encodingForHtml(body);
    encoding_ = declared.value_or(QStringConverter::Latin1);
    QStringDecoder decoder(encoding_, QStringConverter::Flag::Stateless);
    hcontents_->setPlainText(decoder.decode(body));
}

void HtmlF::run() {
    const QString path = scratchPath();
    // Without a byte order mark a browser would not read UTF-16 or UTF-32.
    const bool wide = encoding_ != QStringConverter::Utf8 &&
                      encoding_ != QStringConverter::Latin1 &&
                      encoding_ != QStringConverter::System;
    QStringEncoder encoder(
        encoding_, wide ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    const QByteArray bytes = encoder.encode(hcontents_->toPlainText() + QStringLiteral("\r\n"));
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        // Going on would show an older temp.htm as if it were this text.
        windows_.context().messages->show(
            this,
            tr("Could not write %1:\n%2").arg(QDir::toNativeSeparators(path), file.errorString()),
            tr("HTML"), MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
        return;
    }

    MainF *main = windows_.primaryForAction();
    main->addressbar()->setEditText(path);
    if (path != main->lastaddress()) {
        main->searchnf();
        return;
    }
    // searchnf passes over the address it took last; load the new text
    // directly, reloading if the file is what the component shows.
    Browser *browser = main->browserwindow();
    if (showsFile(browser->LocationURL(), path))
        browser->Refresh();
    else
        browser->Navigate(path);
}

bool HtmlF::eventFilter(QObject *watched, QEvent *event) {
    if (watched == wsite_) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            wsite_->clear();
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                fetchcontents();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quillow
