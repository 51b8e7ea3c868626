#include "favorites/favorites_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLockFile>
#include <QSaveFile>
#include <QTimer>
#include <cerrno>
#include <cstring>

#include "favorites/favorites_format.h"

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
    if (::fsync(out.handle()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

// How long a change waits for another program's save to end. Saves take
// milliseconds; a lock older than the stale time was left by a crash.
constexpr int kLockWaitMs = 1000;
constexpr int kStaleLockMs = 30000;

// Opens path for reading only when it is a regular file: a pipe or a
// device in its place would hold the window up or never end. The check is
// made on the file opened, so nothing can be swapped in between.
bool openRegularFile(const QString &path, QFile &file) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    return file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
}

}  // namespace

FavoritesList::FavoritesList(QString filePath, QObject *parent)
    : QObject(parent), filePath_(std::move(filePath)) {}

FavoritesList::~FavoritesList() = default;

bool FavoritesList::Stamp::operator==(const Stamp &o) const {
    return exists == o.exists && inode == o.inode && size == o.size && modifiedNs == o.modifiedNs;
}

FavoritesList::Stamp FavoritesList::stampOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return Stamp();
    return {true, quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void FavoritesList::load() {
    if (loaded_)
        return;
    loaded_ = true;
    read();
    followFile();
}

void FavoritesList::read() {
    stamp_ = stampOf(filePath_);
    entries_.clear();
    keptFrom_ = -1;
    if (!stamp_.exists)
        return;  // first run: the first change creates the file
    // From here on the file exists, and what cannot be read of it is kept.
    keptFrom_ = 0;
    QFile file;
    if (!openRegularFile(filePath_, file))
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
}

void FavoritesList::followFile() {
    // A save replaces the file, which ends a watch on the file itself: the
    // folder is watched too, and the file again each time.
    watcher_ = new QFileSystemWatcher(this);
    recheck_ = new QTimer(this);
    recheck_->setSingleShot(true);
    recheck_->setInterval(100);  // one look after a burst of changes
    connect(recheck_, &QTimer::timeout, this, &FavoritesList::readAgainIfChanged);
    const auto changed = [this] { recheck_->start(); };
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, changed);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
    watcher_->addPath(QFileInfo(filePath_).absolutePath());
    if (stamp_.exists)
        watcher_->addPath(filePath_);
}

void FavoritesList::readAgainIfChanged() {
    if (stampOf(filePath_) == stamp_)
        return;
    read();
    if (stamp_.exists && !watcher_->files().contains(filePath_))
        watcher_->addPath(filePath_);
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
    QByteArray entry = address.toLocal8Bit();
    // A carriage return would end the line in the file and the address
    // would come back as two entries; an address spells it %0D.
    entry.replace('\r', "%0D");
    return change([this, &entry] {
        qsizetype p = 0;
        while (p < entries_.size() && !entries_.at(p).isEmpty())
            ++p;
        entries_.insert(p, entry);
        emit inserted(int(p));
    });
}

FavoritesList::SaveResult FavoritesList::remove(int position) {
    const bool chosen = position > -1 && position < count();
    const QByteArray entry = chosen ? entries_.at(position) : QByteArray();
    return change([this, chosen, &entry] {
        const qsizetype p = chosen ? entries_.indexOf(entry) : -1;
        if (p < 0)
            return;
        entries_.removeAt(p);
        emit removed(int(p));
    });
}

FavoritesList::SaveResult FavoritesList::change(const std::function<void()> &apply) {
    QLockFile lock(filePath_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    // Without the right to make the lock, the save below says why it fails.
    if (!lock.tryLock(kLockWaitMs) && lock.error() == QLockFile::LockFailedError)
        return {false, tr("another Quillow is saving them right now; try again")};
    if (stampOf(filePath_) != stamp_) {
        read();
        emit reset();
    }
    apply();
    return save();
}

FavoritesList::SaveResult FavoritesList::save() {
    const Stamp now = stampOf(filePath_);
    if (now.exists && !QFileInfo(filePath_).isFile())
        return {false, tr("%1 is not a regular file").arg(QDir::toNativeSeparators(filePath_))};
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
    stamp_ = stampOf(filePath_);
    if (watcher_ && !watcher_->files().contains(filePath_))
        watcher_->addPath(filePath_);
    return {};
}

QString FavoritesList::copyUnreadPart(QSaveFile &out) const {
    if (!stampOf(filePath_).exists)
        return QString();  // gone meanwhile: nothing left to lose
    QFile old;
    if (!openRegularFile(filePath_, old) || !old.seek(keptFrom_))
        return tr("the part of the old file that could not be read would be lost");
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
