#pragma once

#include <QString>

class QWidget;

namespace quillow {

// Modal message boxes, so tests can answer them.
class MessageBoxes {
public:
    enum class Icon { None, Information, Exclamation };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~MessageBoxes() = default;
    // An empty title means the application's own name. A Yes/No box has Yes
    // as its default button.
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
