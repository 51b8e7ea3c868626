#include "favorites/favorites_format.h"

namespace quillow::favorites {

namespace {

template <typename Entry>
QList<QByteArray> split(const QByteArray &data, Entry entry) {
    QList<QByteArray> entries;
    qsizetype start = 0;
    const qsizetype size = data.size();
    while (start < size) {
        const qsizetype cr = data.indexOf('\r', start);
        if (cr < 0) {
            entries.append(entry(start, size - start));
            break;
        }
        entries.append(entry(start, cr - start));
        start = cr + 1;
        if (start < size && data.at(start) == '\n')
            ++start;
    }
    return entries;
}

}  // namespace

QList<QByteArray> parse(const QByteArray &data) {
    return split(data,
                 [&data](qsizetype start, qsizetype length) { return data.mid(start, length); });
}

QList<QByteArray> parseInPlace(const QByteArray &data) {
    const char *base = data.constData();
    return split(data, [base](qsizetype start, qsizetype length) {
        return QByteArray::fromRawData(base + start, length);
    });
}

QByteArray serialize(const QList<QByteArray> &entries) {
    qsizetype total = 0;
    for (const QByteArray &e : entries)
        total += e.size() + 2;
    QByteArray out;
    out.reserve(total);
    for (const QByteArray &e : entries) {
        out.append(e);
        out.append("\r\n", 2);
    }
    return out;
}

qsizetype wholeLinesLength(const QByteArray &data) {
    if (data.size() < 2)
        return 0;
    // A carriage return in the last byte may still get its line feed from
    // the part of the file that follows.
    const qsizetype cr = data.lastIndexOf('\r', data.size() - 2);
    if (cr < 0)
        return 0;
    return data.at(cr + 1) == '\n' ? cr + 2 : cr + 1;
}

}  // namespace quillow::favorites
