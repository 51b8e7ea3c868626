#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <string_view>

namespace quillow::files {

// The program's own files (settings, filter lists and their cache, the
// crash record) are read and written so that nothing planted in their
// place can take over: no symbolic link is followed, no FIFO or device
// waited on, nothing but a regular file read, and a write replaces the
// file (or whatever was planted there) whole, readable by the user only.

// Why a file could not be read or written.
enum class FileProblem { None, Missing, NotARegularFile, TooLarge, Unreadable, Unwritable };
QString describe(FileProblem problem);

// Reads a regular file of at most `limit` bytes.
FileProblem readPrivateFile(const QString &path, qint64 limit, QByteArray &out);

// A regular file of at most `limit` bytes mapped read-only: its pages stay
// the file's. A file replaced meanwhile leaves this one as it was.
class MappedFile {
public:
    static std::unique_ptr<MappedFile> open(const QString &path, qint64 limit,
                                            FileProblem *problem = nullptr);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;
    std::string_view bytes() const { return {data_, size_}; }

private:
    MappedFile(const char *data, std::size_t size) : data_(data), size_(size) {}
    const char *data_;
    std::size_t size_;
};

// Writes `data` as the whole file at `path`, 0600, through a new file in
// the same folder renamed over it: a link or FIFO planted there is
// replaced, never written through; a folder there is refused. The folder
// is made (0700) when missing.
FileProblem writePrivateFile(const QString &path, QByteArrayView data);

// Makes a folder of the program's (0700) unless it exists; one that
// exists is left as the user made it. False when no folder is there.
bool makePrivateFolder(const QString &path);

}  // namespace quillow::files
