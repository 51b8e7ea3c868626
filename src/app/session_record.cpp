#include "app/session_record.h"

#include <QFile>
#include <QSaveFile>

namespace quillow {

SessionRecord::SessionRecord(QString path, std::function<QStringList()> addresses, QObject *parent)
    : QObject(parent), path_(std::move(path)), addresses_(std::move(addresses)) {
    QFile file(path_);
    // The file is ours, but bounded all the same. Every address ends its
    // line: what follows the last line end was cut off.
    if (file.open(QIODevice::ReadOnly)) {
        QList<QByteArray> lines = file.read(kMostRead).split('\n');
        lines.removeLast();
        for (const QByteArray &line : lines)
            if (!line.isEmpty() && leftBehind_.size() < kMostPages)
                leftBehind_.append(QString::fromUtf8(line));
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &SessionRecord::write);
}

void SessionRecord::changed() {
    if (!timer_.isActive())
        timer_.start(kWriteDelayMs);
}

void SessionRecord::endNormally() {
    timer_.stop();
    QFile::remove(path_);
}

void SessionRecord::write() {
    QByteArray text;
    int kept = 0;
    for (const QString &address : addresses_()) {
        const QByteArray line = address.toUtf8();
        if (line.size() <= kLongestAddress && !line.contains('\n') && kept++ < kMostPages)
            text += line + '\n';
    }
    // A write that fails leaves the last one; the next change tries again.
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly) &&
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
        file.write(text) == text.size())
        file.commit();
}

}  // namespace quillow
