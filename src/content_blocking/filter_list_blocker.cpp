#include "content_blocking/filter_list_blocker.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <algorithm>
#include <numeric>

#include "content_blocking/list_updates.h"
#include "files/private_files.h"
#include "files/settings_file.h"
#include "filter/cache_format.h"
#include "filter/redirect_resources.h"

namespace quillow {

namespace {

constexpr qint64 kMaxCacheBytes = qint64(256) << 20;
constexpr qint64 kMaxSuffixListBytes = qint64(16) << 20;
constexpr int kMaxAllowedSites = 10000;
constexpr int kMaxSubscriptions = 50;
constexpr int kUpdateIntervalMs = 6 * 60 * 60 * 1000;
// What one document is sent for element hiding, at most: far more than
// any site of the lists needs, far less than a hostile list could make.
constexpr std::size_t kMostHidingData = 256 * 1024;
// What every page's script carries besides its code.
constexpr std::size_t kMostCarriedHidingData = 64 * 1024;
constexpr qsizetype kMostCarriedAllowedSites = 256;

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

QString below(const QString &dir, const char *name) {
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + QLatin1String(name);
}

// The lists uBlock Origin turns on by default that its package ships, in
// its own order, under its own names for them. The user may keep some of
// them only (ContentBlocking/DefaultLists, those names); unknown names
// are passed over.
QStringList defaultLists(const QString &package, const std::optional<QStringList> &chosen) {
    static const std::pair<const char *, const char *> kLists[] = {
        {"ublock-filters", "assets/ublock/filters.min.txt"},
        {"ublock-badware", "assets/ublock/badware.min.txt"},
        {"ublock-privacy", "assets/ublock/privacy.min.txt"},
        {"ublock-unbreak", "assets/ublock/unbreak.min.txt"},
        {"ublock-quick-fixes", "assets/ublock/quick-fixes.min.txt"},
        {"easylist", "assets/thirdparties/easylist/easylist.txt"},
        {"easyprivacy", "assets/thirdparties/easylist/easyprivacy.txt"},
        {"urlhaus-1", "assets/thirdparties/urlhaus-filter/urlhaus-filter-online.txt"}};
    QStringList out;
    for (const auto &[name, list] : kLists)
        if (!chosen || chosen->contains(QLatin1String(name)))
            out.append(below(package, list));
    return out;
}

QByteArray typeOfResource(const QString &file) {
    static const std::pair<const char *, const char *> kTypes[] = {
        {".js", "application/javascript"},
        {".css", "text/css"},
        {".html", "text/html"},
        {".json", "application/json"},
        {".xml", "application/xml"},
        {".gif", "image/gif"},
        {".png", "image/png"},
        {".mp3", "audio/mpeg"},
        {".mp4", "video/mp4"}};
    for (const auto &[suffix, type] : kTypes)
        if (file.endsWith(QLatin1String(suffix)))
            return type;
    return "text/plain";
}

using Resources = QHash<QString, std::pair<QByteArray, QByteArray>>;

// The package's neutral resources by every name lists give them.
Resources readResources(const QString &package, std::vector<filter::ResourceName> &names) {
    Resources out;
    std::string script;
    if (package.isEmpty() ||
        !readBounded(below(package, "js/redirect-resources.js"), 1 << 20, script))
        return out;
    QHash<QString, std::pair<QByteArray, QByteArray>> byFile;
    for (const filter::ResourceName &resource : filter::redirectResourceNames(script)) {
        const QString fileName = QString::fromStdString(resource.file);
        if (!byFile.contains(fileName)) {
            QByteArray body;
            if (files::readPrivateFile(below(package, "web_accessible_resources/") + fileName,
                                       1 << 20, body) != files::FileProblem::None)
                continue;
            byFile.insert(fileName, {typeOfResource(fileName), body});
        }
        out.insert(QString::fromStdString(resource.name), byFile.value(fileName));
        names.push_back(resource);
    }
    return out;
}

}  // namespace

struct FilterListBlocker::Loaded {
    std::shared_ptr<const filter::FilterEngine> engine;
    QStringList paths;
    int lists = 0;
    int skipped = 0;
    bool fromCache = false;
    QString cacheProblem;
    Resources resources;
    std::shared_ptr<const filter::ScriptletLibrary> scriptlets;
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
    updates_.reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    jobCondition_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

QString FilterListBlocker::confPath() const {
    return below(settings_.configDir, "quillow.conf");
}

void FilterListBlocker::start() {
    if (worker_.joinable())
        return;
    files::SettingsFile file(confPath());
    QSettings &conf = file.settings();
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
    // Written as "DefaultLists=" it keeps none of them.
    const QString chosen = QStringLiteral("ContentBlocking/DefaultLists");
    if (conf.contains(chosen))
        chosenLists_ = conf.value(chosen).toStringList();
    QStringList subscriptions;
    for (const QString &address :
         conf.value(QStringLiteral("ContentBlocking/Lists")).toStringList()) {
        if (subscriptions.size() < kMaxSubscriptions && isSubscription(address) &&
            !subscriptions.contains(address))
            subscriptions.append(address);
    }
    if (state_ != State::On)
        return;
    // Subscribed lists are kept, and fetched, only where the program may
    // write.
    if (!settings_.cacheDir.isEmpty() && !settings_.writesNothing) {
        ListUpdates::Settings updates;
        updates.folder = below(settings_.cacheDir, "lists");
        updates.statePath = below(settings_.cacheDir, "filter-updates.ini");
        updates.network = settings_.network;
        updates.deadlineMs = settings_.updateDeadlineMs;
        updates_ = std::make_unique<ListUpdates>(updates, subscriptions);
        // Lists that arrive together are compiled again once.
        recompile_.setSingleShot(true);
        connect(&recompile_, &QTimer::timeout, this, [this] { post([this] { load(); }); });
        connect(updates_.get(), &ListUpdates::listChanged, &recompile_,
                [this] { recompile_.start(200); });
        connect(updates_.get(), &ListUpdates::roundOver, this, [this] {
            emit changed();
            emit updatesChecked();
        });
        if (settings_.network && !subscriptions.isEmpty())
            updateTimer_.start(settings_.updateDelayMs);
    }
    worker_ = std::thread([this] { runJobs(); });
    // The lists are not needed to show the window: they load once the
    // program has started, or at once when a page asks before that.
    QTimer::singleShot(settings_.loadDelayMs, this, [this] { beginLoading(); });
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
    QStringList candidates;
    candidates = settings_.systemLists.isEmpty() ? defaultLists(settings_.packageDir, chosenLists_)
                                                 : settings_.systemLists;
    // The system's lists may use the scriptlets that need trust; the
    // user's own and subscribed lists may not.
    const qsizetype systemCandidates = candidates.size();
    qsizetype systemPaths = 0;
    if (!settings_.configDir.isEmpty())
        for (const QFileInfo &file : QDir(below(settings_.configDir, "filters"))
                                         .entryInfoList({QStringLiteral("*.txt")},
                                                        QDir::Files | QDir::Readable, QDir::Name))
            candidates.append(file.absoluteFilePath());
    if (updates_)
        candidates += updates_->files();
    for (const QString &path : std::as_const(candidates)) {
        const QFileInfo file(path);
        if (!file.isFile())
            continue;
        if (file.size() > kMostListBytes || total + file.size() > kMostListsBytes) {
            ++loaded.skipped;
            continue;
        }
        total += file.size();
        paths.append(path);
        if (&path - candidates.constData() < systemCandidates)
            systemPaths = paths.size();
    }
    std::vector<filter::ResourceName> resourceNames;
    loaded.resources = readResources(settings_.packageDir, resourceNames);
    for (const QString &path :
         paths + QStringList{settings_.suffixListPath,
                             below(settings_.packageDir, "js/redirect-resources.js")}) {
        const QFileInfo file(path);
        source += QStringLiteral("%1\t%2\t%3\n")
                      .arg(path, QString::number(file.size()),
                           QString::number(file.lastModified().toMSecsSinceEpoch()));
    }
    source += QStringLiteral("trusted\t%1\n").arg(systemPaths);
    const std::string key = source.toStdString();
    const QString cachePath = below(settings_.cacheDir, "filters.idx");
    if (!paths.isEmpty() && !cachePath.isEmpty()) {
        loaded.engine = readCache(cachePath, key);
        loaded.fromCache = loaded.engine != nullptr;
    }
    if (!paths.isEmpty() && !loaded.engine) {
        std::vector<std::string> texts;
        std::string data;
        std::size_t trusted = 0;
        for (const QString &path : paths) {
            if (readBounded(path, kMostListBytes, data))
                texts.push_back(std::move(data));
            if (&path - paths.constData() < systemPaths)
                trusted = texts.size();
        }
        std::string suffixes;
        readBounded(settings_.suffixListPath, kMaxSuffixListBytes, suffixes);
        const std::vector<std::string_view> views(texts.begin(), texts.end());
        loaded.engine = filter::FilterEngine::build(
            views, filter::PublicSuffixList::fromText(suffixes), {}, resourceNames, trusted);
        if (loaded.engine && !cachePath.isEmpty() && !settings_.writesNothing) {
            const std::string compiled = loaded.engine->serialize(key);
            const files::FileProblem problem = files::writePrivateFile(cachePath, compiled);
            if (problem != files::FileProblem::None)
                loaded.cacheProblem = files::describe(problem);
            // Read back where it lies, the lists take no memory of the
            // program's own.
            else if (auto mapped = readCache(cachePath, key))
                loaded.engine = std::move(mapped);
        }
    }
    // The scriptlets as the engine read them last, while the package is
    // the same.
    std::string library;
    const QString libraryKey = scriptletLibraryKnown_ ? QString() : scriptletLibraryKey();
    if (!libraryKey.isEmpty() &&
        readBounded(below(settings_.cacheDir, "scriptlets.json"),
                    qint64(filter::ScriptletLibrary::kMostBytes) + 4096, library) &&
        QString::fromStdString(library.substr(0, library.find('\n'))) == libraryKey) {
        auto read = std::make_shared<filter::ScriptletLibrary>(
            filter::ScriptletLibrary::fromJson(std::string_view(library).substr(
                std::min(library.size(), std::size_t(libraryKey.toUtf8().size() + 1)))));
        if (!read->empty())
            loaded.scriptlets = std::move(read);
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
        resources_ = loaded.resources;
        if (loaded.scriptlets) {
            scriptletLibrary_ = loaded.scriptlets;
            scriptletLibraryKnown_ = true;
        }
        listsLeftOut_ = loaded.skipped;
        cacheProblem_ = loaded.cacheProblem;
        if (!cacheProblem_.isEmpty())
            qWarning().noquote()
                << QStringLiteral("Could not keep the compiled lists: %1").arg(cacheProblem_);
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

// The package's scriptlet library by its files' names, sizes and times;
// empty when there is none.
QString FilterListBlocker::scriptletLibraryKey() const {
    if (settings_.packageDir.isEmpty())
        return {};
    const QDir dir(below(settings_.packageDir, "js/resources"));
    if (!QFileInfo(dir.filePath(QStringLiteral("scriptlets.js"))).isFile())
        return {};
    QString key = QStringLiteral("scriptlets");
    for (const QFileInfo &file :
         dir.entryInfoList({QStringLiteral("*.js")}, QDir::Files, QDir::Name))
        key += QStringLiteral(" %1:%2:%3")
                   .arg(file.fileName(), QString::number(file.size()),
                        QString::number(file.lastModified().toMSecsSinceEpoch()));
    return key;
}

QString FilterListBlocker::scriptletLibraryWanted() const {
    if (scriptletLibrary_ || state_ != State::On || !ready() || scriptletLibraryKey().isEmpty())
        return {};
    return settings_.packageDir;
}

void FilterListBlocker::setScriptletLibrary(const QByteArray &json) {
    auto library = std::make_shared<filter::ScriptletLibrary>(
        filter::ScriptletLibrary::fromJson(std::string_view(json.constData(), json.size())));
    if (library->empty())
        return;
    scriptletLibrary_ = std::move(library);
    scriptletLibraryKnown_ = true;
    const QString key = scriptletLibraryKey();
    if (!settings_.cacheDir.isEmpty() && !settings_.writesNothing)
        files::writePrivateFile(below(settings_.cacheDir, "scriptlets.json"),
                                key.toUtf8() + '\n' + json);
    emit changed();
}

QStringList FilterListBlocker::allowedSites() const {
    return QStringList(allowedSites_.begin(), allowedSites_.end());
}

ContentBlocker::Scriptlets FilterListBlocker::scriptletsFor(const QString &host) const {
    Scriptlets out;
    const auto lists = engine();
    const std::shared_ptr<const filter::ScriptletLibrary> library = scriptletLibrary_;
    if (!lists || !library || host.size() > 253)
        return out;
    const std::string name = host.toLower().toStdString();
    std::vector<std::string_view> rules, exceptions;
    const auto texts = lists->scriptlets().siteTexts(name, lists->suffixes(), &exceptions);
    for (const auto &t : texts)
        rules.push_back(t.text);
    const filter::ScriptletLibrary::SiteCode code = library->codeFor(rules, exceptions);
    const auto take = [&library](const filter::ScriptletLibrary::World &world,
                                 std::vector<std::pair<QString, QString>> &functions,
                                 QString &calls) {
        for (const std::string &function : world.functions)
            if (const std::string *source = library->function(function))
                functions.emplace_back(QString::fromStdString(function),
                                       QString::fromStdString(*source));
        calls = QString::fromStdString(world.calls);
    };
    take(code.main, out.mainFunctions, out.mainCalls);
    take(code.isolated, out.isolatedFunctions, out.isolatedCalls);
    for (std::size_t i = 0; i < code.applied.size(); ++i) {
        out.applied.append(QString::fromStdString(code.applied[i]));
        out.appliedRules.push_back(texts[code.appliedFrom[i]].rule);
    }
    return out;
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

namespace {

QByteArray base64Bits(const filter::FlatArray<std::uint32_t> &words) {
    // Bit b in byte b / 8, as the script reads it.
    QByteArray bytes(qsizetype(words.size() * 4), '\0');
    for (std::size_t i = 0; i < words.size(); ++i)
        for (int j = 0; j < 4; ++j)
            bytes[qsizetype(i * 4 + std::size_t(j))] = char((words[i] >> (8 * j)) & 0xff);
    return bytes.toBase64();
}

}  // namespace

std::shared_ptr<const filter::FilterEngine> FilterListBlocker::scriptDataLists() const {
    const auto lists = engine();
    if (!lists || scriptDataOf_.lock() == lists)
        return lists;
    const filter::ElementHiding &hiding = lists->elementHiding();
    // No name has selectors of its own: a filter of one empty byte, none
    // is sent.
    nameFilter_ =
        hiding.nameFilter().empty() ? QByteArray("AA==") : base64Bits(hiding.nameFilter());
    QByteArray data = "{\"n\":\"" + nameFilter_ + '"';
    const std::string everywhere = hiding.siteData("", lists->suffixes(), kMostHidingData);
    // What every site is sent goes into every page's script, so only while
    // it is small; otherwise each document asks.
    if (!hiding.siteFilter().empty() && everywhere.size() <= kMostCarriedHidingData)
        data += ",\"h\":\"" + base64Bits(hiding.siteFilter()) +
                "\",\"hb\":" + QByteArray::number(qulonglong(hiding.siteFilter().size() * 32)) +
                ",\"d\":" + QByteArray::fromStdString(everywhere);
    scriptDataOf_ = lists;
    scriptData_ = data;
    return lists;
}

QByteArray FilterListBlocker::hidingNameFilter() const {
    return state_ == State::On && scriptDataLists() ? nameFilter_ : QByteArray();
}

QByteArray FilterListBlocker::hidingScriptData() const {
    if (state_ != State::On)
        return QByteArrayLiteral("{\"on\":0}");
    if (!scriptDataLists())
        return {};
    QByteArray allowed = "null";
    if (allowedSites_.size() <= kMostCarriedAllowedSites) {
        QJsonArray sites;
        for (const QString &site : allowedSites_)
            sites.append(site);
        allowed = QJsonDocument(sites).toJson(QJsonDocument::Compact);
    }
    return scriptData_ + ",\"a\":" + allowed + '}';
}

bool FilterListBlocker::neutralResource(const QString &name, QByteArray &type,
                                        QByteArray &body) const {
    const auto found = resources_.constFind(name);
    if (found == resources_.constEnd())
        return false;
    type = found->first;
    body = found->second;
    return true;
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
                                          filter::RequestKind kind, std::uint8_t method) {
    if (state_ != State::On)
        return {};
    const auto lists = engine();
    if (!lists) {
        beginLoading();
        return {};
    }
    return lists->decide(url, document, kind, method);
}

void FilterListBlocker::describe(filter::RuleRef rule, std::function<void(const QString &)> done) {
    describeRules({rule}, [done = std::move(done)](const QList<RuleText> &texts) {
        const RuleText &shown = texts.first();
        done(shown.text.isEmpty() ? QString()
                                  : QStringLiteral("%1 (%2)").arg(shown.text, shown.list));
    });
}

void FilterListBlocker::describeRules(std::vector<filter::RuleRef> rules,
                                      std::function<void(const QList<RuleText> &)> done) {
    QStringList paths;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paths = listPaths_;
    }
    // The lists are read on the worker: they may be large, and the window
    // does not wait for a disk. Each is read once and walked once, its
    // rules taken in the order of their lines.
    post([this, paths, rules = std::move(rules), done = std::move(done)] {
        QList<RuleText> texts(qsizetype(rules.size()));
        std::vector<std::size_t> order(rules.size());
        std::iota(order.begin(), order.end(), std::size_t(0));
        std::sort(order.begin(), order.end(), [&rules](std::size_t a, std::size_t b) {
            return std::pair(rules[a].list, rules[a].line) <
                   std::pair(rules[b].list, rules[b].line);
        });
        std::string text;
        std::uint32_t list = filter::RuleRef::kNoList;
        bool read = false;
        std::string_view rest;  // from the start of line restLine on
        std::uint32_t restLine = 1;
        for (const std::size_t i : order) {
            const filter::RuleRef rule = rules[i];
            if (!rule.found() || rule.list >= std::uint32_t(paths.size()))
                continue;
            if (rule.list != list) {
                list = rule.list;
                read = readBounded(paths.at(int(list)), kMostListBytes, text);
                rest = text;
                restLine = 1;
            }
            if (!read || rule.line < restLine)
                continue;
            const std::string_view line = filter::lineOfList(rest, rule.line - restLine + 1);
            if (line.empty())
                continue;
            rest = std::string_view(text).substr(std::size_t(line.data() - text.data()));
            restLine = rule.line;
            texts[qsizetype(i)] = {QString::fromUtf8(line.data(), qsizetype(line.size())),
                                   QFileInfo(paths.at(int(list))).fileName()};
        }
        QMetaObject::invokeMethod(
            this, [done, texts] { done(texts); }, Qt::QueuedConnection);
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
    // Kept for the run only when the program is to write nothing.
    if (!settings_.writesNothing && !settings_.configDir.isEmpty()) {
        QStringList sites(allowedSites_.begin(), allowedSites_.end());
        sites.sort();
        files::SettingsFile conf(confPath());
        conf.settings().setValue(QStringLiteral("ContentBlocking/AllowedSites"), sites);
        if (conf.save() != files::FileProblem::None)
            qWarning().noquote() << QLatin1String("Could not write") << confPath();
    }
    emit changed();
}

void FilterListBlocker::checkForUpdatesNow() {
    if (updates_)
        updates_->checkDue();
}

QStringList FilterListBlocker::problems() const {
    QStringList out;
    const filter::FilterStats s = stats();
    if (s.overLimit)
        out.append(tr("%n rules past the lists' bounds left out", nullptr, int(s.overLimit)));
    if (listsLeftOut_)
        out.append(tr("%n lists too large left out", nullptr, listsLeftOut_));
    if (!cacheProblem_.isEmpty())
        out.append(tr("the compiled lists could not be kept: %1").arg(cacheProblem_));
    if (updates_)
        for (const QString &failure : updates_->failures())
            out.append(tr("not updated: %1").arg(failure));
    return out;
}

}  // namespace quillow
