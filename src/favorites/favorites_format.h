#pragma once

#include <QByteArray>
#include <QList>

namespace quillow::favorites {

// favorites.dat holds one entry per line. A line ends at a carriage return;
// a line feed right after it belongs to the line end, a line feed anywhere
// else stays in the entry. A last line without a line end is an entry too,
// and a file that ends with a line end has no empty entry after it.
// Entries are raw bytes: nothing is decoded, trimmed or dropped.
QList<QByteArray> parse(const QByteArray &data);
// The same entries without copying them: each points into data, which must
// outlive them and stay unchanged.
QList<QByteArray> parseInPlace(const QByteArray &data);

// Every entry followed by carriage return and line feed; no entries, no bytes.
// An entry must not hold a carriage return: it would read back as two.
QByteArray serialize(const QList<QByteArray> &entries);

// For the first part of a longer file: the length of the longest start of
// data made of whole lines whose line end is known to be complete, that is
// up to a carriage return that is not data's last byte, and its line feed
// if one follows. 0 when data holds no such line.
qsizetype wholeLinesLength(const QByteArray &data);

}  // namespace quillow::favorites
