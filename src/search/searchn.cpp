#include "search/searchn.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "main_window/design_font.h"
#include "main_window/mainf.h"
#include "main_window/twips.h"
#include "main_window/windows.h"
#include "search/request_builder.h"

namespace quillow {

namespace {

QPalette colours(QPalette palette, const QColor &text, const QColor &background) {
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, text);
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Button, background);  // what buttons fill with
    }
    return palette;
}

// A frame whose caption sits on its border line, as the designed places of
// its contents expect; the default look puts the line below the caption,
// through the first row of contents.
class Frame : public QGroupBox {
public:
    Frame(const QString &name, const QString &caption, const QRect &place, QWidget *parent)
        : QGroupBox(caption, parent) {
        setObjectName(name);
        setGeometry(place);
        setAutoFillBackground(true);
        setPalette(colours(palette(), QColor(0, 255, 0), Qt::black));
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int line = metrics.height() / 2;
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(QRect(0, line, width() - 1, height() - 1 - line));
        const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(caption, palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

// A caption a little wider than its designed place in this font is shown
// whole rather than cut off.
void fitCaption(QLabel *label) {
    if (label->sizeHint().width() > label->width())
        label->resize(label->sizeHint().width(), label->height());
}

// An option button whose caption wraps onto a second line when its designed
// width is too narrow for one ("Dog Pile"), and that reacts to clicks
// anywhere on it.
class OptionButton : public QRadioButton {
public:
    OptionButton(const QString &text, QWidget *parent) : QRadioButton(text, parent) {}

protected:
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }

    void paintEvent(QPaintEvent *) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        QStyleOptionButton indicator = option;
        indicator.rect = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
        indicator.rect.moveTop((height() - indicator.rect.height()) / 2);
        painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, indicator);

        const int spacing = style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, this);
        const QRect textArea = rect().adjusted(indicator.rect.right() + 1 + spacing, 0, 0, 0);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        QRect used;
        painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text(),
                         &used);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = used.adjusted(-1, 0, 1, 0).intersected(rect());
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

}  // namespace

SearchN::SearchN(Windows &windows)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      windows_(windows) {
    setObjectName(QStringLiteral("searchn"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Search"));
    setFont(designFont());
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    // The client area at its designed place, not centred on a parent.
    setGeometry(twipsRect(4620, 3015, 5085, 2265));
    setFixedSize(size());

    buildControls();

    // Remember the control that last had the focus, so the dialog can hand
    // it back when it is given the focus as a whole.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && now != this && isAncestorOf(now))
            lastFocus_ = now;
    });

    // Load step.
    searchengine_ = 0;
    searchmethod_ = 0;
}

