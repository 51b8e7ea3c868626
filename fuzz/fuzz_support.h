#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property that does not hold stops the run with the condition that
// failed; libFuzzer then keeps the input that broke it.
#define QUILLOW_FUZZ_CHECK(condition)                                                             \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

namespace quillow::fuzz {

// Text from raw bytes: as UTF-8 (how typed and fetched text mostly
// arrives), or as raw UTF-16 code units, which also gives what UTF-8 cannot
// carry, such as lone surrogates and embedded NULs.
inline QString text(const uint8_t *data, size_t size, bool utf16) {
    if (!utf16)
        return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QString out(qsizetype(size / 2), Qt::Uninitialized);
    for (size_t i = 0; i + 1 < size; i += 2)
        out[qsizetype(i / 2)] = QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return out;
}

// Whether the text survives a trip through UTF-8 (no lone surrogates).
inline bool isWellFormed(const QString &text) {
    return QString::fromUtf8(text.toUtf8()) == text;
}

}  // namespace quillow::fuzz
