#include "html_window/page_encoding.h"

#include <iconv.h>

#include <QRegularExpression>
#include <QStringConverter>
#include <cerrno>
#include <optional>

namespace quillow {

namespace {

// The encodings Qt converts itself; the rest go through the C library's
// iconv, which knows windows-1252, Shift_JIS and the others.
std::optional<QStringConverter::Encoding> qtEncoding(const QByteArray &name) {
    const QByteArray n = name.toLower();
    if (n == "utf-8" || n == "utf8")
        return QStringConverter::Utf8;
    if (n == "iso-8859-1" || n == "iso8859-1" || n == "iso_8859-1" || n == "latin1" || n == "l1")
        return QStringConverter::Latin1;
    if (n == "utf-16le")
        return QStringConverter::Utf16LE;
    if (n == "utf-16be")
        return QStringConverter::Utf16BE;
    if (n == "utf-16")
        return QStringConverter::Utf16;
    return std::nullopt;
}

// A charset name as pages may spell one; anything else is no name at all.
bool plausibleName(const QByteArray &name) {
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9._:+-]{1,40}$"));
    return valid.match(QString::fromLatin1(name)).hasMatch();
}

// Converts all of in, or nothing: a byte or character the other side
// lacks fails the whole conversion.
std::optional<QByteArray> convert(const QByteArray &from, const QByteArray &to, QByteArray in) {
    iconv_t cd = iconv_open(to.constData(), from.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out(in.size() * 4 + 16, Qt::Uninitialized);
    char *inPtr = in.data();
    size_t inLeft = size_t(in.size());
    char *outPtr = out.data();
    size_t outLeft = size_t(out.size());
    bool ok = true;
    while (inLeft > 0 && ok) {
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1))
            continue;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = size_t(out.size() - used);
        } else {
            ok = false;  // a byte sequence or character the other side lacks
        }
    }
    // Shift states that still need their closing sequence.
    ok = ok && iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != size_t(-1);
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.truncate(outPtr - out.data());
    return out;
}

const QByteArray kUtf8 = "UTF-8";
const QByteArray kLatin1 = "ISO-8859-1";

}  // namespace

QByteArray charsetOfContentType(const QByteArray &contentType) {
    static const QRegularExpression charset(
        QStringLiteral("charset\\s*=\\s*[\"']?\\s*([^\\s\"';]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = charset.match(QString::fromLatin1(contentType));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

QByteArray declaredCharset(const QByteArray &html) {
    // Browsers look for the declaration in the first kilobyte.
    static const QRegularExpression meta(
        QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?\\s*([^\\s\"'/>;]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = meta.match(QString::fromLatin1(html.left(1024)));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

PageEncoding PageEncoding::forPage(const QByteArray &contentType, const QByteArray &body) {
    QByteArray byteOrderMark;
    if (body.startsWith("\xEF\xBB\xBF"))
        byteOrderMark = kUtf8;
    else if (body.startsWith("\xFF\xFE"))
        byteOrderMark = "UTF-16LE";
    else if (body.startsWith("\xFE\xFF"))
        byteOrderMark = "UTF-16BE";
    const QByteArray candidates[] = {byteOrderMark, charsetOfContentType(contentType),
                                     declaredCharset(body), kUtf8};
    for (const QByteArray &name : candidates) {
        if (!plausibleName(name))
            continue;
        const PageEncoding encoding(name);
        if (encoding.encode(encoding.decode(body)) == body)
            return encoding;
    }
    return PageEncoding(kLatin1);
}

QString PageEncoding::decode(const QByteArray &bytes) const {
    // A byte order mark is part of the page and goes back with it.
    const auto flags =
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
    if (const auto qt = qtEncoding(name_)) {
        QStringDecoder decoder(*qt, flags);
        return decoder.decode(bytes);
    }
    const std::optional<QByteArray> utf8 = convert(name_, kUtf8, bytes);
    return utf8 ? QString::fromUtf8(*utf8) : QString();
}

QByteArray PageEncoding::encode(const QString &text) const {
    const auto qt = qtEncoding(name_);
    if (qt == QStringConverter::Latin1) {
        for (QChar c : text)
            if (c.unicode() > 0xff)
                return QByteArray();
    }
    if (qt) {
        QStringEncoder encoder(
            *qt, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        const QByteArray out = encoder.encode(text);
        return encoder.hasError() ? QByteArray() : out;
    }
    return convert(kUtf8, name_, text.toUtf8()).value_or(QByteArray());
}

QString toLineFeeds(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString toCrLf(const QString &text) {
    return toLineFeeds(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

}  // namespace quillow
