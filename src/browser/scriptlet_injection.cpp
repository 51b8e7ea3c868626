#include "browser/scriptlet_injection.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "files/private_files.h"

namespace quillow {

namespace {

// The package's modules import each other by relative addresses, which a
// scheme with hosts resolves; they are served from its "js" folder only.
const QByteArray kLibraryScheme = QByteArrayLiteral("quillow-library");
const QString kLibraryPage = QStringLiteral("/js/resources/quillow-library.html");
constexpr qint64 kMostModuleBytes = 1 << 20;
constexpr int kLibraryDeadlineMs = 30000;

// Imports the library as uBlock Origin does and lists each scriptlet with
// its function's source, which only the engine that parsed it can give.
const char kLibraryHtml[] = R"HTML(<!DOCTYPE html><meta charset="utf-8"><script type="module">
import('./scriptlets.js').then(function (m) {
  window.quillowLibrary = JSON.stringify(m.builtinScriptlets.map(function (s) {
    return {n: s.name, a: s.aliases || [], d: s.dependencies || [], w: s.world || '',
            t: !!s.requiresTrust, f: String(s.fn)};
  }));
  document.title = 'ready';
}, function () { document.title = 'failed'; });
</script>)HTML";

}  // namespace

class LibrarySchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    LibrarySchemeHandler(QString package, QObject *parent)
        : QWebEngineUrlSchemeHandler(parent), package_(std::move(package)) {}

    void requestStarted(QWebEngineUrlRequestJob *job) override {
        const QUrl url = job->requestUrl();
        const QString path = url.path();
        QByteArray body;
        QByteArray type = QByteArrayLiteral("text/javascript");
        if (path == kLibraryPage) {
            body = kLibraryHtml;
            type = QByteArrayLiteral("text/html");
        } else if (package_.isEmpty() || url.host() != QLatin1String("ublock") ||
                   !path.startsWith(QLatin1String("/js/")) ||
                   !path.endsWith(QLatin1String(".js")) || path.contains(QLatin1String("..")) ||
                   files::readPrivateFile(package_ + path, kMostModuleBytes, body) !=
                       files::FileProblem::None) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto *buffer = new QBuffer(job);
        buffer->setData(body);
        buffer->open(QIODevice::ReadOnly);
        job->reply(type, buffer);
    }

    void setPackage(const QString &package) { package_ = package; }

private:
    QString package_;
};

namespace {

// A host as a script's string literal.
QString quoted(const QString &text) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

// One world's script: the helpers every site here needs, once, then each
// site's calls behind a test of the document's host. The page on show
// decides, for its frames too: none runs under a site the user lets be.
QString worldScript(const std::deque<std::pair<QString, const ContentBlocker::Scriptlets *>> &sites,
                    bool isolated, const QStringList &allowed) {
    QStringList names;
    QString functions, cases;
    for (const auto &[host, scriptlets] : sites) {
        const QString &calls = isolated ? scriptlets->isolatedCalls : scriptlets->mainCalls;
        if (calls.isEmpty())
            continue;
        for (const auto &[name, source] :
             isolated ? scriptlets->isolatedFunctions : scriptlets->mainFunctions) {
            if (names.contains(name))
                continue;
            names.append(name);
            functions += source + QLatin1String("\n\n");
        }
        cases += QStringLiteral("case %1: {\n%2break;\n}\n").arg(quoted(host), calls);
    }
    if (cases.isEmpty())
        return {};
    return QStringLiteral(R"JS((function () {
var allowed = %1;
var top = location.hostname, origins = location.ancestorOrigins;
try {
  if (origins && origins.length) top = new URL(origins[origins.length - 1]).hostname;
} catch (e) { return; }
for (var t = top.toLowerCase(); ; t = t.slice(t.indexOf('.') + 1)) {
  if (allowed.indexOf(t) >= 0) return;
  if (t.indexOf('.') < 0) break;
}
const scriptletGlobals = {};
%2
switch (location.hostname) {
%3}
})();
)JS")
        .arg(QString::fromUtf8(
                 QJsonDocument(QJsonArray::fromStringList(allowed)).toJson(QJsonDocument::Compact)),
             functions, cases);
}

const char kMainName[] = "quillow-scriptlets";
const char kIsolatedName[] = "quillow-scriptlets-isolated";

}  // namespace

