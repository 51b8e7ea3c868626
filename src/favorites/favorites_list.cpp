#include "favorites/favorites_list.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "favorites/favorites_format.h"

#ifdef Q_OS_UNIX
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace quillow {

namespace {

// Qt's file engine reports a write that stopped short (full disk, file too
// large) as a success of fewer bytes, and a buffered device then drops the
// rest. Writing unbuffered until every byte is out, or until a write fails
// and sets the reason, catches it.
bool writeFully(QIODevice &out, const QByteArray &data) {
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = out.write(data.constData() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The data must be on the disk before the new file replaces the old one;
// QSaveFile syncs too but does not say when that fails.
QString syncToDisk(QFileDevice &out) {
#ifdef Q_OS_UNIX
    if (::fsync(out.handle()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
#else
    Q_UNUSED(out);
#endif
    return QString();
}

}  // namespace

FavoritesList::FavoritesList(QString filePath, QObject *parent)
    : QObject(parent), filePath_(std::move(filePath)) {}

void FavoritesList::load() {
    if (loaded_)
        return;
    loaded_ = true;
    const QFileInfo info(filePath_);
    if (!info.exists())
        return;  // first run: the first change creates the file
    // From here on the file exists, and what cannot be read of it is kept.
    keptFrom_ = 0;
    // A directory or a device in its place holds no lines (and a pipe
    // would block the start).
    if (!info.isFile())
        return;
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Ask for no more than the file holds: a buffer of the whole limit
    // would cost more than reading an ordinary file.
    QByteArray data = file.read(qMin(file.size(), kReadLimit));
    if (file.error() == QFileDevice::NoError && file.atEnd()) {
        keptFrom_ = -1;
    } else {
        // Too big, or a read error: take the whole lines read so far.
        data.truncate(favorites::wholeLinesLength(data));
        keptFrom_ = data.size();
    }
    entries_ = favorites::parse(data);
    emit reset();
}

QString FavoritesList::text(int position) const {
    if (position < 0 || position >= count())
        return QString();
    return QString::fromLocal8Bit(entries_.at(position));
}

QStringList FavoritesList::texts() const {
    QStringList out;
    out.reserve(entries_.size());
    for (const QByteArray &e : entries_)
        out.append(QString::fromLocal8Bit(e));
    return out;
}

QByteArray FavoritesList::bytes(int position) const {
    if (position < 0 || position >= count())
        return QByteArray();
    return entries_.at(position);
}

FavoritesList::SaveResult FavoritesList::add(const QString &address) {
    qsizetype p = 0;
    while (p < entries_.size() && !entries_.at(p).isEmpty())
        ++p;
    QByteArray entry = address.toLocal8Bit();
    // A carriage return would end the line in the file and the address
    // would come back as two entries; an address spells it %0D.
    entry.replace('\r', "%0D");
    entries_.insert(p, entry);
    emit inserted(int(p));
    return save();
}

FavoritesList::SaveResult FavoritesList::remove(int position) {
    if (position > -1 && position < count()) {
        entries_.removeAt(position);
        emit removed(position);
    }
    return save();
}

FavoritesList::SaveResult FavoritesList::save() {
    const QByteArray head = favorites::serialize(entries_);
    QSaveFile out(filePath_);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return {false, out.errorString()};
    QString error;
    if (!writeFully(out, head))
        error = out.errorString();
    else if (keptFrom_ >= 0)
        error = copyUnreadPart(out);
    if (error.isEmpty())
        error = syncToDisk(out);
    if (!error.isEmpty()) {
        out.cancelWriting();
        return {false, error};
    }
    if (!out.commit())
        return {false, out.errorString()};
    if (keptFrom_ >= 0)
        keptFrom_ = head.size();
    return {};
}

QString FavoritesList::copyUnreadPart(QSaveFile &out) const {
    QFile old(filePath_);
    if (!old.exists())
        return QString();  // gone meanwhile: nothing left to lose
    if (!old.open(QIODevice::ReadOnly) || !old.seek(keptFrom_))
        return tr("the part of the old file that could not be read would be lost (%1)")
            .arg(old.errorString());
    for (;;) {
        const QByteArray chunk = old.read(1 << 20);
        if (old.error() != QFileDevice::NoError)
            return tr("the part of the old file that could not be read would be lost (%1)")
                .arg(old.errorString());
        if (chunk.isEmpty())
            return QString();
        if (!writeFully(out, chunk))
            return out.errorString();
    }
}

}  // namespace quillow
