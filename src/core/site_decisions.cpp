#include "core/site_decisions.h"

#include <QUrl>

namespace quillow {

QString SiteDecisions::key(const QString &origin, PermissionRequest::Feature feature) {
    const QUrl url(origin);
    const QString site = url.host().isEmpty()
                             ? origin
                             : url.toString(QUrl::RemoveUserInfo | QUrl::RemovePath |
                                            QUrl::RemoveQuery | QUrl::RemoveFragment);
    return QString::number(int(feature)) + QLatin1Char(' ') + site;
}

std::optional<bool> SiteDecisions::permission(const QString &origin,
                                              PermissionRequest::Feature feature) const {
    const auto found = permissions_.constFind(key(origin, feature));
    if (found == permissions_.constEnd())
        return std::nullopt;
    return *found;
}

void SiteDecisions::setPermission(const QString &origin, PermissionRequest::Feature feature,
                                  bool granted) {
    permissions_.insert(key(origin, feature), granted);
}

}  // namespace quillow