void registerScriptletLibraryScheme() {
    QWebEngineUrlScheme scheme(kLibraryScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

ScriptletInjection::ScriptletInjection(QWebEngineProfile *profile, ContentBlocker *blocker)
    : QObject(profile), profile_(profile), blocker_(blocker) {
    setObjectName(QStringLiteral("quillow-scriptlet-injection"));
    library_ = new LibrarySchemeHandler(QString(), this);
    profile->installUrlSchemeHandler(kLibraryScheme, library_);
    // New lists, a new library or a site let be: every site's code is made
    // again as its pages go there.
    connect(blocker, &ContentBlocker::changed, this, [this] {
        sites_.clear();
        without_.clear();
        install();
        if (!reader_ && !blocker_->scriptletLibraryWanted().isEmpty())
            QTimer::singleShot(0, this, &ScriptletInjection::readLibrary);
    });
    // The lists may be ready already.
    QTimer::singleShot(0, this, &ScriptletInjection::readLibrary);
}

ScriptletInjection::~ScriptletInjection() {
    delete reader_;
}

ScriptletInjection *ScriptletInjection::of(QWebEngineProfile *profile) {
    return profile ? profile->findChild<ScriptletInjection *>(
                         QStringLiteral("quillow-scriptlet-injection"), Qt::FindDirectChildrenOnly)
                   : nullptr;
}

void ScriptletInjection::readLibrary() {
    const QString package = blocker_->scriptletLibraryWanted();
    if (package.isEmpty() || reader_)
        return;
    library_->setPackage(package);
    reader_ = new QWebEnginePage(profile_, this);
    QWebEnginePage *page = reader_;
    const auto done = [this, page] {
        if (reader_ == page)
            reader_->deleteLater();
    };
    connect(page, &QWebEnginePage::titleChanged, this, [this, page, done](const QString &title) {
        if (title == QLatin1String("failed")) {
            qWarning().noquote() << QLatin1String("Could not read uBlock Origin's scriptlets");
            done();
        } else if (title == QLatin1String("ready")) {
            page->runJavaScript(QStringLiteral("window.quillowLibrary"),
                                [this, done](const QVariant &json) {
                                    done();
                                    blocker_->setScriptletLibrary(json.toString().toUtf8());
                                });
        }
    });
    // A library that never answers is given up for this run.
    QTimer::singleShot(kLibraryDeadlineMs, page, done);
    page->load(
        QUrl(QString::fromLatin1(kLibraryScheme) + QStringLiteral("://ublock") + kLibraryPage));
}

void ScriptletInjection::prepare(const QUrl &url, const QUrl &page) {
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return;
    const QString host = url.host().toLower();
    if (host.isEmpty() || without_.contains(host) || !blocker_->isOn(page))
        return;
    for (const Site &site : sites_)
        if (site.host == host)
            return;
    Site site{host, blocker_->scriptletsFor(host)};
    if (site.scriptlets.isEmpty()) {
        // Bounded as the pages' hosts are not.
        if (without_.size() >= 4096)
            without_.clear();
        without_.insert(host);
        return;
    }
    sites_.push_back(std::move(site));
    if (sites_.size() > std::size_t(kMostSites))
        sites_.pop_front();
    install();
}

const ContentBlocker::Scriptlets *ScriptletInjection::at(const QString &host) const {
    for (const Site &site : sites_)
        if (site.host == host.toLower())
            return &site.scriptlets;
    return nullptr;
}

void ScriptletInjection::install() {
    QWebEngineScriptCollection *scripts = profile_->scripts();
    for (const char *name : {kMainName, kIsolatedName})
        for (const QWebEngineScript &old : scripts->find(QLatin1String(name)))
            scripts->remove(old);
    std::deque<std::pair<QString, const ContentBlocker::Scriptlets *>> sites;
    for (const Site &site : sites_)
        sites.emplace_back(site.host, &site.scriptlets);
    const QStringList allowed = blocker_->allowedSites();
    for (const bool isolated : {false, true}) {
        const QString source = worldScript(sites, isolated, allowed);
        if (source.isEmpty())
            continue;
        QWebEngineScript script;
        script.setName(QLatin1String(isolated ? kIsolatedName : kMainName));
        script.setSourceCode(source);
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(isolated ? QWebEngineScript::ApplicationWorld
                                   : QWebEngineScript::MainWorld);
        script.setRunsOnSubFrames(true);
        scripts->insert(script);
    }
}

}  // namespace quillow
