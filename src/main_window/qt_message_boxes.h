#pragma once

#include "main_window/context.h"

namespace quillow {

// The desktop's modal message boxes.
class QtMessageBoxes : public MessageBoxes {
public:
    int show(QWidget *parent, const QString &text, const QString &title, Icon icon,
             Buttons buttons) override;
};

}  // namespace quillow
