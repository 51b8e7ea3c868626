#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace quillow {

// The addresses of the open main windows, kept in a file while the program
// runs, so that a start after a crash or a power loss can offer them back.
// Written whole through a new file that takes its name (readable by the
// user only), at most once a second; removed when the program ends
// normally, so a normal end leaves nothing behind.
class SessionRecord : public QObject {
    Q_OBJECT
public:
    static constexpr int kWriteDelayMs = 1000;
    // More are not offered back: each is a window.
    static constexpr int kMostPages = 50;
    // Longer addresses (a page made of a data: address), in UTF-8 bytes, are
    // not kept; what is kept stays short of what a start reads back.
    static constexpr int kLongestAddress = 16 * 1024;
    static constexpr qint64 kMostRead = 1 << 20;

    // addresses tells what is open now.
    SessionRecord(QString path, std::function<QStringList()> addresses, QObject *parent = nullptr);

    // What the last run left in the file: it did not end normally.
    const QStringList &leftBehind() const { return leftBehind_; }
    // Something open changed: written within a second.
    void changed();
    void endNormally();

private:
    void write();

    QString path_;
    std::function<QStringList()> addresses_;
    QStringList leftBehind_;
    QTimer timer_;
    bool toldProblem_ = false;
};

}  // namespace quillow
