#include "ui/ProgressBarPlan.h"

#include <algorithm>

#include "ui/Layout.h"

namespace ombrelta {

ProgressBarPlan PlanProgressBar(std::int32_t progress,
                                bool completeUsable,
                                bool backUsable,
                                bool fillUsable) {
    ProgressBarPlan plan;
    if (progress >= 100 && completeUsable) {
        plan.completeImage = true;
        return plan;
    }
    plan.backImage = backUsable;
    // A report above 100 would otherwise paint past the bar and read beyond the fill picture.
    std::int32_t percent = std::clamp(progress, 0, 100);
    plan.fillWidth = percent * kProgressBarRect.width / 100;
    plan.fillImage = plan.fillWidth > 0 && fillUsable;
    return plan;
}

}  // namespace ombrelta
