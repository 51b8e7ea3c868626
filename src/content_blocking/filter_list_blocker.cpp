#include "content_blocking/filter_list_blocker.h"

#include <malloc.h>

#include <sys/resource.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QStringDecoder>

#include "files/private_files.h"
#include "filter/cache_format.h"

namespace quillow {

namespace {

constexpr qint64 kMaxListBytes = qint64(32) << 20;
constexpr qint64 kMaxAllListsBytes = qint64(64) << 20;
constexpr qint64 kMaxCacheBytes = qint64(256) << 20;
constexpr qint64 kMaxSuffixListBytes = qint64(16) << 20;
constexpr int kMaxAllowedSites = 10000;
constexpr int kMaxSubscriptions = 50;
constexpr int kTransferTimeoutMs = 60 * 1000;
constexpr int kUpdateIntervalMs = 6 * 60 * 60 * 1000;
constexpr qint64 kRecheckAfterSecs = 24 * 60 * 60;
// What one document is sent for element hiding, at most: far more than
// any site of the lists needs, far less than a hostile list could make.
constexpr std::size_t kMostHidingData = 256 * 1024;

// The whole file as bytes, or nothing when it cannot be read or is larger
// than `limit` (it may have grown since it was looked at).
bool readBounded(const QString &path, qint64 limit, std::string &out) {
    QByteArray data;
    if (files::readPrivateFile(path, limit, data) != files::FileProblem::None)
        return false;
    out.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

// The compiled lists as they lie on disk, read where they lie.
class MappedCache : public filter::CacheBytes {
public:
    explicit MappedCache(std::unique_ptr<files::MappedFile> file) : file_(std::move(file)) {}
    std::string_view bytes() const override { return file_->bytes(); }

private:
    std::unique_ptr<files::MappedFile> file_;
};

std::unique_ptr<filter::FilterEngine> readCache(const QString &path, const std::string &source) {
    auto file = files::MappedFile::open(path, kMaxCacheBytes);
    if (!file)
        return nullptr;
    return filter::FilterEngine::deserialize(std::make_shared<MappedCache>(std::move(file)),
                                             source);
}

// Host names as the user's list keeps them.
QString siteKey(const QString &host) {
    QString key = host.trimmed().toLower();
    if (key.startsWith(QLatin1String("www.")))
        key.remove(0, 4);
    return key;
}

bool isSubscription(const QString &address) {
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// The file a subscribed list is kept in: a plain name inside filters/.
QString listFileName(const QUrl &url) {
    QString name = url.fileName().toLower();
    if (name.isEmpty())
        name = url.host().toLower();
    QString kept;
    for (const QChar c : name) {
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
            c == QLatin1Char('_') || c == QLatin1Char('-'))
            kept += c;
    }
    while (kept.startsWith(QLatin1Char('.')))
        kept.remove(0, 1);
    kept.truncate(100);
    if (kept.isEmpty())
        kept = QStringLiteral("list");
    if (!kept.endsWith(QLatin1String(".txt")))
        kept += QLatin1String(".txt");
    return kept;
}

QString recordGroup(const QString &address) {
    return QString::fromLatin1(
        QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// A header value a server sent, fit to send back: short and one line.
QByteArray headerValue(const QString &value) {
    const QByteArray bytes = value.toLatin1();
    if (bytes.size() > 1024)
        return {};
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20)
            return {};
    }
    return bytes;
}

// UTF-8 without control characters but for line ends and tabs.
bool isText(const std::string &data) {
    for (const char c : data) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7f)
            return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(QByteArrayView(data.data(), qsizetype(data.size())));
    return !utf8.hasError();
}

}  // namespace

struct FilterListBlocker::Loaded {
    std::shared_ptr<const filter::FilterEngine> engine;
    QStringList paths;
    int lists = 0;
    int skipped = 0;
    bool fromCache = false;
    qint64 ms = 0;
};

FilterListBlocker::FilterListBlocker(Settings settings, QObject *parent)
    : ContentBlocker(parent), settings_(std::move(settings)) {
    updateTimer_.setSingleShot(true);
    connect(&updateTimer_, &QTimer::timeout, this, [this] {
        checkForUpdatesNow();
        updateTimer_.start(kUpdateIntervalMs);
    });
    firstLoadWait_.setSingleShot(true);
    connect(&firstLoadWait_, &QTimer::timeout, this, &FilterListBlocker::endFirstLoadWait);
}

FilterListBlocker::~FilterListBlocker() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    jobCondition_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

QString FilterListBlocker::confPath() const {
    return settings_.configDir + QLatin1String("/quillow.conf");
}

QString FilterListBlocker::recordsPath() const {
    return settings_.cacheDir + QLatin1String("/filter-updates.ini");
}

void FilterListBlocker::start() {
    if (worker_.joinable())
        return;
    QSettings conf(confPath(), QSettings::IniFormat);
    if (settings_.offForRun)
        state_ = State::OffForRun;
    else if (!conf.value(QStringLiteral("ContentBlocking/Enabled"), true).toBool())
        state_ = State::OffInSettings;
    const QStringList sites =
        conf.value(QStringLiteral("ContentBlocking/AllowedSites")).toStringList();
    for (int i = 0; i < sites.size() && i < kMaxAllowedSites; ++i) {
        if (!siteKey(sites[i]).isEmpty())
            allowedSites_.insert(siteKey(sites[i]));
    }
    const QStringList lists = conf.value(QStringLiteral("ContentBlocking/Lists")).toStringList();
    for (const QString &address : lists) {
        if (subscriptions_.size() < kMaxSubscriptions && isSubscription(address) &&
            !subscriptions_.contains(address))
            subscriptions_.append(address);
    }
    if (state_ != State::On)
        return;
    worker_ = std::thread([this] { runJobs(); });
    // The lists are not needed to show the window: they load once the
    // program has started, or at once when a request asks before that.
    QTimer::singleShot(settings_.loadDelayMs, this, [this] { beginLoading(); });
    if (settings_.network && !subscriptions_.isEmpty())
        updateTimer_.start(settings_.updateDelayMs);
}

void FilterListBlocker::beginLoading() {
    if (loadStarted_.exchange(true))
        return;
    post([this] { load(); });
}

void FilterListBlocker::post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    jobCondition_.notify_one();
}

