#pragma once

#include <QObject>
#include <QString>

#include "inet/internet_transfer.h"

namespace quillow {

// Fetches the text of one page at a time for a window that shows it.
class PageFetcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Fetches address, replacing an earlier fetch; returns at once. Once
    // started, its end comes through pageFetched.
    virtual TransferStart fetchPage(const QString &address) = 0;
    // Ends a running fetch without reporting it.
    virtual void cancelPageFetch() = 0;

Q_SIGNALS:
    void pageFetched(const quillow::TransferResult &result);
};

}  // namespace quillow
