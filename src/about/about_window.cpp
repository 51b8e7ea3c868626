#include "about/about_window.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>

#include "widgets/black_frame.h"
#include "widgets/clickable_label.h"
#include "widgets/design_font.h"
#include "widgets/twips.h"

namespace quillow {

const QString AboutWindow::kHomePage = QStringLiteral("https://quillow.example.org/");
const QString AboutWindow::kMailAddress = QStringLiteral("quillow@example.org");
const QString AboutWindow::kAuthorNote = QStringLiteral(
    "Thank you for your interest in\r\n"
    "Quillow. The program is free\r\n"
    "for personal use only.\r\n"
    "If you like it, please think\r\n"
    "about sending a small donation.\r\n"
    "Updates will be posted on my\r\n"
    "co-programmer's web site; the\r\n"
    "home page link below this note\r\n"
    "leads there. Please send your\r\n"
    "questions, comments, concerns\r\n"
    "and error reports by e-mail to\r\n"
    "quillow@example.org\r\n");

namespace {

// The product name's playful face, or the closest decorative script the
// desktop has; with none of them the font system picks its own.
QFont nameFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Curlz MT"), QStringLiteral("Z003"),
                      QStringLiteral("URW Chancery L"), QStringLiteral("TeX Gyre Chorus")});
    font.setPointSize(36);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace

AboutWindow::AboutWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("aboutform"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));
    setFont(designFont());
    paintBlack(this);
    setFixedSize(twips(5355), twips(4605));
    buildControls();
}

QString AboutWindow::versionText(int major, int minor, int revision) {
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

void AboutWindow::buildControls() {
    struct Item {
        int index;  // in the label's object name
        QString text;
        QRect place;
        QColor colour;
        QString link;  // where a click goes; none closes the window
    };
    const QColor orange(255, 128, 0);
    const QColor green(0, 255, 0);
    const QColor blue(0, 0, 255);
    const QColor silver(192, 192, 192);
    const QString version =
        versionText(QUILLOW_VERSION_MAJOR, QUILLOW_VERSION_MINOR, QUILLOW_VERSION_PATCH);
    const Item items[] = {
        {6, QStringLiteral("Quillow"), twipsRect(240, 120, 3255, 855), QColor(255, 0, 0), {}},
        {5, QStringLiteral("Version:"), twipsRect(480, 1080, 615, 255), orange, {}},
        {7, version, twipsRect(1200, 1080, 1695, 255), orange, {}},
        {4, QStringLiteral("Programmer:     Ada Quill"), twipsRect(0, 1560, 2535, 375), green, {}},
        {3, QStringLiteral("CoProgrammer: Ben Feather"), twipsRect(0, 1800, 2415, 375), green, {}},
        {0, QStringLiteral("Web site home page!"), twipsRect(120, 3600, 1695, 255), blue,
         kHomePage},
        {8, kMailAddress, twipsRect(120, 3840, 1695, 255), blue,
         QStringLiteral("mailto:") + kMailAddress},
        {1, QStringLiteral("Copyright \u00A9 2025"), twipsRect(120, 4080, 2295, 255), silver, {}},
        {2, QStringLiteral("The Quillow developers"), twipsRect(120, 4320, 2295, 255), silver, {}},
    };
    for (const Item &item : items) {
        auto *label = new ClickableLabel(item.text, this);
        label->setObjectName(QStringLiteral("formitem(%1)").arg(item.index));
        label->setGeometry(item.place);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setColours(label, item.colour);
        if (item.link.isEmpty()) {
            connect(label, &ClickableLabel::clicked, this, &QWidget::close);
        } else {
            label->setCursor(Qt::CrossCursor);
            const QString link = item.link;
            connect(label, &ClickableLabel::clicked, this, [this, link] { followLink(link); });
        }
        if (item.index == 6)
            label->setFont(nameFont());
    }

    // Both pictures are stretched to their places; the icon is drawn from
    // its large version so it stays sharp.
    const QString pictures[2] = {QStringLiteral(":/assets/quillow-128.png"),
                                 QStringLiteral(":/assets/photo.jpg")};
    const QRect places[2] = {twipsRect(3600, 120, 975, 975), twipsRect(2520, 1320, 2760, 3120)};
    const QString names[2] = {tr("Quillow icon"), tr("Photograph")};
    for (int i = 0; i < 2; ++i) {
        auto *picture = new ClickableLabel(this);
        picture->setObjectName(QStringLiteral("formp(%1)").arg(i));
        picture->setGeometry(places[i]);
        picture->setScaledContents(true);
        picture->setPixmap(QPixmap(pictures[i]));
        picture->setAccessibleName(names[i]);
        connect(picture, &ClickableLabel::clicked, this, &QWidget::close);
    }

    auto *note = new QPlainTextEdit(this);
    note->setObjectName(QStringLiteral("authorcomments"));
    note->setAccessibleName(tr("Note from the author"));
    note->setGeometry(twipsRect(120, 2040, 2295, 1455));
    note->setPalette(QPalette());
    note->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    note->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    note->setReadOnly(true);
    // Read-only, yet the reader can move through it and copy from it.
    note->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The text box keeps lines apart by line feeds of its own.
    QString text = kAuthorNote;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    note->setPlainText(text);
}

void AboutWindow::followLink(const QString &address) {
    const QPointer<AboutWindow> self(this);
    emit linkChosen(address);
    if (self)
        close();
}

void AboutWindow::mousePressEvent(QMouseEvent *event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void AboutWindow::mouseReleaseEvent(QMouseEvent *event) {
    // The window's own background: the labels and pictures report their
    // clicks themselves, the note keeps its own.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        close();
}

}  // namespace quillow
