#pragma once

#include <QByteArray>
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
#include <string>
#include <thread>
#include <vector>

#include "browser/content_blocker.h"
#include "filter/filter_engine.h"
#include "filter/rule_parser.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace quillow {

// Content blocking with EasyList-style lists: Debian's copies and the
// user's own (config/filters/*.txt), compiled on a worker thread into an
// index that is cached, and kept current from the addresses the user
// subscribed to.
class FilterListBlocker : public ContentBlocker {
    Q_OBJECT
public:
    struct Settings {
        QString configDir;  // quillow.conf and filters/*.txt
        QString cacheDir;   // filters.idx and filter-updates.ini
        QString systemListDir = QStringLiteral(
            "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist");
        QString suffixListPath = QString::fromLatin1(filter::PublicSuffixList::defaultPath());
        bool offForRun = false;  // --no-content-blocking
        int updateDelayMs = 60000;
        QNetworkAccessManager *network = nullptr;  // null: no updates
        // The program's first loads wait for the lists this long at most.
        int firstLoadWaitMs = 300;
        // After start(), the lists begin loading when this has passed or a
        // page asks for them, whichever comes first.
        int loadDelayMs = 1000;
    };

    explicit FilterListBlocker(Settings settings, QObject *parent = nullptr);
    ~FilterListBlocker() override;

    // Reads quillow.conf, begins loading the lists and schedules updates.
    void start();

    State stateFor(const QUrl &page) const override;
    filter::Verdict decide(const QUrl &url, const QUrl &document,
                           filter::RequestKind kind) override;
    void whenReady(QObject *context, std::function<void()> go) override;
    void describe(filter::RuleRef rule, std::function<void(const QString &)> done) override;
    void setSiteAllowed(const QString &host, bool allowed) override;
    QByteArray hidingForSite(const QString &host) const override;
    QByteArray hidingForNames(const QString &host, const QString &names) const override;

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
    void fetchNext();
    void onFetched(QNetworkReply *reply, const QString &address);
    void validateAndSave(const QString &address, const std::string &text, const QString &etag,
                         const QString &lastModified);
    QString confPath() const;
    QString recordsPath() const;

    const Settings settings_;
    bool siteAllowed(const QString &host) const;

    // On until the lists turn out missing, or why it is off.
    State state_ = State::On;
    bool fromCache_ = false;
    QSet<QString> allowedSites_;
    QStringList subscriptions_;

    // The program's first loads, waiting for the lists.
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting_;
    QTimer firstLoadWait_;
    bool firstLoadWaitOver_ = false;

    // Updates: the addresses left in this round, the transfer under way.
    QTimer updateTimer_;
    QStringList due_;
    bool checking_ = false;
    bool savedAny_ = false;
    QPointer<QNetworkReply> reply_;

    // Shared with the worker thread.
    mutable std::mutex mutex_;
    std::shared_ptr<const filter::FilterEngine> engine_;
    QStringList listPaths_;  // the engine's lists, in its order
    std::atomic<bool> loadStarted_{false};
    std::deque<std::function<void()>> jobs_;
    std::condition_variable jobCondition_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace quillow
