#pragma once

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "browser/content_blocker.h"
#include "filter/filter_engine.h"
#include "filter/rule_parser.h"
#include "filter/scriptlet_library.h"

class QNetworkAccessManager;

namespace quillow {

class ListUpdates;

// Content blocking with EasyList-style lists: Debian's copies, the user's
// own (config/filters/*.txt) and those the user subscribed to by address,
// compiled on a worker thread into an index that is cached.
class FilterListBlocker : public ContentBlocker {
    Q_OBJECT
public:
    struct Settings {
        // quillow.conf and filters/*.txt; the compiled lists' cache, the
        // subscribed lists and their update state. Empty: none is read or
        // written there.
        QString configDir;
        QString cacheDir;
        // uBlock Origin's package (Debian's webext-ublock-origin-chromium):
        // the lists it turns on by default, read from there, and its neutral
        // resources. Its lists read alone, when set.
        QString packageDir = QStringLiteral("/usr/share/chromium/extensions/ublock-origin");
        QStringList systemLists;
        QString suffixListPath = QString::fromLatin1(filter::PublicSuffixList::defaultPath());
        bool offForRun = false;      // --no-content-blocking
        bool writesNothing = false;  // --private: allowed sites last the run
        int updateDelayMs = 60000;
        QNetworkAccessManager *network = nullptr;  // null: no updates
        int updateDeadlineMs = 60 * 1000;          // a list's whole fetch
        // The program's first loads wait for the lists this long at most.
        int firstLoadWaitMs = 300;
        // After start(), the lists begin loading when this has passed or a
        // page asks for them, whichever comes first.
        int loadDelayMs = 1000;
    };
    static constexpr qint64 kMostListBytes = qint64(32) << 20;
    static constexpr qint64 kMostListsBytes = qint64(64) << 20;

    explicit FilterListBlocker(Settings settings, QObject *parent = nullptr);
    ~FilterListBlocker() override;

    // Reads quillow.conf, begins loading the lists and schedules updates.
    void start();

    State stateFor(const QUrl &page) const override;
    filter::Verdict decide(const QUrl &url, const QUrl &document, filter::RequestKind kind,
                           std::uint8_t method = 0) override;
    void whenReady(QObject *context, std::function<void()> go) override;
    void describe(filter::RuleRef rule, std::function<void(const QString &)> done) override;
    void describeRules(std::vector<filter::RuleRef> rules,
                       std::function<void(const QList<RuleText> &)> done) override;
    void setSiteAllowed(const QString &host, bool allowed) override;
    QByteArray hidingForSite(const QString &host) const override;
    QByteArray hidingForNames(const QString &host, const QString &names) const override;
    QByteArray hidingScriptData() const override;
    QByteArray hidingNameFilter() const override;
    bool neutralResource(const QString &name, QByteArray &type, QByteArray &body) const override;
    QStringList problems() const override;
    Scriptlets scriptletsFor(const QString &host) const override;
    QString scriptletLibraryWanted() const override;
    void setScriptletLibrary(const QByteArray &json) override;
    QStringList allowedSites() const override;

    // The lists are compiled and in use.
    bool ready() const;
    bool loadedFromCache() const { return fromCache_; }
    filter::FilterStats stats() const;

    // Checks the subscribed lists that are due now instead of on schedule.
    void checkForUpdatesNow();

signals:
    // A round of update checks is over (lists that changed are then being
    // compiled; changed() follows).
    void updatesChecked();

private:
    struct Loaded;
    void beginLoading();
    void post(std::function<void()> job);
    void runJobs();
    void load();
    void onLoaded(const Loaded &loaded);
    void endFirstLoadWait();
    std::shared_ptr<const filter::FilterEngine> engine() const;
    bool siteAllowed(const QString &host) const;
    QString confPath() const;
    QString scriptletLibraryKey() const;

    const Settings settings_;

    // On until the lists turn out missing, or why it is off.
    State state_ = State::On;
    bool fromCache_ = false;
    QSet<QString> allowedSites_;
    // Which of the package's default lists the user keeps; none said: all.
    std::optional<QStringList> chosenLists_;
    std::unique_ptr<ListUpdates> updates_;
    QTimer updateTimer_;
    QTimer recompile_;
    int listsLeftOut_ = 0;  // too large to read
    QString cacheProblem_;
    // What every page's script carries, less the allowed sites, for the
    // lists last asked for: made once per lists, not once per page.
    mutable std::weak_ptr<const filter::FilterEngine> scriptDataOf_;
    mutable QByteArray scriptData_;
    mutable QByteArray nameFilter_;  // of the same lists
    // The lists' engine, with scriptData_ and nameFilter_ made for it.
    std::shared_ptr<const filter::FilterEngine> scriptDataLists() const;
    // uBlock Origin's scriptlets, once read (and kept in the cache with
    // the package's files' sizes and times).
    std::shared_ptr<const filter::ScriptletLibrary> scriptletLibrary_;
    std::atomic<bool> scriptletLibraryKnown_{false};  // the worker need not read it

    // The program's first loads, waiting for the lists.
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting_;
    QTimer firstLoadWait_;
    bool firstLoadWaitOver_ = false;

    // Shared with the worker thread.
    mutable std::mutex mutex_;
    std::shared_ptr<const filter::FilterEngine> engine_;
    QStringList listPaths_;  // the engine's lists, in its order
    // The neutral resources by every name a list may give them: their type
    // and bytes.
    QHash<QString, std::pair<QByteArray, QByteArray>> resources_;
    std::atomic<bool> loadStarted_{false};
    std::deque<std::function<void()>> jobs_;
    std::condition_variable jobCondition_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace quillow
