#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QSaveFile;

namespace quillow {

// The favorites: one list for all main windows, kept in favorites.dat.
// Entries are kept as the bytes the file held, so an entry nobody touched
// is written back exactly as it was read; text() is the decoded form shown
// to the user. Every change rewrites the whole file through a temporary
// file that replaces the old one only once it is complete, so a failed or
// interrupted save leaves the previous file as it was.
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

    const QString &filePath() const { return filePath_; }

    // Reads the file the first time it is called and gives what could be
    // read; a missing file is an empty list. Later calls keep the list the
    // windows share, which may hold changes that could not be saved.
    void load();

    int count() const { return int(entries_.size()); }
    QString text(int position) const;  // empty outside the list
    QStringList texts() const;
    QByteArray bytes(int position) const;  // as written to the file
    // Part of an existing file was not read (too big, unreadable); it is
    // carried over by every save, and a save that cannot do so fails.
    bool keepsUnreadPart() const { return keptFrom_ >= 0; }

    // Inserts the address before the first empty entry (else at the end),
    // then saves the whole list.
    SaveResult add(const QString &address);
    // Removes the entry at position when there is one (-1: none), then
    // saves the whole list in either case.
    SaveResult remove(int position);
    // Writes the whole list over the file.
    SaveResult save();

Q_SIGNALS:
    // The list was replaced as a whole (the load).
    void reset();
    void inserted(int position);
    void removed(int position);

private:
    QString copyUnreadPart(QSaveFile &out) const;

    QString filePath_;
    QList<QByteArray> entries_;
    bool loaded_ = false;
    // Where the part of the file not in entries_ starts; -1 when none.
    qint64 keptFrom_ = -1;
};

}  // namespace quillow
