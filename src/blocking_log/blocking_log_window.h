#pragma once

#include <QWidget>

#include "browser/blocking_record.h"

class QLabel;
class QTreeWidget;

namespace quillow {

// The Blocked Requests window: what content blocking refused, redirected
// and cleaned on a page, each with the rule that decided and its list. It
// shows one page's record at a time; it deletes itself on closing.
class BlockingLogWindow : public QWidget {
    Q_OBJECT
public:
    BlockingLogWindow();
    // Replaces what the window shows.
    void showRecord(const BlockingRecord &record);

private:
    QLabel *summary_;
    QTreeWidget *entries_;
};

}  // namespace quillow
