#pragma once

// The request corpus of bench/data/: requests with uBlock Origin's verdicts
// (tools/filter_corpus/), read by the corpus test and the benchmark.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <map>
#include <string>
#include <vector>

#include "filter/redirect_resources.h"
#include "filter/request_kind.h"
#include "filter/verdict.h"

namespace quillow::test {

struct CorpusRequest {
    bool blocked = false;
    filter::RequestKind kind = filter::RequestKind::Other;
    std::string page;
    std::string url;
    std::string resource;  // the neutral resource's file a blocked one gets; empty: none
    std::string cleaned;   // the address without the parameters taken off; empty: none
    // Not to be compared: decided by a rule RE2 cannot run, or by which of
    // equals uBlock Origin happened to find last.
    bool leftOut = false;
};

struct Corpus {
    // The files the verdicts were made from, by name, with their SHA-256.
    std::vector<std::pair<QString, QByteArray>> files;
    std::vector<CorpusRequest> requests;
    // Whether the corpus says which resources and cleaned addresses
    // uBlock Origin gave (older ones say only blocked or not).
    bool modifiers = false;
};

inline bool readCorpus(const QString &path, Corpus &corpus) {
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), path});
    if (!gzip.waitForFinished(60000) || gzip.exitCode() != 0)
        return false;
    for (const QByteArray &line : gzip.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(line.startsWith('#') ? ' ' : '\t');
        if (line.startsWith('#')) {
            if (fields.size() == 4 && fields[2] == "sha256")
                corpus.files.emplace_back(QString::fromUtf8(fields[1]), fields[3]);
            continue;
        }
        CorpusRequest r;
        if (fields.size() < 4 || !filter::requestKindFromName(fields[1].toStdString(), r.kind))
            continue;
        r.blocked = fields[0] == "block";
        r.page = fields[2].toStdString();
        r.url = fields[3].toStdString();
        const auto column = [&fields](int i) {
            return fields.size() > i && fields[i] != "-" ? fields[i].toStdString() : std::string();
        };
        r.resource = column(4);
        r.cleaned = column(5);
        r.leftOut = !column(6).empty();
        corpus.modifiers |= fields.size() > 4;
        corpus.requests.push_back(std::move(r));
    }
    return !corpus.requests.empty();
}

// The neutral resources' names as the lists' package gives them; empty
// when it is not installed.
inline std::vector<filter::ResourceName> installedResources() {
    QFile script(
        QStringLiteral("/usr/share/chromium/extensions/ublock-origin/js/redirect-resources.js"));
    if (!script.open(QIODevice::ReadOnly))
        return {};
    return filter::redirectResourceNames(script.readAll().toStdString());
}

// Of what uBlock Origin blocks and allows, how much the engine decides the
// same; of the resources and cleaned addresses it gives, how many the same.
class Agreement {
public:
    explicit Agreement(const std::vector<filter::ResourceName> &resources) {
        for (const filter::ResourceName &r : resources)
            fileOf_[r.name] = r.file;
    }
    // Whether the engine agreed on all the corpus says of the request.
    bool add(const Corpus &corpus, const CorpusRequest &r, const filter::Verdict &v) {
        ++counts_[r.blocked][v.blocked == r.blocked];
        if (!corpus.modifiers)
            return v.blocked == r.blocked;
        // Pages are not given resources; a popup is not cleaned.
        const bool page =
            r.kind == filter::RequestKind::Document || r.kind == filter::RequestKind::Popup;
        const auto file = fileOf_.find(v.resource);
        const std::string resource = !page && file != fileOf_.end() ? file->second : std::string();
        bool same = v.blocked == r.blocked;
        if (r.blocked && (!r.resource.empty() || !resource.empty())) {
            ++resources_[resource == r.resource];
            same &= resource == r.resource;
        }
        const std::string cleaned(r.kind == filter::RequestKind::Popup ? std::string_view()
                                                                       : v.cleanedUrl);
        if (!r.blocked && (!r.cleaned.empty() || !cleaned.empty())) {
            ++cleaned_[cleaned == r.cleaned];
            same &= cleaned == r.cleaned;
        }
        return same;
    }
    double blocked() const { return share(counts_[1]); }
    double allowed() const { return share(counts_[0]); }
    double resources() const { return share(resources_); }
    double cleaned() const { return share(cleaned_); }
    std::size_t blockedCount() const { return counts_[1][0] + counts_[1][1]; }
    std::size_t allowedCount() const { return counts_[0][0] + counts_[0][1]; }
    std::string summary() const {
        char text[256];
        std::snprintf(text, sizeof text,
                      "%.3f%% of %zu blocked, %.3f%% of %zu allowed, %.3f%% of %zu resources, "
                      "%.3f%% of %zu cleaned addresses",
                      blocked(), blockedCount(), allowed(), allowedCount(), resources(),
                      resources_[0] + resources_[1], cleaned(), cleaned_[0] + cleaned_[1]);
        return text;
    }

private:
    static double share(const std::size_t (&n)[2]) {
        return n[0] + n[1] ? 100.0 * double(n[1]) / double(n[0] + n[1]) : 100.0;
    }
    std::map<std::string, std::string, std::less<>> fileOf_;
    std::size_t counts_[2][2] = {};  // [blocked][agreed]
    std::size_t resources_[2] = {}, cleaned_[2] = {};
};

// Where the lists' package keeps a file of that name, when it is the one
// the corpus was made from; empty otherwise.
inline QString installedCopy(const QString &name, const QByteArray &sha256) {
    QDirIterator it(QStringLiteral("/usr/share/chromium/extensions/ublock-origin/assets"), {name},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) &&
            QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex() == sha256)
            return file.fileName();
    }
    return {};
}

}  // namespace quillow::test
