#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

#include "browser/browser.h"

namespace quillow {

// The user's answers to the pages' questions, held in memory for the rest
// of this run and shared by every window; nothing is written anywhere.
class SiteDecisions {
public:
    // The user chose to reach host despite this certificate of its; another
    // certificate of the same host is asked about again.
    bool allowsCertificate(const QString &host, const QByteArray &certificate) const {
        return allowedCertificates_.contains({host, certificate});
    }
    void allowCertificate(const QString &host, const QByteArray &certificate) {
        allowedCertificates_.insert({host, certificate});
    }

    // The answer given for a site (scheme, host and port) and feature.
    std::optional<bool> permission(const QString &origin, PermissionRequest::Feature feature) const;
    void setPermission(const QString &origin, PermissionRequest::Feature feature, bool granted);

private:
    static QString key(const QString &origin, PermissionRequest::Feature feature);

    QSet<std::pair<QString, QByteArray>> allowedCertificates_;
    QHash<QString, bool> permissions_;
};

}  // namespace quillow
