#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QFileSystemWatcher;
class QFile;
class QThread;
class QTimer;

namespace quillow {

// The favorites: one list for all main windows, kept in favorites.dat, and
// the model every window's favorites view shows. Entries are kept as the
// bytes the file held, so an entry nobody touched is written back exactly
// as it was read; text() is the decoded form shown to the user. The file
// is read whole into one buffer that the entries point into, on a thread
// of its own, so a big file neither holds the window back nor costs much
// more memory than its own size. Every change rewrites the whole file
// through a temporary file that replaces the old one only once it is
// complete, so a failed or interrupted save leaves the previous file as it
// was.
//
// Another program may share the file. A change is made under a lock file
// beside it, to the file as it is then: when it changed since it was read,
// it is read again first, so nobody's entries are lost; and the list
// follows changes others make to the file.
class FavoritesList : public QAbstractListModel {
    Q_OBJECT
public:
    // How a change ended: saved, or why the file could not be written.
    struct SaveOutcome {
        enum class Reason {
            Saved,
            Busy,            // another program holds the lock
            NotRegularFile,  // a folder, a pipe, ... in the file's place (the path in detail)
            Link,            // a link in the file's place (the path in detail)
            WriteFailed,     // the system's words in detail
            UnreadPartLost,  // the part not read could not be copied
        };
        Reason reason = Reason::Saved;
        QString detail;
        bool saved() const { return reason == Reason::Saved; }
    };
    // Why a save failed, in words: "<file> is not a regular file".
    QString failureText(const SaveOutcome &outcome) const;

    // At most this much of the file is read. Lines beyond it are not shown
    // but stay in the file: every save writes them back after the list.
    static constexpr qint64 kReadLimit = qint64(256) * 1024 * 1024;
    // Longer entries are shown cut short (drawing megabytes of text would
    // freeze the window); choosing one still goes to the whole address.
    static constexpr int kShownLength = 2048;

    // readLimit is how much of the file is read at most.
    explicit FavoritesList(QString filePath, qint64 readLimit = kReadLimit,
                           QObject *parent = nullptr);
    ~FavoritesList() override;

    const QString &filePath() const { return filePath_; }

    // Starts reading the file, once; the list fills when it is read (a
    // missing file is an empty list). Later calls keep the list the windows
    // share, which may hold changes that could not be saved.
    void load();
    // Waits until the reading load() started is in.
    void waitForLoad();

    int count() const { return int(entries_.size()); }
    QString text(int position) const;  // empty outside the list
    QStringList texts() const;
    // Part of an existing file was not read (too big, unreadable, not a
    // regular file); a save keeps it or fails.
    bool keepsUnreadPart() const { return keptFrom_ >= 0; }

    // Inserts the address before the first empty entry (else at the end),
    // then saves the whole list.
    SaveOutcome add(const QString &address);
    // Removes the entry at position (-1: none), then saves the whole list in
    // either case. When another program changed the file meanwhile, the
    // same occurrence of the entry goes (the k-th of those equal to it), or
    // none when fewer are left.
    SaveOutcome remove(int position);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    // The entry at position is about to go, before any view has heard of it.
    void removing(int position);
    // The file is bigger than what is read of it: the rest is kept but not
    // shown. Emitted once.
    void partlyRead();

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
    // The file as one reading found it.
    struct Reading {
        Stamp stamp;
        QByteArray buffer;
        QList<QByteArray> entries;  // pointing into buffer
        qint64 keptFrom = -1;
    };
    static Stamp stampOf(const QString &path);
    static Reading read(const QString &path, qint64 limit);

    void startReading();
    void takeReading();
    void take(Reading reading);
    void followFile();
    void readAgainIfChanged();
    SaveOutcome change(const std::function<void()> &apply);
    SaveOutcome save();
    SaveOutcome copyUnreadPart(QFile &out) const;

    QString filePath_;
    qint64 readLimit_;
    QByteArray buffer_;
    QList<QByteArray> entries_;
    // Where the part of the file not in entries_ starts; -1 when none.
    qint64 keptFrom_ = -1;
    // The file as last read or written.
    Stamp stamp_;
    bool loadStarted_ = false;
    bool toldPartlyRead_ = false;
    QThread *reader_ = nullptr;
    Reading reading_;  // filled by reader_
    QFileSystemWatcher *watcher_ = nullptr;
    QTimer *recheck_ = nullptr;
};

}  // namespace quillow
