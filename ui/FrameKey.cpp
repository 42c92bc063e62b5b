#include "ui/FrameKey.h"

namespace ombrelta {

FrameKey MakeFrameKey(const WindowState& state, std::span<const ButtonState* const> buttons) {
    FrameKey key{.versionText = state.versionText,
                 .statusText = state.statusText,
                 .detailsText = state.detailsText,
                 .progress = state.progress,
                 .online = IsOnline(state.serverStatusText)};
    for (std::size_t i = 0; i < buttons.size() && i < kButtonCount; ++i) {
        key.buttonLooks[i * 3] = buttons[i]->hovered;
        key.buttonLooks[i * 3 + 1] = buttons[i]->pressed;
        key.buttonLooks[i * 3 + 2] = buttons[i]->enabled;
    }
    return key;
}

}  // namespace ombrelta
