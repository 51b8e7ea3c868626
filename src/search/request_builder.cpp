#include "search/request_builder.h"

#include <QUrl>

namespace quillow {

namespace {

// Form encoding: letters, digits and "-._~" stay, a blank becomes "+",
// everything else is escaped as UTF-8 bytes.
QString formEncoded(const QString &words) {
    const QByteArray escaped = QUrl::toPercentEncoding(words, QByteArray(), QByteArray());
    return QString::fromLatin1(escaped).replace(QLatin1String("%20"), QLatin1String("+"));
}

// The fixed pieces of Dog Pile's result path that follow the words.
QString dogPileRun(int dashes) {
    return QStringLiteral("/1/20/1/-/1/0/1/1/1/1/") + QStringLiteral("-/").repeated(dashes);
}

}  // namespace

QString encodeSearchWords(int engine, const QString &words) {
    QString encoded = formEncoded(words);
    if (engine == DogPile) {
        // "%" first, so the "%2B" of the blanks is not escaped again.
        encoded.replace(QLatin1String("%"), QLatin1String("%25"));
        encoded.replace(QLatin1String("+"), QLatin1String("%2B"));
    }
    return encoded;
}

QString searchRequestAddress(int engine, int method, const QString &words) {
    const QString w = encodeSearchWords(engine, words);
    const bool web = method == WebPages;
    switch (engine) {
        case DogPile:
            if (web)
                return QStringLiteral("https://www.dogpile.com/info.dogpl/search/web/") + w +
                       dogPileRun(28) + w;
            return QStringLiteral("https://www.dogpile.com/info.dogpl/search/images/") + w +
                   dogPileRun(7) + w;
        case Google:
            if (web)
                return QStringLiteral("https://www.google.com/search?hl=en&ie=UTF-8&q=") + w;
            return QStringLiteral("https://images.google.com/images?hl=en&lr=&ie=UTF-8&q=") + w;
        case Yahoo:
            if (web)
                return QStringLiteral("https://search.yahoo.com/search?p=") + w +
                       QStringLiteral("&ei=UTF-8&fr=fp-tab-web-t&n=20&fl=0&x=wrt");
            return QStringLiteral("https://images.search.yahoo.com/search/images?p=") + w +
                   QStringLiteral("&ei=UTF-8&fr=fp-tab-img-t&cop=mss&tab=3");
        default:
            return QString();
    }
}

}  // namespace quillow
