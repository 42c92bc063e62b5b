#pragma once

#include <cstdint>

namespace ombrelta {

/// What the progress bar draws for one progress value and the pictures at hand.
struct ProgressBarPlan {
    /// Only the "complete" picture, stretched over the bar.
    bool completeImage = false;
    /// The background picture (else the translucent dark fallback colour).
    bool backImage = false;
    /// Width in pixels of the filled part from the bar's left edge; 0 draws no fill.
    std::int32_t fillWidth = 0;
    /// The fill picture's left part, unscaled (else the solid fallback colour).
    bool fillImage = false;
};

/// Three pixels per percent. Values outside 0..100 are held to the bar: below 0 nothing is
/// filled, above 100 the fill stops at the bar's right edge.
ProgressBarPlan PlanProgressBar(std::int32_t progress, bool completeUsable, bool backUsable, bool fillUsable);

}  // namespace ombrelta
