#include "app/session_record.h"

#include <QDebug>
#include <QFile>

#include "files/private_files.h"

namespace quillow {

SessionRecord::SessionRecord(QString path, std::function<QStringList()> addresses, QObject *parent)
    : QObject(parent), path_(std::move(path)), addresses_(std::move(addresses)) {
    // Read as anything in the user's folders is: only a regular file, no
    // link followed, no pipe waited on. A record of ours is never near the
    // bound, so a larger file is none of ours and offers nothing. Every
    // address ends its line: what follows the last line end was cut off.
    QByteArray text;
    files::readPrivateFile(path_, kMostRead, text);
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    for (const QByteArray &line : lines)
        if (!line.isEmpty() && line.size() <= kLongestAddress && leftBehind_.size() < kMostPages)
            leftBehind_.append(QString::fromUtf8(line));
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &SessionRecord::write);
}

void SessionRecord::changed() {
    if (!timer_.isActive())
        timer_.start(kWriteDelayMs);
}

void SessionRecord::endNormally() {
    timer_.stop();
    // Removes a link planted there, not what it points to.
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
    // A new file takes the name: a link or pipe planted there is replaced,
    // never written through. A write that fails leaves the last one, and
    // the next change tries again; the user hears of it once.
    const files::FileProblem problem = files::writePrivateFile(path_, text);
    if (problem != files::FileProblem::None && !toldProblem_) {
        toldProblem_ = true;
        qWarning().noquote() << QStringLiteral("Quillow: the open pages cannot be kept in %1: %2")
                                    .arg(path_, files::describe(problem));
    }
}

}  // namespace quillow
