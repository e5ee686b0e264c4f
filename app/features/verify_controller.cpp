#include "app/features/verify_controller.h"

#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "config/settings.h"
#include "session/session.h"

#include <algorithm>

namespace vn {

namespace {

const QString Caption = QStringLiteral("Verify recordings");
// A longer list would not fit a message box.
constexpr int NamedInQuestion = 20;

} // namespace

VerifyController::VerifyController(FeatureContext& context) : c_(context)
{
    c_.router.add({CmdVerifyRecordings}, [this](int) { toggle(); });
    c_.router.setChecked(CmdVerifyRecordings, c_.settings.Verify_Recordings != 0);
    c_.hooks.beforeCompare.push_back([this] { forget(); });
    c_.hooks.comparisonCleared.push_back([this] { forget(); });
    c_.hooks.afterCompare.push_back([this] {
        if (c_.settings.Verify_Recordings)
            checkList();
    });
    c_.hooks.beforeWriting.push_back([this] { return confirmWriting(); });
}

int VerifyController::threshold() const
{
    return std::clamp(c_.settings.Verify_Threshold, 0, 100);
}

void VerifyController::toggle()
{
    c_.settings.Verify_Recordings = c_.settings.Verify_Recordings ? 0 : 1;
    c_.router.setChecked(CmdVerifyRecordings, c_.settings.Verify_Recordings != 0);
}

void VerifyController::forget()
{
    pairs_.clear();
    matches_.clear();
    checked_ = false;
}

void VerifyController::checkList()
{
    const ComparisonState& state = c_.session.state();
    pairs_ = listPairs(state);
    {
        const JobScope job(c_.router);
        // An abort leaves the pairs not reached "not checked", which the question counts.
        checkRecordings(pairs_, state.cue ? &*state.cue : nullptr, c_.feedback, 0, matches_);
    }
    checked_ = true;
    for (size_t i = 0; i < pairs_.size(); ++i) {
        const int row = pairs_[i].listRow;
        if (row < 1)
            continue;
        const bool mismatch = !sameRecording(matches_[i], threshold());
        c_.list.setRowNote(row, QStringLiteral("Match with A: %1").arg(matchText(matches_[i])), mismatch);
        c_.list.setRowNote(row - 1, QString(), mismatch);
    }
}

bool VerifyController::confirmWriting()
{
    if (!c_.settings.Verify_Recordings)
        return true;
    // Turned on after the compare: the pairs are checked now.
    if (!checked_)
        checkList();
    const std::vector<int> mismatched = mismatchedPairs(matches_, threshold());
    if (mismatched.empty())
        return true;
    return showMessage(c_.window, mismatchQuestion(pairs_, matches_, mismatched, NamedInQuestion), Caption,
                       MessageButtons::YesNo, MessageIcon::Warning)
           == AnswerYes;
}

} // namespace vn
