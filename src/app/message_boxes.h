#pragma once

#include <QString>

class QWidget;

namespace quillow {

// Modal message boxes, so tests can answer them.
class MessageBoxes {
public:
    enum class Icon { None, Information, Exclamation };
    enum class Buttons {
        Ok,
        YesNo,           // Yes is the default button
        YesNoDefaultNo,  // for a question whose safe answer is No
    };
    enum class Answer { Ok, Yes, No };

    virtual ~MessageBoxes() = default;
    // An empty title means the application's own name.
    virtual Answer show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                        Buttons buttons) = 0;
};

// The desktop's own modal message boxes.
class DesktopMessageBoxes : public MessageBoxes {
public:
    Answer show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                Buttons buttons) override;
};

}  // namespace quillow
