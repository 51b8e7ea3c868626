#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include "core/popup_allowance.h"
#include "core/site_decisions.h"

namespace quillow {

// The rules that hold across all windows for the whole run: how many
// windows pages may open without a click, one failed-page question at a
// time, the user's answers to certificate and permission questions, and
// the main window kept ready for the next one a hand-over opens.
class ProgramRules {
public:
    ProgramRules();
    ~ProgramRules();
    ProgramRules(const ProgramRules &) = delete;
    ProgramRules &operator=(const ProgramRules &) = delete;

    // Whether a page may open another window without the user's click now.
    bool allowWindowWithoutClick();

    // At most one failed-page question is open in the whole program: false
    // while one is, else true and the caller asks, then ends it.
    bool beginFailureQuestion();
    void endFailureQuestion() { failureQuestionOpen_ = false; }

    // The user's answers to the pages' questions, for the rest of the run.
    SiteDecisions &siteDecisions() { return siteDecisions_; }

    // A hidden window made ready for the next one to open; the rules own it
    // until it is taken.
    void keepReady(QWidget *window);
    QWidget *takeReady();
    bool hasReady() const { return !ready_.isNull(); }

private:
    PopupAllowance popupAllowance_;
    QElapsedTimer clock_;
    bool failureQuestionOpen_ = false;
    SiteDecisions siteDecisions_;
    QPointer<QWidget> ready_;
};

}  // namespace quillow
