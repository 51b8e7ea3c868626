#pragma once

// The request corpus of bench/data/: requests with uBlock Origin's verdicts
// (tools/filter_corpus/), read by the corpus test and the benchmark.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <string>
#include <vector>

#include "filter/request_kind.h"

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
