#pragma once

#include <QString>
#include <functional>

#include "browser/browser.h"
#include "inet/internet_transfer.h"

namespace quillow {

class MessageBoxes;

// What the windows get from outside: the platform services and the
// component factories. main() builds the real one, tests their own.
struct Context {
    QString favoritesDir;  // holds favorites.dat; empty: there is no such folder
    QString scratchDir;    // holds temp.htm; empty: there is no such folder
    MessageBoxes *messages = nullptr;
    std::function<void()> beep;
    QString connectionTestHost;
    BrowserFactory browserFactory;
    TransferFactory transferFactory;
};

}  // namespace quillow
