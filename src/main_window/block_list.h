#pragma once

#include <QString>
#include <QStringList>

namespace quillow::blocklist {

// Part of the ad server's host name, lower case.
extern const QString kAdServerFragment;
// Addresses of pages that only ever come up as popups.
extern const QStringList kKnownPopupAddresses;

// Navigations whose address holds the ad server, in any letter case.
bool isAdServer(const QString &url);
// A window whose page completes at one of these closes; exact match only.
bool isKnownPopupAddress(const QString &url);

}  // namespace quillow::blocklist
