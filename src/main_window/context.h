#pragma once

#include <QString>
#include <functional>

#include "browser/browser.h"
#include "inet/inet.h"

class QWidget;

namespace quillow {

// Modal message boxes, so tests can answer them.
class MessageBoxes {
public:
    enum class Icon { None, Information, Exclamation };
    enum class Buttons { Ok, YesNo };
    enum Answer { Ok = 1, Yes = 6, No = 7 };

    virtual ~MessageBoxes() = default;
    // An empty title means the application's own name.
    virtual int show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                     Buttons buttons) = 0;
};

// What the windows get from outside: the platform services and the
// component factories. main() builds the real one, tests their own.
struct Context {
    QString programDir;  // where favorites.dat and temp.htm live
    MessageBoxes *messages = nullptr;
    std::function<void()> beep;
    QString connectionTestHost;
    BrowserFactory browserFactory;
    InetFactory inetFactory;
};

}  // namespace quillow
