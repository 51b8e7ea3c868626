#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "browser/browser.h"
#include "inet/internet_transfer.h"

namespace quillow {

class ContentBlocker;
class ProgramRules;
class Questions;

// What the windows get from outside: the platform services, the component
// factories and the rules every window shares. The program builds the real
// one, tests their own.
struct Context {
    QString favoritesDir;  // holds favorites.dat; empty: there is no such folder
    QString scratchDir;    // holds temp.htm; empty: there is no such folder
    // Every message and question for the user; none means nothing is told
    // and every question gets its refusal.
    Questions *questions = nullptr;
    // The rules that hold across all windows; the program owns them.
    ProgramRules *rules = nullptr;
    std::function<void()> beep;
    // Content blocking from the filter lists; none means none.
    ContentBlocker *contentBlocker = nullptr;
    // Hands an address of another program's (mailto:, ...) to the desktop.
    std::function<bool(const QUrl &)> openElsewhere;
    QString connectionTestHost;
    BrowserFactory browserFactory;
    TransferFactory transferFactory;
};

}  // namespace quillow
