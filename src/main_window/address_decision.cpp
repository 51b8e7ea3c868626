#include "main_window/address_decision.h"

#include <QUrl>
#include <algorithm>

namespace quillow {

namespace {
const QString kBlankPage = QStringLiteral("about:blank");
}  // namespace

QString trimBlanks(const QString &text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

bool makesAddress(const QString &text) {
    // As the component reads typed text: "cats" is the host cats, "hello
    // world" is nothing.
    const QUrl url = QUrl::fromUserInput(text, QString(), QUrl::AssumeLocalFile);
    if (!url.isValid() || url.isEmpty())
        return false;
    // Scripts run in whatever page is on show, and the engine's own pages
    // are not for typing into the box.
    const QString scheme = url.scheme().toLower();
    return scheme != QLatin1String("javascript") && scheme != QLatin1String("about") &&
           scheme != QLatin1String("devtools") && !scheme.startsWith(QLatin1String("chrome"));
}

AddressDecision decideTypedAddress(const QString &text, const QString &lastAddress,
                                   const QStringList &present) {
    using Outcome = AddressDecision::Outcome;
    const QString address = trimBlanks(text);
    if (text == lastAddress &&
        (!makesAddress(address) ||
         std::any_of(present.begin(), present.end(), [&address](const QString &location) {
             return showsAddress(location, address);
         })))
        return {Outcome::Ignore, QString(), lastAddress, text};
    if (text.isEmpty() || text == kBlankPage || !makesAddress(address))
        return {Outcome::Refuse, QString(), QString(), QString()};
    return {Outcome::Go, address, text, text};
}

bool showsAddress(const QString &location, const QString &address) {
    if (location == address)
        return true;
    const auto comparable = [](QUrl url) {
        if (url.path().isEmpty() && !url.host().isEmpty())
            url.setPath(QStringLiteral("/"));
        return url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
    };
    const QUrl led = QUrl::fromUserInput(address, QString(), QUrl::AssumeLocalFile);
    return led.isValid() && comparable(led) == comparable(QUrl(location));
}

}  // namespace quillow
