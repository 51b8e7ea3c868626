#pragma once

#include <QByteArray>
#include <QString>

namespace quillow {

// The character encoding of a page the HTML window fetched, so that what
// it shows is what the page says and Run writes an untouched page back
// byte for byte. Chosen from the answer's Content-Type charset, then the
// page's own declaration (a byte order mark first), then UTF-8 when the
// bytes are valid UTF-8, else windows-1252, which maps every byte. Labels
// that browsers read as windows-1252 (ISO-8859-1, US-ASCII, ...) are read
// so. An encoding that would not give back the same bytes is passed over.
class PageEncoding {
public:
    // UTF-8, for text that came from no page.
    PageEncoding() = default;
    static PageEncoding forPage(const QByteArray &contentType, const QByteArray &body);

    // The encoding's name as the page or the header spelled it ("UTF-8",
    // "windows-1252" for the fallbacks).
    const QByteArray &name() const { return name_; }
    QString decode(const QByteArray &bytes) const;
    // Empty when the text holds characters the encoding lacks.
    QByteArray encode(const QString &text) const;

private:
    explicit PageEncoding(QByteArray name) : name_(std::move(name)) {}
    QByteArray name_ = "UTF-8";
};

// The charset parameter of a Content-Type header; empty when none.
QByteArray charsetOfContentType(const QByteArray &contentType);
// The charset a page declares in a <meta> tag near its start; empty when none.
QByteArray declaredCharset(const QByteArray &html);

// Line breaks as the contents box keeps them (\n), and as temp.htm holds
// them (CR LF).
QString toLineFeeds(QString text);
QString toCrLf(const QString &text);

}  // namespace quillow
