#include "search/search_dialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "search/request_builder.h"
#include "widgets/black_frame.h"
#include "widgets/design_font.h"
#include "widgets/twips.h"

namespace quillow {

namespace {

const QColor kGreen(0, 255, 0);
const QColor kYellow(255, 255, 0);

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

QRadioButton *makeOption(const QString &name, const QString &caption, const QRect &place,
                         QWidget *frame) {
    auto *option = new OptionButton(caption, frame);
    option->setObjectName(name);
    option->setGeometry(place);
    setColours(option, kYellow, Qt::black);
    return option;
}

QLabel *makeCaption(const QString &name, const QString &caption, const QRect &place,
                    QWidget *parent) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    setColours(label, kGreen);
    fitCaption(label);
    return label;
}

}  // namespace

SearchDialog::SearchDialog()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("searchn"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Search"));
    setFont(designFont());
    paintBlack(this);
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
}

void SearchDialog::buildControls() {
    auto *engineFrame = new BlackFrame(QStringLiteral("Frame1"), QStringLiteral("Search Engine"),
                                       twipsRect(120, 120, 3255, 975), this);
    makeCaption(QStringLiteral("Label2"), QStringLiteral("Please select engine to use."),
                twipsRect(120, 240, 3015, 255), engineFrame);
    const QString engines[3] = {QStringLiteral("Dog Pile"), QStringLiteral("Google"),
                                QStringLiteral("Yahoo")};
    const QRect enginePlaces[3] = {twipsRect(120, 480, 615, 375), twipsRect(1080, 480, 855, 375),
                                   twipsRect(2160, 480, 855, 375)};
    for (int i = 0; i < 3; ++i) {
        engineOptions_[i] = makeOption(QStringLiteral("searchoption(%1)").arg(i), engines[i],
                                       enginePlaces[i], engineFrame);
        connect(engineOptions_[i], &QRadioButton::clicked, this, [this, i] { chooseEngine(i); });
    }
    engineOptions_[0]->setChecked(true);

    auto *kindFrame = new BlackFrame(QStringLiteral("Frame2"), QStringLiteral("Meathod"),
                                     twipsRect(3480, 480, 1455, 855), this);
    const QString kinds[2] = {QStringLiteral("Web Pages"), QStringLiteral("Pictures")};
    for (int i = 0; i < 2; ++i) {
        kindOptions_[i] = makeOption(QStringLiteral("meathodoption(%1)").arg(i), kinds[i],
                                     twipsRect(120, 240 + 240 * i, 1215, 195), kindFrame);
        connect(kindOptions_[i], &QRadioButton::clicked, this, [this, i] { chooseKind(i); });
    }
    kindOptions_[0]->setChecked(true);

    QLabel *wordsLabel =
        makeCaption(QStringLiteral("Label1"), QStringLiteral("Enter word or Phrase to Search for:"),
                    twipsRect(120, 1200, 2535, 255), this);
    wordsBox_ = new QLineEdit(this);
    wordsBox_->setObjectName(QStringLiteral("wordorphrase"));
    wordsBox_->setGeometry(twipsRect(120, 1440, 4815, 375));
    wordsBox_->installEventFilter(this);
    // The caption above names the box for screen readers.
    wordsLabel->setBuddy(wordsBox_);

    findButton_ = new QPushButton(QStringLiteral("Find It!"), this);
    findButton_->setObjectName(QStringLiteral("Command2"));
    findButton_->setGeometry(twipsRect(360, 1920, 4215, 315));
    connect(findButton_, &QPushButton::clicked, this, &SearchDialog::search);

    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("Command1"));
    cancelButton_->setGeometry(twipsRect(3600, 120, 1455, 255));
    connect(cancelButton_, &QPushButton::clicked, this, &SearchDialog::cancel);

    // Tab order: Cancel, the word box, the engines, the result kinds, Find It!
    // "Cancel" comes first, so it holds the focus when the dialog opens.
    QWidget *const order[] = {cancelButton_,     wordsBox_,         engineOptions_[0],
                              engineOptions_[1], engineOptions_[2], kindOptions_[0],
                              kindOptions_[1],   findButton_};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    cancelButton_->setFocus(Qt::OtherFocusReason);
}

void SearchDialog::chooseEngine(int engine) {
    engine_ = engine;
    wordsBox_->setFocus(Qt::OtherFocusReason);
}

void SearchDialog::chooseKind(int kind) {
    kind_ = kind;
    wordsBox_->setFocus(Qt::OtherFocusReason);
}

void SearchDialog::search() {
    emit searchRequested(searchRequestAddress(engine_, kind_, wordsBox_->text()));
    close();
}

void SearchDialog::cancel() {
    emit cancelled();
    close();
}

bool SearchDialog::eventFilter(QObject *watched, QEvent *event) {
    if (watched == wordsBox_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // Enter searches whatever the modifiers (Shift, Ctrl, keypad).
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            search();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SearchDialog::focusInEvent(QFocusEvent *event) {
    QDialog::focusInEvent(event);
    QWidget *target = lastFocus_ ? lastFocus_.data() : cancelButton_;
    target->setFocus(event->reason());
}

void SearchDialog::keyPressEvent(QKeyEvent *event) {
    // Escape presses "Cancel", which also hands the focus back.
    if (event->key() == Qt::Key_Escape) {
        cancelButton_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quillow
