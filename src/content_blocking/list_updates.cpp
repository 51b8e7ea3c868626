#include "content_blocking/list_updates.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QThreadPool>
#include <QTimer>

#include "files/private_files.h"
#include "files/settings_file.h"
#include "filter/rule_parser.h"

namespace quillow {

namespace {

constexpr qint64 kRecheckAfterSecs = 24 * 60 * 60;
// Why a fetch of ours was cut short.
constexpr char kWhy[] = "quillow-why";

QString groupOf(const QString &address) {
    return QString::fromLatin1(
        QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// A header value a server sent, fit to send back: short and one line.
QByteArray headerValue(const QString &value) {
    const QByteArray bytes = value.toLatin1();
    if (bytes.size() > 1024)
        return {};
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) < 0x20)
            return {};
    return bytes;
}

// UTF-8 without control characters but for line ends and tabs.
bool isText(const QByteArray &data) {
    for (const char c : data) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7f)
            return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(data);
    return !utf8.hasError();
}

}  // namespace

ListUpdates::ListUpdates(Settings settings, QStringList addresses, QObject *parent)
    : QObject(parent), settings_(std::move(settings)), addresses_(std::move(addresses)) {}

ListUpdates::~ListUpdates() {
    for (const QPointer<QNetworkReply> &reply : std::as_const(running_)) {
        if (reply) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
    }
}

QString ListUpdates::fileFor(const QString &folder, const QString &address) {
    return folder + QLatin1Char('/') + groupOf(address).left(20) + QStringLiteral(".txt");
}

QStringList ListUpdates::files() const {
    QStringList out;
    for (const QString &address : addresses_)
        out.append(fileFor(settings_.folder, address));
    return out;
}

QStringList ListUpdates::failures() const {
    QStringList out;
    for (auto it = failures_.cbegin(); it != failures_.cend(); ++it)
        out.append(QStringLiteral("%1: %2").arg(it.key(), it.value()));
    out.sort();
    return out;
}

void ListUpdates::record(const QString &address, const std::function<void(QSettings &)> &change) {
    files::SettingsFile state(settings_.statePath);
    state.settings().beginGroup(groupOf(address));
    state.settings().setValue(QStringLiteral("address"), address);
    change(state.settings());
    state.settings().endGroup();
    state.save();
}

void ListUpdates::checkDue() {
    if (!settings_.network || !due_.isEmpty() || !running_.isEmpty() || pending_)
        return;
    files::SettingsFile state(settings_.statePath);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const QString &address : addresses_) {
        const qint64 checked =
            state.settings().value(groupOf(address) + QStringLiteral("/checked")).toLongLong();
        if (now - checked >= kRecheckAfterSecs || checked > now ||
            !QFileInfo::exists(fileFor(settings_.folder, address)))
            due_.append(address);
    }
    if (due_.isEmpty())
        emit roundOver();
    else
        fetchMore();
}

void ListUpdates::fetchMore() {
    files::SettingsFile state(settings_.statePath);
    while (!due_.isEmpty() && running_.size() < kMostAtOnce) {
        const QString address = due_.takeFirst();
        QNetworkRequest request{QUrl(address)};
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        // Asks only for a change when the copy it would keep is still there.
        if (QFileInfo::exists(fileFor(settings_.folder, address))) {
            QSettings &s = state.settings();
            s.beginGroup(groupOf(address));
            const QByteArray etag = headerValue(s.value(QStringLiteral("etag")).toString());
            const QByteArray modified =
                headerValue(s.value(QStringLiteral("lastModified")).toString());
            s.endGroup();
            if (!etag.isEmpty())
                request.setRawHeader("If-None-Match", etag);
            if (!modified.isEmpty())
                request.setRawHeader("If-Modified-Since", modified);
        }
        QNetworkReply *reply = settings_.network->get(request);
        running_.insert(address, reply);
        // However slowly a server sends, a fetch ends by its deadline.
        QTimer::singleShot(settings_.deadlineMs, reply, [this, reply] {
            reply->setProperty(kWhy,
                               tr("no whole answer within %1 s").arg(settings_.deadlineMs / 1000));
            reply->abort();
        });
        connect(reply, &QNetworkReply::downloadProgress, reply,
                [reply](qint64 received, qint64 total) {
                    if (received > kMostListBytes || total > kMostListBytes) {
                        reply->setProperty(kWhy, tr("larger than 32 MiB"));
                        reply->abort();
                    }
                });
        connect(reply, &QNetworkReply::finished, this,
                [this, reply, address] { onFinished(reply, address); });
    }
    if (due_.isEmpty() && running_.isEmpty() && !pending_)
        emit roundOver();
}

void ListUpdates::fail(const QString &address, const QString &why) {
    failures_.insert(address, why);
    qWarning().noquote() << QStringLiteral("Filter list %1 not updated: %2").arg(address, why);
    record(address, [&](QSettings &s) {
        s.setValue(QStringLiteral("failed"), QDateTime::currentSecsSinceEpoch());
        s.setValue(QStringLiteral("error"), why);
    });
}

void ListUpdates::onFinished(QNetworkReply *reply, const QString &address) {
    reply->deleteLater();
    running_.remove(address);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->isOpen() ? reply->read(kMostListBytes + 1) : QByteArray();
    if (status == 304) {
        failures_.remove(address);
        record(address, [](QSettings &s) {
            s.setValue(QStringLiteral("checked"), QDateTime::currentSecsSinceEpoch());
        });
    } else if (reply->property(kWhy).isValid()) {
        fail(address, reply->property(kWhy).toString());
    } else if (reply->error() != QNetworkReply::NoError || status != 200) {
        fail(address, status ? tr("the server answered %1").arg(status) : reply->errorString());
    } else if (body.size() > kMostListBytes) {
        fail(address, tr("larger than 32 MiB"));
    } else {
        // Checked and written off the window's thread.
        ++pending_;
        const QByteArray etag = reply->rawHeader("ETag");
        const QByteArray modified = reply->rawHeader("Last-Modified");
        const QString path = fileFor(settings_.folder, address);
        QPointer<ListUpdates> self(this);
        QThreadPool::globalInstance()->start([self, path, body, address, etag, modified] {
            const bool list = isText(body) && filter::readsAsFilterList(std::string_view(
                                                  body.constData(), std::size_t(body.size())));
            const files::FileProblem problem =
                list ? files::writePrivateFile(path, body) : files::FileProblem::None;
            const QString why = !list ? tr("the answer is no filter list")
                                : problem != files::FileProblem::None ? files::describe(problem)
                                                                      : QString();
            QMetaObject::invokeMethod(
                self,
                [self, address, why, etag, modified] {
                    if (self)
                        self->saved(address, why.isEmpty(), why, etag, modified);
                },
                Qt::QueuedConnection);
        });
    }
    fetchMore();
}

void ListUpdates::saved(const QString &address, bool ok, const QString &why, const QByteArray &etag,
                        const QByteArray &modified) {
    --pending_;
    if (ok) {
        failures_.remove(address);
        record(address, [&](QSettings &s) {
            s.setValue(QStringLiteral("checked"), QDateTime::currentSecsSinceEpoch());
            s.setValue(QStringLiteral("etag"), QString::fromLatin1(etag));
            s.setValue(QStringLiteral("lastModified"), QString::fromLatin1(modified));
            s.remove(QStringLiteral("error"));
        });
        emit listChanged();
    } else {
        fail(address, why);
    }
    fetchMore();
}

}  // namespace quillow
