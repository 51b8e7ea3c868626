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
    // Hosts the user chose to reach despite their certificates.
    bool allowsCertificate(const QString &host) const { return certificateHosts_.contains(host); }
    void allowCertificate(const QString &host) { certificateHosts_.insert(host); }

    // The answer given for a site (scheme, host and port) and feature.
    std::optional<bool> permission(const QString &origin, PermissionRequest::Feature feature) const;
    void setPermission(const QString &origin, PermissionRequest::Feature feature, bool granted);

private:
    static QString key(const QString &origin, PermissionRequest::Feature feature);

    QSet<QString> certificateHosts_;
    QHash<QString, bool> permissions_;
};

}  // namespace quillow
