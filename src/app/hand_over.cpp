#include "app/hand_over.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>
#include <memory>

namespace quillow {

namespace {
const QByteArray kMagic = QByteArrayLiteral("quillow-open-1\n");
const QByteArray kAnswer = QByteArrayLiteral("ok\n");
const qsizetype kHeader = kMagic.size() + 4;  // kMagic and the payload's length
constexpr int kMaxClients = 8;
// ms a later start may take to say its piece: one that says nothing must
// not keep the others out for long.
constexpr int kClientTime = 2000;
// ms a later start goes on trying while the running program does not
// listen yet or is busy with others
constexpr int kTryTime = 5000;
constexpr int kAnswerTime = 15000;  // ms it may take to answer
constexpr int kRetryTime = 50;

qint64 now() {
    return QDateTime::currentMSecsSinceEpoch();
}
}  // namespace

HandOver::HandOver(const QString &profileDir, QObject *parent) : QObject(parent) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return;  // nobody could be reached
    const QByteArray id =
        QCryptographicHash::hash(profileDir.toUtf8(), QCryptographicHash::Sha1).toHex();
    const QString base = runtime + QStringLiteral("/quillow-") + QLatin1String(id.left(16));
    socketPath_ = base + QStringLiteral(".socket");
    lockPath_ = base + QStringLiteral(".lock");
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Only a program that no longer runs leaves its lock behind, however
    // long ago it was taken.
    lock_->setStaleLockTime(0);
}

HandOver::~HandOver() = default;

bool HandOver::claim() {
    if (!lock_)
        return true;
    // A lock is a regular file, and one that cannot be taken is read: a
    // pipe there would hold every start up for ever. Anything else in its
    // place was put there by no Quillow, and goes (the link, not what it
    // points to).
    const QByteArray name = QFile::encodeName(lockPath_);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        ::unlink(name.constData());
    return lock_->tryLock(0) || lock_->error() != QLockFile::LockFailedError;
}

void HandOver::listen() {
    if (!lock_ || !lock_->isLocked())
        return;
    // Held by nobody since the lock is ours: left by a program that crashed.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &HandOver::onConnection);
    if (!server_.listen(socketPath_))
        qWarning("Quillow: later starts cannot reach this one: %s",
                 qPrintable(server_.errorString()));
}

void HandOver::onConnection() {
    while (QLocalSocket *client = server_.nextPendingConnection()) {
        if (clients_ >= kMaxClients) {
            client->abort();
            client->deleteLater();
            continue;
        }
        ++clients_;
        connect(client, &QObject::destroyed, this, [this] { --clients_; });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        client->setReadBufferSize(kMaxMessage);
        QTimer::singleShot(kClientTime, client, [client] {
            client->abort();
            client->deleteLater();
        });
        auto message = std::make_shared<QByteArray>();
        connect(client, &QLocalSocket::readyRead, this, [this, client, message] {
            message->append(client->read(kMaxMessage + 1 - message->size()));
            QStringList addresses;
            switch (decode(*message, &addresses)) {
                case Decoded::Incomplete:
                    return;
                case Decoded::Invalid:
                    client->abort();
                    client->deleteLater();
                    return;
                case Decoded::Complete:
                    break;
            }
            client->write(kAnswer);
            client->disconnectFromServer();
            // The windows open after this notification, not inside it.
            QTimer::singleShot(
                0, this, [this, addresses] { emit received(addresses.mid(0, kMaxAddresses)); });
        });
    }
}

void HandOver::send(const QStringList &addresses) {
    sending_ = true;
    message_ = encode(addresses);
    if (message_.size() > kMaxMessage) {
        QTimer::singleShot(0, this, [this] {
            finishSending(false, tr("Too many addresses to hand over at once."));
        });
        return;
    }
    sender_ = new QLocalSocket(this);
    connect(sender_, &QLocalSocket::connected, this, [this] { sender_->write(message_); });
    connect(sender_, &QLocalSocket::readyRead, this, [this] {
        if (sender_->bytesAvailable() >= kAnswer.size())
            finishSending(sender_->read(kAnswer.size()) == kAnswer,
                          tr("The running Quillow gave no proper answer."));
    });
    connect(sender_, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError e) {
        // The running program took the profile but may not listen yet, or
        // turned us away while it serves other starts.
        if (now() < giveUpAt_) {
            sender_->abort();
            QTimer::singleShot(kRetryTime, this, &HandOver::tryConnect);
        } else {
            finishSending(false, e == QLocalSocket::PeerClosedError
                                     ? tr("The running Quillow is busy; try again.")
                                     : sender_->errorString());
        }
    });
    QTimer::singleShot(kAnswerTime, this,
                       [this] { finishSending(false, tr("The running Quillow did not answer.")); });
    giveUpAt_ = now() + kTryTime;
    tryConnect();
}

void HandOver::tryConnect() {
    if (sending_)
        sender_->connectToServer(socketPath_);
}

void HandOver::finishSending(bool ok, const QString &error) {
    if (!sending_)
        return;
    sending_ = false;
    emit sent(ok, ok ? QString() : error);
}

QByteArray HandOver::encode(const QStringList &addresses) {
    QByteArray payload;
    for (const QString &address : addresses)
        payload += address.toUtf8() + '\0';
    QByteArray out = kMagic;
    out.resize(kHeader);
    qToBigEndian<quint32>(quint32(payload.size()), out.data() + kMagic.size());
    return out + payload;
}

HandOver::Decoded HandOver::decode(const QByteArray &message, QStringList *addresses) {
    if (!kMagic.startsWith(message.left(kMagic.size())))
        return Decoded::Invalid;
    if (message.size() < kHeader)
        return Decoded::Incomplete;
    const quint32 length = qFromBigEndian<quint32>(message.constData() + kMagic.size());
    if (length > quint32(kMaxMessage - kHeader))
        return Decoded::Invalid;
    if (message.size() < kHeader + qsizetype(length))
        return Decoded::Incomplete;
    QByteArray payload = message.mid(kHeader);
    if (payload.size() > qsizetype(length) || (length > 0 && !payload.endsWith('\0')))
        return Decoded::Invalid;
    addresses->clear();
    if (length == 0)
        return Decoded::Complete;
    payload.chop(1);
    for (const QByteArray &address : payload.split('\0'))
        addresses->append(QString::fromUtf8(address));
    return Decoded::Complete;
}

}  // namespace quillow
