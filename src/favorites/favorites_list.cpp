#include "favorites/favorites_list.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLockFile>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "favorites/favorites_format.h"
#include "text/shortened.h"

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
// The reading thread's nice value: it takes what the start leaves.
constexpr int kReaderNice = 19;

// Opens path for reading only when it is a regular file: a pipe or a
// device in its place would hold the window up or never end. The check is
// made on the file opened, so nothing can be swapped in between.
bool openRegularFile(const QString &path, QFile &file, int flags = 0) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    return file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
}

// What stands at path itself, a link not followed; Link or NotRegularFile
// when it is no file to write (the path in the detail).
FavoritesList::SaveOutcome occupantProblem(const QString &path, struct stat *found = nullptr) {
    using Reason = FavoritesList::SaveOutcome::Reason;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};  // nothing there: the write says why, if it fails
    if (found)
        *found = st;
    if (S_ISLNK(st.st_mode))
        return {Reason::Link, path};
    if (!S_ISREG(st.st_mode))
        return {Reason::NotRegularFile, path};
    return {};
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

FavoritesList::FavoritesList(QString filePath, qint64 readLimit, QObject *parent)
    : QAbstractListModel(parent), filePath_(std::move(filePath)), readLimit_(readLimit) {}

FavoritesList::~FavoritesList() {
    if (reader_)
        reader_->wait();
    delete reader_;
}

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
    if (loadStarted_)
        return;
    loadStarted_ = true;
    startReading();
    followFile();
}

void FavoritesList::waitForLoad() {
    if (reader_) {
        reader_->wait();
        takeReading();
    }
}

FavoritesList::Reading FavoritesList::read(const QString &path, qint64 limit) {
    Reading r;
    r.stamp = stampOf(path);
    if (!r.stamp.exists)
        return r;  // first run: the first change creates the file
    // From here on the file exists, and what cannot be read of it is kept.
    r.keptFrom = 0;
    QFile file;
    if (!openRegularFile(path, file))
        return r;
    // Ask for no more than the file holds: a buffer of the whole limit
    // would cost more than reading an ordinary file.
    r.buffer = file.read(qMin(file.size(), limit));
    if (file.error() == QFileDevice::NoError && file.atEnd()) {
        r.keptFrom = -1;
    } else {
        // Too big, or a read error: take the whole lines read so far.
        r.buffer.truncate(favorites::wholeLinesLength(r.buffer));
        r.keptFrom = r.buffer.size();
    }
    r.entries = favorites::parseInPlace(r.buffer);
    return r;
}

void FavoritesList::startReading() {
    if (reader_)
        return;
    reader_ = QThread::create([this, path = filePath_, limit = readLimit_] {
        // Behind the window's own start: a big file must not slow it.
        ::setpriority(PRIO_PROCESS, 0, kReaderNice);
        reading_ = read(path, limit);
    });
    // Told on this object's thread, after the reader has ended.
    connect(reader_, &QThread::finished, this, &FavoritesList::takeReading);
    reader_->start();
}

void FavoritesList::takeReading() {
    if (!reader_ || !reader_->isFinished())
        return;
    delete reader_;
    reader_ = nullptr;
    take(std::exchange(reading_, Reading()));
}

void FavoritesList::take(Reading reading) {
    beginResetModel();
    stamp_ = reading.stamp;
    keptFrom_ = reading.keptFrom;
    // The entries point into the buffer: the two go together.
    entries_ = std::move(reading.entries);
    buffer_ = std::move(reading.buffer);
    endResetModel();
    if (keptFrom_ >= 0 && stamp_.size > readLimit_ && !toldPartlyRead_) {
        toldPartlyRead_ = true;
        emit partlyRead();
    }
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
    if (QFileInfo::exists(filePath_))
        watcher_->addPath(filePath_);
}

