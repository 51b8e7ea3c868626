#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <memory>

class QLocalSocket;

namespace quillow {

// One running program per profile. The first start takes a lock named
// after its profile's folder and listens on a local socket of the same
// name; a later start with that profile hands its addresses over through
// the socket and ends. Lock and socket lie in the user's runtime folder; a
// lock left by a program that crashed is taken over, and so is its socket.
// Neither side waits on the socket: every step answers a notification.
class HandOver : public QObject {
    Q_OBJECT
public:
    // Largest message taken; a start with more addresses than fit is refused.
    static constexpr qsizetype kMaxMessage = 256 * 1024;
    // Most addresses one hand-over opens: each is a window.
    static constexpr int kMaxAddresses = 20;

    explicit HandOver(const QString &profileDir, QObject *parent = nullptr);
    ~HandOver() override;

    // Takes the profile for this process; false when another program holds
    // it, which then gets the addresses. Needs no application object.
    bool claim();
    // Listens for later starts (after claim(), once the application object
    // exists).
    void listen();
    // Hands the addresses to the program that holds the profile; sent()
    // tells how it went. A program busy with other starts is tried again
    // for a few seconds.
    void send(const QStringList &addresses);
    const QString &socketPath() const { return socketPath_; }

    // The message that carries the addresses, and its reading.
    static QByteArray encode(const QStringList &addresses);
    enum class Decoded { Incomplete, Invalid, Complete };
    static Decoded decode(const QByteArray &message, QStringList *addresses);

Q_SIGNALS:
    // A later start handed these over (none: it was started plainly), at
    // most kMaxAddresses.
    void received(const QStringList &addresses);
    // The hand-over ended; error says why it failed.
    void sent(bool ok, const QString &error);

private:
    void onConnection();
    void tryConnect();
    void finishSending(bool ok, const QString &error);

    QString socketPath_;
    QString lockPath_;
    std::unique_ptr<QLockFile> lock_;  // none without a runtime folder
    QLocalServer server_;
    int clients_ = 0;
    QLocalSocket *sender_ = nullptr;
    QByteArray message_;
    qint64 giveUpAt_ = 0;  // msecs since the epoch
    bool sending_ = false;
};

}  // namespace quillow
