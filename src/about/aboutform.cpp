#include "about/aboutform.h"

#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <functional>

#include "main_window/design_font.h"
#include "main_window/mainf.h"
#include "main_window/twips.h"
#include "main_window/windows.h"

namespace quillow {

const QString AboutForm::kHomePage = QStringLiteral("https://quillow.example.org/");
const QString AboutForm::kMailAddress = QStringLiteral("quillow@example.org");
const QString AboutForm::kAuthorNote = QStringLiteral(
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

// A label or picture that reports a left click (press and release on it).
class ClickLabel : public QLabel {
public:
    ClickLabel(QWidget *parent, std::function<void()> onClick)
        : QLabel(parent), onClick_(std::move(onClick)) {}

protected:
    void mousePressEvent(QMouseEvent *event) override {
        event->setAccepted(event->button() == Qt::LeftButton);
    }
    void mouseReleaseEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            onClick_();
    }

private:
    std::function<void()> onClick_;
};

}  // namespace

AboutForm::AboutForm(Windows &windows)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      windows_(windows) {
    setObjectName(QStringLiteral("aboutform"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/quillow.png")));
    setFont(designFont());
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setFixedSize(twips(5355), twips(4605));

    buildControls();

    // Load step.
    formitem_[7]->setText(
        versionText(QUILLOW_VERSION_MAJOR, QUILLOW_VERSION_MINOR, QUILLOW_VERSION_PATCH));
}

QString AboutForm::versionText(int major, int minor, int revision) {
    return QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

QLabel *AboutForm::formitem(int index) const {
    return index >= 0 && index < 9 ? formitem_[index] : nullptr;
}

QLabel *AboutForm::formp(int index) const {
    return index >= 0 && index < 2 ? formp_[index] : nullptr;
}

void AboutForm::buildControls() {
    struct Item {
        int index;
        QString text;
        QRect place;
        QColor colour;
    };
    const QColor orange(255, 128, 0);
    const QColor green(0, 255, 0);
    const QColor blue(0, 0, 255);
    const QColor silver(192, 192, 192);
    const Item items[] = {
        {6, QStringLiteral("Quillow"), twipsRect(240, 120, 3255, 855), QColor(255, 0, 0)},
        {5, QStringLiteral("Version:"), twipsRect(480, 1080, 615, 255), orange},
        {7, QString(), twipsRect(1200, 1080, 1695, 255), orange},
        {4, QStringLiteral("Programmer:     Ada Quill"), twipsRect(0, 1560, 2535, 375), green},
        {3, QStringLiteral("CoProgrammer: Ben Feather"), twipsRect(0, 1800, 2415, 375), green},
        {0, QStringLiteral("Web site home page!"), twipsRect(120, 3600, 1695, 255), blue},
        {8, kMailAddress, twipsRect(120, 3840, 1695, 255), blue},
        {1, QStringLiteral("Copyright \u00A9 2025"), twipsRect(120, 4080, 2295, 255), silver},
        {2, QStringLiteral("The Quillow developers"), twipsRect(120, 4320, 2295, 255), silver},
    };
    for (const Item &item : items) {
        const int index = item.index;
        auto *label = new ClickLabel(this, [this, index] { formitemClick(index); });
        label->setObjectName(QStringLiteral("formitem(%1)").arg(index));
        label->setText(item.text);
        label->setGeometry(item.place);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, item.colour);
        label->setPalette(p);
        formitem_[index] = label;
    }
    formitem_[6]->setFont(nameFont());
    formitem_[0]->setCursor(Qt::CrossCursor);
    formitem_[8]->setCursor(Qt::CrossCursor);

    // Both pictures are stretched to their places; the icon is drawn from
    // its large version so it stays sharp.
    const QString pictures[2] = {QStringLiteral(":/assets/quillow-128.png"),
                                 QStringLiteral(":/assets/photo.jpg")};
    const QRect places[2] = {twipsRect(3600, 120, 975, 975), twipsRect(2520, 1320, 2760, 3120)};
    const QString names[2] = {tr("Quillow icon"), tr("Photograph")};
    for (int i = 0; i < 2; ++i) {
        auto *picture = new ClickLabel(this, [this, i] { formpClick(i); });
        picture->setObjectName(QStringLiteral("formp(%1)").arg(i));
        picture->setGeometry(places[i]);
        picture->setScaledContents(true);
        picture->setPixmap(QPixmap(pictures[i]));
        picture->setAccessibleName(names[i]);
        formp_[i] = picture;
    }

    authorcomments_ = new QPlainTextEdit(this);
    authorcomments_->setObjectName(QStringLiteral("authorcomments"));
    authorcomments_->setAccessibleName(tr("Note from the author"));
    authorcomments_->setGeometry(twipsRect(120, 2040, 2295, 1455));
    authorcomments_->setPalette(QPalette());
    authorcomments_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    authorcomments_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    authorcomments_->setReadOnly(true);
    // Read-only, yet the reader can move through it and copy from it.
    authorcomments_->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                             Qt::TextSelectableByKeyboard);
    // The text box keeps lines apart by line feeds of its own.
    QString note = kAuthorNote;
    note.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (note.endsWith(QLatin1Char('\n')))
        note.chop(1);
    authorcomments_->setPlainText(note);
}

void AboutForm::formitemClick(int index) {
    QString address;
    if (index == 0)
        address = kHomePage;
    else if (index == 8)
        address = QStringLiteral("mailto:") + kMailAddress;
    if (!address.isEmpty()) {
        QPointer<AboutForm> self(this);
        // Through the primary main window's address box, as if typed there;
        // a closed one is opened again so the page can be seen.
        MainF *primary = windows_.primaryForAction();
        primary->addressbar()->setCurrentText(address);
        primary->searchnf();
        if (!self)
            return;
    }
    close();
}

void AboutForm::formpClick(int) {
    close();
}

void AboutForm::mousePressEvent(QMouseEvent *event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void AboutForm::mouseReleaseEvent(QMouseEvent *event) {
    // The window's own background: the labels and pictures report their
    // clicks themselves, the note keeps its own.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        close();
}

}  // namespace quillow