void FavoritesList::readAgainIfChanged() {
    if (stampOf(filePath_) == stamp_)
        return;
    if (!watcher_->files().contains(filePath_))
        watcher_->addPath(filePath_);
    startReading();
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

int FavoritesList::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant FavoritesList::data(const QModelIndex &index, int role) const {
    if (role != Qt::DisplayRole || index.row() < 0 || index.row() >= count())
        return QVariant();
    // Only the start of a long entry is decoded: a character takes at most
    // four bytes.
    const QByteArray &entry = entries_.at(index.row());
    const qsizetype decoded = qsizetype(kShownLength) * 4;
    return shortened(QString::fromLocal8Bit(entry.left(decoded)), kShownLength,
                     entry.size() > decoded);
}

Qt::ItemFlags FavoritesList::flags(const QModelIndex &index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

FavoritesList::SaveOutcome FavoritesList::add(const QString &address) {
    waitForLoad();
    QByteArray entry = address.toLocal8Bit();
    // A carriage return would end the line in the file and the address
    // would come back as two entries; an address spells it %0D.
    entry.replace('\r', "%0D");
    return change([this, &entry] {
        qsizetype p = 0;
        while (p < entries_.size() && !entries_.at(p).isEmpty())
            ++p;
        beginInsertRows(QModelIndex(), int(p), int(p));
        entries_.insert(p, entry);
        endInsertRows();
    });
}

FavoritesList::SaveOutcome FavoritesList::remove(int position) {
    waitForLoad();
    const bool chosen = position > -1 && position < count();
    // A copy: the entry may point into a buffer that a new reading replaces.
    const QByteArray entry =
        chosen ? QByteArray(entries_.at(position).constData(), entries_.at(position).size())
               : QByteArray();
    // Which of the equal entries was chosen: the same one goes when another
    // program changed the file meanwhile, and none when it is gone.
    const qsizetype occurrence =
        chosen ? std::count(entries_.cbegin(), entries_.cbegin() + position, entry) : -1;
    return change([this, occurrence, &entry] {
        qsizetype p = -1;
        for (qsizetype i = 0, seen = 0; occurrence >= 0 && i < entries_.size() && p < 0; ++i)
            if (entries_.at(i) == entry && seen++ == occurrence)
                p = i;
        if (p < 0)
            return;
        emit removing(int(p));
        beginRemoveRows(QModelIndex(), int(p), int(p));
        entries_.removeAt(p);
        endRemoveRows();
    });
}

FavoritesList::SaveOutcome FavoritesList::change(const std::function<void()> &apply) {
    const QString lockPath = filePath_ + QStringLiteral(".lock");
    // A lock that cannot be made is no reason to lose the change: without
    // the right to make it, the save below says why it fails. Something
    // other than a file in its place is passed over too: a lock it cannot
    // take is read, and a pipe would be waited on for ever.
    std::optional<QLockFile> lock;
    if (occupantProblem(lockPath).saved()) {
        lock.emplace(lockPath);
        lock->setStaleLockTime(kStaleLockMs);
        if (!lock->tryLock(kLockWaitMs) && lock->error() == QLockFile::LockFailedError)
            return {SaveOutcome::Reason::Busy, {}};
    }
    waitForLoad();
    if (stampOf(filePath_) != stamp_)
        take(read(filePath_, readLimit_));
    apply();
    return save();
}

FavoritesList::SaveOutcome FavoritesList::save() {
    using Reason = SaveOutcome::Reason;
    // The file itself, not what a link in its place points to: the list
    // goes nowhere else.
    struct stat old {};
    if (const SaveOutcome planted = occupantProblem(filePath_, &old); !planted.saved())
        return planted;
    const bool existed = old.st_mode != 0;
    // A new file beside the old one takes its name once it is whole on the
    // disk: whatever was put there meanwhile is replaced, never written
    // through. Nobody else on the machine reads a new file; an old one
    // keeps the permissions its owner gave it.
    const QByteArray name = QFile::encodeName(filePath_);
    const QByteArray temporary =
        name + '.' + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
    const int fd = ::open(temporary.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return {Reason::WriteFailed, systemError()};
    QFile out;
    out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    const QByteArray head = favorites::serialize(entries_);
    SaveOutcome outcome;
    if (::fchmod(fd, existed ? old.st_mode & 07777 : S_IRUSR | S_IWUSR) != 0)
        outcome = {Reason::WriteFailed, systemError()};
    else if (!writeFully(out, head))
        outcome = {Reason::WriteFailed, out.errorString()};
    else if (keptFrom_ >= 0)
        outcome = copyUnreadPart(out);
    if (outcome.saved())
        if (const QString error = syncToDisk(out); !error.isEmpty())
            outcome = {Reason::WriteFailed, error};
    out.close();
    if (outcome.saved() && ::rename(temporary.constData(), name.constData()) != 0)
        outcome = {Reason::WriteFailed, systemError()};
    if (!outcome.saved()) {
        ::unlink(temporary.constData());
        return outcome;
    }
    if (keptFrom_ >= 0)
        keptFrom_ = head.size();
    stamp_ = stampOf(filePath_);
    if (watcher_ && !watcher_->files().contains(filePath_))
        watcher_->addPath(filePath_);
    return {};
}

FavoritesList::SaveOutcome FavoritesList::copyUnreadPart(QFile &out) const {
    using Reason = SaveOutcome::Reason;
    if (!stampOf(filePath_).exists)
        return {};  // gone meanwhile: nothing left to lose
    QFile old;
    if (!openRegularFile(filePath_, old, O_NOFOLLOW) || !old.seek(keptFrom_))
        return {Reason::UnreadPartLost, {}};
    for (;;) {
        const QByteArray chunk = old.read(1 << 20);
        if (old.error() != QFileDevice::NoError)
            return {Reason::UnreadPartLost, old.errorString()};
        if (chunk.isEmpty())
            return {};
        if (!writeFully(out, chunk))
            return {Reason::WriteFailed, out.errorString()};
    }
}

QString FavoritesList::failureText(const SaveOutcome &outcome) const {
    using Reason = SaveOutcome::Reason;
    switch (outcome.reason) {
        case Reason::Saved:
            return QString();
        case Reason::Busy:
            return tr("another Quillow is saving them right now; try again");
        case Reason::NotRegularFile:
            return tr("%1 is not a regular file").arg(QDir::toNativeSeparators(outcome.detail));
        case Reason::Link:
            return tr("%1 is a link to another file").arg(QDir::toNativeSeparators(outcome.detail));
        case Reason::WriteFailed:
            return outcome.detail;
        case Reason::UnreadPartLost:
            return outcome.detail.isEmpty()
                       ? tr("the part of the old file that could not be read would be lost")
                       : tr("the part of the old file that could not be read would be lost (%1)")
                             .arg(outcome.detail);
    }
    return QString();
}

}  // namespace quillow
