#include "main_window/address_decision.h"

#include <QDir>
#include <QUrl>

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

AddressDecision decideTypedAddress(const QString &text, const QString &lastAddress) {
    using Outcome = AddressDecision::Outcome;
    if (text == lastAddress)
        return {Outcome::Ignore, QString(), lastAddress, text};
    const QString address = trimBlanks(text);
    if (text.isEmpty() || text == kBlankPage || !makesAddress(address))
        return {Outcome::Refuse, QString(), QString(), QString()};
    return {Outcome::Go, address, text, text};
}

bool showsAddress(const QString &location, const QString &address) {
    if (location == address)
        return true;
    const QUrl url(location);
    return url.isLocalFile() && QDir::cleanPath(url.toLocalFile()) == QDir::cleanPath(address);
}

}  // namespace quillow
