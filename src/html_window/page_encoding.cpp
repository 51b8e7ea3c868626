#include "html_window/page_encoding.h"

#include <iconv.h>

#include <QRegularExpression>
#include <QStringConverter>
#include <algorithm>
#include <cerrno>
#include <iterator>
#include <optional>

namespace quillow {

namespace {

// What browsers read for 0x80 to 0x9F under every label the WHATWG
// Encoding Standard gives windows-1252 (ISO-8859-1 and US-ASCII among them):
// curly quotes, the euro sign. The five bytes it leaves undefined stand for
// the control characters of the same number, so every byte comes back.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isWindows1252(const QByteArray &name) {
    static const QList<QByteArray> labels = {
        "ansi_x3.4-1968", "ascii",           "cp1252",     "cp819",     "csisolatin1",
        "ibm819",         "iso-8859-1",      "iso-ir-100", "iso8859-1", "iso88591",
        "iso_8859-1",     "iso_8859-1:1987", "l1",         "latin1",    "us-ascii",
        "windows-1252",   "x-cp1252"};
    return labels.contains(name.toLower());
}

QString decodeWindows1252(const QByteArray &bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *to = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *to++ = QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

// Empty when the text holds a character windows-1252 lacks.
QByteArray encodeWindows1252(const QString &text) {
    QByteArray out(text.size(), Qt::Uninitialized);
    char *to = out.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            *to++ = char(u);
            continue;
        }
        const auto *at = std::find(std::begin(kWindows1252High), std::end(kWindows1252High), u);
        if (at == std::end(kWindows1252High))
            return QByteArray();
        *to++ = char(0x80 + (at - std::begin(kWindows1252High)));
    }
    return out;
}

// The encodings Qt converts itself; the rest go through the C library's
// iconv, which knows Shift_JIS and the others.
std::optional<QStringConverter::Encoding> qtEncoding(const QByteArray &name) {
    const QByteArray n = name.toLower();
    if (n == "utf-8" || n == "utf8")
        return QStringConverter::Utf8;
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
const QByteArray kWindows1252 = "windows-1252";

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
    return PageEncoding(kWindows1252);
}

QString PageEncoding::decode(const QByteArray &bytes) const {
    // A byte order mark is part of the page and goes back with it.
    const auto flags =
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
    if (isWindows1252(name_))
        return decodeWindows1252(bytes);
    if (const auto qt = qtEncoding(name_)) {
        QStringDecoder decoder(*qt, flags);
        return decoder.decode(bytes);
    }
    const std::optional<QByteArray> utf8 = convert(name_, kUtf8, bytes);
    return utf8 ? QString::fromUtf8(*utf8) : QString();
}

QByteArray PageEncoding::encode(const QString &text) const {
    if (isWindows1252(name_))
        return encodeWindows1252(text);
    if (const auto qt = qtEncoding(name_)) {
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