void FilterListBlocker::runJobs() {
    // The lists are compiled at a lower priority: the window and the web
    // engine start first. A page that waits for the lists leaves the
    // processors to this thread.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            jobCondition_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

// On the worker: finds the lists, then reads the cache made from exactly
// these files or compiles them anew.
void FilterListBlocker::load() {
    QElapsedTimer clock;
    clock.start();
    Loaded loaded;
    QStringList paths;
    QString source;
    qint64 total = 0;
    const QStringList folders = {settings_.systemListDir,
                                 settings_.configDir + QLatin1String("/filters")};
    for (const QString &folder : folders) {
        const QFileInfoList files = QDir(folder).entryInfoList(
            {QStringLiteral("*.txt")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &file : files) {
            if (file.size() > kMaxListBytes || total + file.size() > kMaxAllListsBytes) {
                ++loaded.skipped;
                continue;
            }
            total += file.size();
            paths.append(file.absoluteFilePath());
        }
    }
    for (const QString &path : paths + QStringList{settings_.suffixListPath}) {
        const QFileInfo file(path);
        source += QStringLiteral("%1\t%2\t%3\n")
                      .arg(path, QString::number(file.size()),
                           QString::number(file.lastModified().toMSecsSinceEpoch()));
    }
    const std::string key = source.toStdString();
    const QString cachePath = settings_.cacheDir + QLatin1String("/filters.idx");
    std::string data;
    if (!paths.isEmpty()) {
        loaded.engine = readCache(cachePath, key);
        loaded.fromCache = loaded.engine != nullptr;
    }
    if (!paths.isEmpty() && !loaded.engine) {
        std::vector<std::string> texts;
        for (const QString &path : paths) {
            if (readBounded(path, kMaxListBytes, data))
                texts.push_back(std::move(data));
        }
        std::string suffixes;
        readBounded(settings_.suffixListPath, kMaxSuffixListBytes, suffixes);
        const std::vector<std::string_view> views(texts.begin(), texts.end());
        loaded.engine =
            filter::FilterEngine::build(views, filter::PublicSuffixList::fromText(suffixes));
        if (loaded.engine) {
            const std::string compiled = loaded.engine->serialize(key);
            const files::FileProblem problem = files::writePrivateFile(cachePath, compiled);
            if (problem != files::FileProblem::None)
                qWarning().noquote() << QStringLiteral("Could not write %1: %2")
                                            .arg(cachePath, files::describe(problem));
            // Read back where it lies, the lists take no memory of the
            // program's own.
            else if (auto mapped = readCache(cachePath, key))
                loaded.engine = std::move(mapped);
        }
    }
    // What compiling took goes back to the system.
    malloc_trim(0);
    loaded.lists = int(paths.size());
    if (loaded.engine)
        loaded.paths = paths;
    loaded.ms = clock.elapsed();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (loaded.engine) {
            engine_ = loaded.engine;
            listPaths_ = loaded.paths;
        }
    }
    QMetaObject::invokeMethod(
        this, [this, loaded] { onLoaded(loaded); }, Qt::QueuedConnection);
}

void FilterListBlocker::onLoaded(const Loaded &loaded) {
    if (!loaded.engine && !ready()) {
        state_ = State::NoLists;
        qInfo().noquote() << QLatin1String("Content blocking: no filter lists found");
    } else if (loaded.engine) {
        fromCache_ = loaded.fromCache;
        const filter::FilterStats s = loaded.engine->stats();
        qInfo().noquote() << QStringLiteral(
                                 "Content blocking: %1 lists (%2 skipped), %3 network and %4 "
                                 "element-hiding rules, %5 unsupported, %6 unreadable, %7 ms%8")
                                 .arg(loaded.lists)
                                 .arg(loaded.skipped)
                                 .arg(s.networkRules)
                                 .arg(s.cosmeticRules)
                                 .arg(s.unsupported)
                                 .arg(s.invalid)
                                 .arg(loaded.ms)
                                 .arg(loaded.fromCache ? QLatin1String(", from the cache")
                                                       : QLatin1String());
    }
    endFirstLoadWait();
    emit changed();
}

void FilterListBlocker::endFirstLoadWait() {
    firstLoadWait_.stop();
    firstLoadWaitOver_ = true;
    for (auto &[context, go] : std::exchange(waiting_, {}))
        if (context)
            go();
}

void FilterListBlocker::whenReady(QObject *context, std::function<void()> go) {
    if (state_ != State::On || firstLoadWaitOver_ || ready()) {
        go();
        return;
    }
    beginLoading();
    waiting_.emplace_back(context, std::move(go));
    if (!firstLoadWait_.isActive())
        firstLoadWait_.start(settings_.firstLoadWaitMs);
}

std::shared_ptr<const filter::FilterEngine> FilterListBlocker::engine() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return engine_;
}

