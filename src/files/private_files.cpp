#include "files/private_files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

namespace quillow::files {

namespace {

// Opens a file for reading without following a link or waiting on a FIFO,
// and checks it is a regular file of at most `limit` bytes.
int openRegular(const QString &path, qint64 limit, qint64 &size, FileProblem &problem) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ENOENT                    ? FileProblem::Missing
                  : errno == ELOOP || errno == ENXIO ? FileProblem::NotARegularFile
                                                     : FileProblem::Unreadable;
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        problem = FileProblem::NotARegularFile;
        return -1;
    }
    if (info.st_size > limit) {
        ::close(fd);
        problem = FileProblem::TooLarge;
        return -1;
    }
    size = info.st_size;
    problem = FileProblem::None;
    return fd;
}

}  // namespace

QString describe(FileProblem problem) {
    switch (problem) {
        case FileProblem::None:
            return {};
        case FileProblem::Missing:
            return QStringLiteral("it does not exist");
        case FileProblem::NotARegularFile:
            return QStringLiteral(
                "something other than a file is there (a link, a pipe, a folder)");
        case FileProblem::TooLarge:
            return QStringLiteral("it is too large");
        case FileProblem::Unreadable:
            return QStringLiteral("it cannot be read");
        case FileProblem::Unwritable:
            return QStringLiteral("it cannot be written");
    }
    return {};
}

FileProblem readPrivateFile(const QString &path, qint64 limit, QByteArray &out) {
    qint64 size = 0;
    FileProblem problem = FileProblem::None;
    const int fd = openRegular(path, limit, size, problem);
    if (fd < 0)
        return problem;
    // It may grow while it is read: never past the limit.
    out.resize(qsizetype(size));
    qint64 done = 0;
    for (;;) {
        if (done == out.size()) {
            if (out.size() > limit)
                break;
            out.resize(qsizetype(std::min<qint64>(limit + 1, out.size() + 65536)));
        }
        const ssize_t n = ::read(fd, out.data() + done, std::size_t(out.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            problem = n < 0 ? FileProblem::Unreadable : FileProblem::None;
            break;
        }
        done += n;
    }
    ::close(fd);
    out.truncate(qsizetype(done));
    if (problem == FileProblem::None && done > limit)
        problem = FileProblem::TooLarge;
    if (problem != FileProblem::None)
        out.clear();
    return problem;
}

std::unique_ptr<MappedFile> MappedFile::open(const QString &path, qint64 limit,
                                             FileProblem *problem) {
    qint64 size = 0;
    FileProblem found = FileProblem::None;
    const int fd = openRegular(path, limit, size, found);
    void *data = MAP_FAILED;
    if (fd >= 0) {
        if (size > 0)
            data = ::mmap(nullptr, std::size_t(size), PROT_READ, MAP_PRIVATE, fd, 0);
        found = data == MAP_FAILED ? FileProblem::Unreadable : FileProblem::None;
        ::close(fd);
    }
    if (problem)
        *problem = found;
    if (found != FileProblem::None)
        return nullptr;
    return std::unique_ptr<MappedFile>(
        new MappedFile(static_cast<const char *>(data), std::size_t(size)));
}

MappedFile::~MappedFile() {
    ::munmap(const_cast<char *>(data_), size_);
}

bool makePrivateFolder(const QString &path) {
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).isDir())
        return true;
    return QDir().mkpath(path) &&
           QFile::setPermissions(
               path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

FileProblem writePrivateFile(const QString &path, QByteArrayView data) {
    if (path.isEmpty())
        return FileProblem::Unwritable;
    const QFileInfo where(path);
    if (!makePrivateFolder(where.absolutePath()))
        return FileProblem::Unwritable;
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return FileProblem::NotARegularFile;
    // A new file of our own, beside the old one; then it takes the name.
    const QString temporary = where.absolutePath() + QStringLiteral("/.") + where.fileName() +
                              QStringLiteral(".") +
                              QString::number(QRandomGenerator::system()->generate64(), 36);
    const QByteArray name = QFile::encodeName(temporary);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return FileProblem::Unwritable;
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    for (qsizetype done = 0; ok && done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, std::size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? n : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(name.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok)
        ::unlink(name.constData());
    return ok ? FileProblem::None : FileProblem::Unwritable;
}

}  // namespace quillow::files
