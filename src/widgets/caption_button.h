#pragma once

#include <QPushButton>

namespace quillow {

// A command button whose caption wraps onto more lines when the button is
// narrower than the caption, as the toolbar's small buttons need.
class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};

}  // namespace quillow