QByteArray FilterListBlocker::hidingForSite(const QString &host) const {
    const auto lists = engine();
    if (!lists)
        return {};
    return QByteArray::fromStdString(
        lists->elementHiding().siteData(host.toStdString(), lists->suffixes(), kMostHidingData));
}

QByteArray FilterListBlocker::hidingForNames(const QString &host, const QString &names) const {
    const auto lists = engine();
    if (!lists)
        return {};
    return QByteArray::fromStdString(lists->elementHiding().genericData(
        host.toStdString(), lists->suffixes(), names.toStdString(), kMostHidingData));
}

bool FilterListBlocker::ready() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return engine_ != nullptr;
}

filter::FilterStats FilterListBlocker::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return engine_ ? engine_->stats() : filter::FilterStats();
}

ContentBlocker::State FilterListBlocker::stateFor(const QUrl &page) const {
    if (state_ != State::On)
        return state_;
    if (!allowedSites_.isEmpty() && siteAllowed(page.host()))
        return State::OffForSite;
    return State::On;
}

filter::Verdict FilterListBlocker::decide(const QUrl &url, const QUrl &document,
                                          filter::RequestKind kind) {
    if (state_ != State::On)
        return {};
    const auto lists = engine();
    if (!lists) {
        beginLoading();
        return {};
    }
    return lists->decide(url, document, kind);
}

void FilterListBlocker::describe(filter::RuleRef rule, std::function<void(const QString &)> done) {
    QString path;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (rule.found() && rule.list < std::uint32_t(listPaths_.size()))
            path = listPaths_.at(int(rule.list));
    }
    // The list is read on the worker: it may be large, and the window
    // does not wait for a disk.
    post([this, path, rule, done = std::move(done)] {
        std::string text;
        QString shown;
        if (!path.isEmpty() && readBounded(path, kMaxListBytes, text)) {
            const std::string_view line = filter::lineOfList(text, rule.line);
            if (!line.empty())
                shown = QStringLiteral("%1 (%2)").arg(
                    QString::fromUtf8(line.data(), qsizetype(line.size())),
                    QFileInfo(path).fileName());
        }
        QMetaObject::invokeMethod(
            this, [done, shown] { done(shown); }, Qt::QueuedConnection);
    });
}

bool FilterListBlocker::siteAllowed(const QString &host) const {
    QString name = host.toLower();
    while (!name.isEmpty()) {
        if (allowedSites_.contains(name))
            return true;
        const int dot = name.indexOf(QLatin1Char('.'));
        if (dot < 0)
            break;
        name.remove(0, dot + 1);
    }
    return false;
}

void FilterListBlocker::setSiteAllowed(const QString &host, bool allowed) {
    const QString key = siteKey(host);
    if (key.isEmpty())
        return;
    if (allowed) {
        if (allowedSites_.size() >= kMaxAllowedSites)
            return;
        allowedSites_.insert(key);
    } else {
        // Every entry that lets this host be, so that blocking is back on here.
        for (auto it = allowedSites_.begin(); it != allowedSites_.end();) {
            if (key == *it || key.endsWith(QLatin1Char('.') + *it))
                it = allowedSites_.erase(it);
            else
                ++it;
        }
    }
    QStringList sites(allowedSites_.begin(), allowedSites_.end());
    sites.sort();
    files::makePrivateFolder(settings_.configDir);
    QSettings conf(confPath(), QSettings::IniFormat);
    conf.setValue(QStringLiteral("ContentBlocking/AllowedSites"), sites);
    conf.sync();
    if (conf.status() != QSettings::NoError)
        qWarning().noquote() << QLatin1String("Could not write") << confPath();
    emit changed();
}

