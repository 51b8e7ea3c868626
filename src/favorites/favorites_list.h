#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QFileSystemWatcher;
class QSaveFile;
class QTimer;

namespace quillow {

// The favorites: one list for all main windows, kept in favorites.dat.
// Entries are kept as the bytes the file held, so an entry nobody touched
// is written back exactly as it was read; text() is the decoded form shown
// to the user. Every change rewrites the whole file through a temporary
// file that replaces the old one only once it is complete, so a failed or
// interrupted save leaves the previous file as it was.
//
// Another program may share the file. A change is made under a lock file
// beside it, to the file as it is then: when it changed since it was read,
// it is read again first, so nobody's entries are lost; and the list
// follows changes others make to the file.
class FavoritesList : public QObject {
    Q_OBJECT
public:
    struct SaveResult {
        bool ok = true;
        QString error;  // why the file could not be written
    };

    // At most this much of the file is read. Lines beyond it are not shown
    // but stay in the file: every save writes them back after the list.
    static constexpr qint64 kReadLimit = 16 * 1024 * 1024;

    explicit FavoritesList(QString filePath, QObject *parent = nullptr);
    ~FavoritesList() override;

    const QString &filePath() const { return filePath_; }

    // Reads the file the first time it is called and gives what could be
    // read; a missing file is an empty list. Later calls keep the list the
    // windows share, which may hold changes that could not be saved.
    void load();

    int count() const { return int(entries_.size()); }
    QString text(int position) const;  // empty outside the list
    QStringList texts() const;
    QByteArray bytes(int position) const;  // as written to the file
    // Part of an existing file was not read (too big, unreadable, not a
    // regular file); a save keeps it or fails.
    bool keepsUnreadPart() const { return keptFrom_ >= 0; }

    // Inserts the address before the first empty entry (else at the end),
    // then saves the whole list.
    SaveResult add(const QString &address);
    // Removes the first entry with the bytes of the entry at position, when
    // there is one (-1: none), then saves the whole list in either case.
    SaveResult remove(int position);

Q_SIGNALS:
    // The list was replaced as a whole (read from the file).
    void reset();
    void inserted(int position);
    void removed(int position);

private:
    // What says whether the file changed: its identity, size and time.
    struct Stamp {
        bool exists = false;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const Stamp &o) const;
        bool operator!=(const Stamp &o) const { return !(*this == o); }
    };
    static Stamp stampOf(const QString &path);

    void read();
    void followFile();
    void readAgainIfChanged();
    SaveResult change(const std::function<void()> &apply);
    SaveResult save();
    QString copyUnreadPart(QSaveFile &out) const;

    QString filePath_;
    QList<QByteArray> entries_;
    bool loaded_ = false;
    // Where the part of the file not in entries_ starts; -1 when none.
    qint64 keptFrom_ = -1;
    // The file as last read or written.
    Stamp stamp_;
    QFileSystemWatcher *watcher_ = nullptr;
    QTimer *recheck_ = nullptr;
};

}  // namespace quillow
