#include "blocking_log/blocking_log_window.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "blocking_log/entry_texts.h"

namespace quillow {

BlockingLogWindow::BlockingLogWindow() : QWidget(nullptr, Qt::Window) {
    setObjectName(QStringLiteral("blockinglog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Blocked Requests"));
    resize(820, 360);

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setWordWrap(true);
    // The page's address is the page's text, not Quillow's.
    summary_->setTextFormat(Qt::PlainText);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    entries_ = new QTreeWidget(this);
    entries_->setObjectName(QStringLiteral("entries"));
    entries_->setAccessibleName(tr("Blocked requests"));
    entries_->setRootIsDecorated(false);
    entries_->setUniformRowHeights(true);
    entries_->setHeaderLabels({tr("What"), tr("Kind"), tr("Address"), tr("Rule"), tr("List")});
    entries_->header()->setStretchLastSection(false);
    entries_->setTextElideMode(Qt::ElideMiddle);
    const int widths[] = {200, 90, 280, 180};
    for (int column = 0; column < 4; ++column)
        entries_->setColumnWidth(column, widths[column]);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(entries_, 1);
    layout->addWidget(buttons);
}

void BlockingLogWindow::showRecord(const BlockingRecord &record) {
    summary_->setText(BlockingLogTexts::summary(record));
    entries_->clear();
    entries_->setVisible(!record.entries.isEmpty());
    QList<QTreeWidgetItem *> items;
    for (const BlockingEntry &entry : record.entries) {
        const EntryTexts texts = BlockingLogTexts::of(entry);
        auto *item = new QTreeWidgetItem(
            QStringList{texts.what, texts.kind, texts.address, texts.rule, texts.list});
        // The whole text, where the column cuts it.
        for (int column = 0; column < item->columnCount(); ++column)
            item->setToolTip(column, item->text(column));
        items.append(item);
    }
    entries_->addTopLevelItems(items);
}

}  // namespace quillow