void SearchN::buildControls() {
    const QColor green(0, 255, 0);
    const QColor yellow(255, 255, 0);

    frame1_ = new Frame(QStringLiteral("Frame1"), QStringLiteral("Search Engine"),
                        twipsRect(120, 120, 3255, 975), this);

    label2_ = new QLabel(QStringLiteral("Please select engine to use."), frame1_);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(twipsRect(120, 240, 3015, 255));
    label2_->setPalette(colours(label2_->palette(), green, QColor()));
    fitCaption(label2_);

    const QString engines[3] = {QStringLiteral("Dog Pile"), QStringLiteral("Google"),
                                QStringLiteral("Yahoo")};
    const QRect enginePlaces[3] = {twipsRect(120, 480, 615, 375), twipsRect(1080, 480, 855, 375),
                                   twipsRect(2160, 480, 855, 375)};
    for (int i = 0; i < 3; ++i) {
        auto *option = new OptionButton(engines[i], frame1_);
        option->setObjectName(QStringLiteral("searchoption(%1)").arg(i));
        option->setGeometry(enginePlaces[i]);
        option->setAutoFillBackground(true);
        option->setPalette(colours(option->palette(), yellow, Qt::black));
        connect(option, &QRadioButton::clicked, this, [this, i] { searchoptionClick(i); });
        searchoption_[i] = option;
    }
    searchoption_[0]->setChecked(true);

    frame2_ = new Frame(QStringLiteral("Frame2"), QStringLiteral("Meathod"),
                        twipsRect(3480, 480, 1455, 855), this);

    const QString methods[2] = {QStringLiteral("Web Pages"), QStringLiteral("Pictures")};
    for (int i = 0; i < 2; ++i) {
        auto *option = new OptionButton(methods[i], frame2_);
        option->setObjectName(QStringLiteral("meathodoption(%1)").arg(i));
        option->setGeometry(twipsRect(120, 240 + 240 * i, 1215, 195));
        option->setAutoFillBackground(true);
        option->setPalette(colours(option->palette(), yellow, Qt::black));
        connect(option, &QRadioButton::clicked, this, [this, i] { meathodoptionClick(i); });
        meathodoption_[i] = option;
    }
    meathodoption_[0]->setChecked(true);

    label1_ = new QLabel(QStringLiteral("Enter word or Phrase to Search for:"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(twipsRect(120, 1200, 2535, 255));
    label1_->setPalette(colours(label1_->palette(), green, QColor()));
    fitCaption(label1_);

    wordorphrase_ = new QLineEdit(this);
    wordorphrase_->setObjectName(QStringLiteral("wordorphrase"));
    wordorphrase_->setGeometry(twipsRect(120, 1440, 4815, 375));
    wordorphrase_->installEventFilter(this);
    // The caption above names the box for screen readers.
    label1_->setBuddy(wordorphrase_);

    command2_ = new QPushButton(QStringLiteral("Find It!"), this);
    command2_->setObjectName(QStringLiteral("Command2"));
    command2_->setGeometry(twipsRect(360, 1920, 4215, 315));
    connect(command2_, &QPushButton::clicked, this, [this] { processme(); });

    command1_ = new QPushButton(QStringLiteral("Cancel"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(twipsRect(3600, 120, 1455, 255));
    connect(command1_, &QPushButton::clicked, this, [this] { command1Click(); });

    // Tab order: Cancel, the word box, the engines, the result kinds, Find It!
    // "Cancel" comes first, so it holds the focus when the dialog opens.
    QWidget::setTabOrder(command1_, wordorphrase_);
    QWidget::setTabOrder(wordorphrase_, searchoption_[0]);
    QWidget::setTabOrder(searchoption_[0], searchoption_[1]);
    QWidget::setTabOrder(searchoption_[1], searchoption_[2]);
    QWidget::setTabOrder(searchoption_[2], meathodoption_[0]);
    QWidget::setTabOrder(meathodoption_[0], meathodoption_[1]);
    QWidget::setTabOrder(meathodoption_[1], command2_);
    command1_->setFocus(Qt::OtherFocusReason);
}

void SearchN::searchoptionClick(int index) {
    searchengine_ = index;
    wordorphrase_->setFocus(Qt::OtherFocusReason);
}

void SearchN::meathodoptionClick(int index) {
    searchmethod_ = static_cast<qint16>(index);
    wordorphrase_->setFocus(Qt::OtherFocusReason);
}

void SearchN::processme() {
    searchwords_ = wordorphrase_->text();
    const QString address = searchRequestAddress(searchengine_, searchmethod_, searchwords_);
    searchwords_ = encodeSearchWords(searchengine_, searchwords_);

    // Always the primary main window, also when a popup window opened the
    // dialog; a closed one is opened again so the results can be seen.
    MainF *primary = windows_.primaryForAction();
    if (primary) {
        if (!address.isEmpty())
            primary->browserwindow()->Navigate(address);
        primary->raise();
        primary->activateWindow();
    }
    close();
}

void SearchN::command1Click() {
    // Nothing is searched, so a closed primary main window stays closed.
    if (MainF *primary = windows_.primary()) {
        primary->raise();
        primary->activateWindow();
    }
    close();
}

bool SearchN::eventFilter(QObject *watched, QEvent *event) {
    if (watched == wordorphrase_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // Enter searches whatever the modifiers (Shift, Ctrl, keypad).
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            processme();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SearchN::focusInEvent(QFocusEvent *event) {
    QDialog::focusInEvent(event);
    QWidget *target = lastFocus_ ? lastFocus_.data() : command1_;
    target->setFocus(event->reason());
}

void SearchN::keyPressEvent(QKeyEvent *event) {
    // Escape presses "Cancel", which also hands the focus back.
    if (event->key() == Qt::Key_Escape) {
        command1_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quillow
