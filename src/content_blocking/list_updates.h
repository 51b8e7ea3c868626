#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QSettings;

namespace quillow {

// The filter lists the user subscribed to by address (quillow.conf's
// Lists=), fetched at most once a day, each into a file of its own. A
// download replaces a list only when it reads as one; each has a deadline
// and a size cap, and a slow server holds up no other list.
class ListUpdates : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString folder;     // the lists, one file each
        QString statePath;  // each list's last check and answer
        QNetworkAccessManager *network = nullptr;
        int deadlineMs = 60 * 1000;  // a fetch's whole time
    };
    static constexpr qint64 kMostListBytes = qint64(32) << 20;
    static constexpr int kMostAtOnce = 4;

    ListUpdates(Settings settings, QStringList addresses, QObject *parent = nullptr);
    ~ListUpdates() override;

    // The file a subscribed list is kept in: named after its whole address,
    // so no two addresses (nor the user's own lists) share one.
    static QString fileFor(const QString &folder, const QString &address);
    QStringList files() const;

    // Fetches the lists not checked within a day.
    void checkDue();
    // The lists whose last check failed, each with why.
    QStringList failures() const;

signals:
    // A list was replaced: the lists are to be compiled again.
    void listChanged();
    // Every list due has been checked.
    void roundOver();

private:
    void fetchMore();
    void onFinished(QNetworkReply *reply, const QString &address);
    void saved(const QString &address, bool ok, const QString &why, const QByteArray &etag,
               const QByteArray &modified);
    void fail(const QString &address, const QString &why);
    void record(const QString &address, const std::function<void(QSettings &)> &change);

    const Settings settings_;
    const QStringList addresses_;
    QStringList due_;
    QHash<QString, QPointer<QNetworkReply>> running_;
    int pending_ = 0;  // fetched, being checked and written
    QHash<QString, QString> failures_;
};

}  // namespace quillow