void FilterListBlocker::checkForUpdatesNow() {
    if (checking_ || state_ == State::OffForRun || state_ == State::OffInSettings ||
        !settings_.network)
        return;
    QSettings records(recordsPath(), QSettings::IniFormat);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    due_.clear();
    for (const QString &address : subscriptions_) {
        const qint64 checked =
            records.value(recordGroup(address) + QLatin1String("/checked")).toLongLong();
        if (now - checked >= kRecheckAfterSecs || checked > now)
            due_.append(address);
    }
    checking_ = true;
    savedAny_ = false;
    fetchNext();
}

void FilterListBlocker::fetchNext() {
    if (due_.isEmpty()) {
        checking_ = false;
        if (savedAny_)
            post([this] { load(); });
        emit updatesChecked();
        return;
    }
    const QString address = due_.takeFirst();
    const QUrl url(address);
    QNetworkRequest request(url);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // Asks only for a change when the copy it would keep is still there.
    if (QFileInfo::exists(settings_.configDir + QLatin1String("/filters/") + listFileName(url))) {
        QSettings records(recordsPath(), QSettings::IniFormat);
        records.beginGroup(recordGroup(address));
        const QByteArray etag = headerValue(records.value(QStringLiteral("etag")).toString());
        const QByteArray modified =
            headerValue(records.value(QStringLiteral("lastModified")).toString());
        if (!etag.isEmpty())
            request.setRawHeader("If-None-Match", etag);
        if (!modified.isEmpty())
            request.setRawHeader("If-Modified-Since", modified);
    }
    QNetworkReply *reply = settings_.network->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxListBytes || total > kMaxListBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, address] { onFetched(reply, address); });
}

void FilterListBlocker::onFetched(QNetworkReply *reply, const QString &address) {
    reply->deleteLater();
    reply_ = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 304) {
        files::makePrivateFolder(settings_.cacheDir);
        QSettings records(recordsPath(), QSettings::IniFormat);
        records.setValue(recordGroup(address) + QLatin1String("/checked"),
                         QDateTime::currentSecsSinceEpoch());
        fetchNext();
        return;
    }
    const QByteArray body = reply->read(kMaxListBytes + 1);
    if (reply->error() != QNetworkReply::NoError || status != 200 || body.size() > kMaxListBytes) {
        qWarning().noquote()
            << QStringLiteral("Filter list %1 not updated: %2").arg(address, reply->errorString());
        fetchNext();
        return;
    }
    const QString etag = QString::fromLatin1(reply->rawHeader("ETag"));
    const QString modified = QString::fromLatin1(reply->rawHeader("Last-Modified"));
    std::string text(body.constData(), static_cast<std::size_t>(body.size()));
    post([this, address, text = std::move(text), etag, modified] {
        validateAndSave(address, text, etag, modified);
    });
}

// On the worker: a list is kept only when it reads as one, not as a web
// page or an error message.
void FilterListBlocker::validateAndSave(const QString &address, const std::string &text,
                                        const QString &etag, const QString &modified) {
    const std::size_t first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    bool ok = first != std::string::npos && text[first] != '<' && isText(text);
    if (ok) {
        const auto engine =
            filter::FilterEngine::build({text}, filter::PublicSuffixList::fromText({}));
        const filter::FilterStats &s = engine->stats();
        const std::size_t rules = s.networkRules + s.cosmeticRules;
        ok = rules > 0 && s.invalid < rules;
    }
    const QString path =
        settings_.configDir + QLatin1String("/filters/") + listFileName(QUrl(address));
    ok = ok && files::writePrivateFile(path, QByteArrayView(text.data(), qsizetype(text.size()))) ==
                   files::FileProblem::None;
    QMetaObject::invokeMethod(
        this,
        [this, ok, address, etag, modified] {
            if (ok) {
                files::makePrivateFolder(settings_.cacheDir);
                QSettings records(recordsPath(), QSettings::IniFormat);
                records.beginGroup(recordGroup(address));
                records.setValue(QStringLiteral("address"), address);
                records.setValue(QStringLiteral("checked"), QDateTime::currentSecsSinceEpoch());
                records.setValue(QStringLiteral("etag"), etag);
                records.setValue(QStringLiteral("lastModified"), modified);
                savedAny_ = true;
            } else {
                qWarning().noquote()
                    << QStringLiteral("Filter list %1 not updated: not a filter list").arg(address);
            }
            fetchNext();
        },
        Qt::QueuedConnection);
}

}  // namespace quillow
