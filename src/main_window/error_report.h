#pragma once

#include <QString>

#include "browser/browser.h"

namespace quillow {

// Whether going to an address passes over a step that ended so and goes on
// with the next one: a page that cannot take the focus is no error worth
// a word.
bool goesOnAfter(BrowserResult result);

// "Error #<number> Please report it ...": the number a user quotes in a
// report, made from what went wrong.
QString internalErrorText(BrowserResult result);

}  // namespace quillow
