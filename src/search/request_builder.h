#pragma once

#include <QString>

namespace quillow {

// The search engines and result kinds of the search dialog, by the index of
// their option buttons.
enum SearchEngine { DogPile = 0, Google = 1, Yahoo = 2 };
enum SearchKind { WebPages = 0, Pictures = 1 };

// The words as they stand in the engine's request: a blank becomes "%2B" for
// Dog Pile and "+" for the others; every other character but letters, digits
// and "-._~" is percent-encoded (non-ASCII as UTF-8), so that "C#" or "AT&T"
// reach the engine as typed. Dog Pile reads its words from a path segment
// and decodes them twice (path, then form), which its "%2B" blank shows, so
// its escapes are escaped once more.
QString encodeSearchWords(int engine, const QString &words);

// The request address for the words on the engine (0 Dog Pile, 1 Google,
// 2 Yahoo) and the kind of result (0 web pages, anything else pictures).
// Empty for an engine that is none of the three.
QString searchRequestAddress(int engine, int method, const QString &words);

}  // namespace quillow
