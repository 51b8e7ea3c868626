#include "core/program_rules.h"

namespace quillow {

ProgramRules::ProgramRules() {
    clock_.start();
}

ProgramRules::~ProgramRules() {
    delete ready_.data();
}

bool ProgramRules::allowWindowWithoutClick() {
    return popupAllowance_.allow(clock_.elapsed());
}

bool ProgramRules::beginFailureQuestion() {
    if (failureQuestionOpen_)
        return false;
    failureQuestionOpen_ = true;
    return true;
}

void ProgramRules::keepReady(QWidget *window) {
    if (ready_ != window)
        delete ready_.data();
    ready_ = window;
}

QWidget *ProgramRules::takeReady() {
    QWidget *window = ready_;
    ready_ = nullptr;
    return window;
}

}  // namespace quillow
