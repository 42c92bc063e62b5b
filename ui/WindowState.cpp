#include "ui/WindowState.h"

#include "common/Text.h"
#include "ui/Layout.h"

namespace ombrelta {

std::wstring FormatVersionText(std::uint16_t version) {
    return L"Current Version : " + std::to_wstring(version);
}

bool ApplyProgress(WindowState& state, ButtonState& start, const ProgressMessage& message) {
    state.statusText = message.text;
    state.progress = message.percent;
    if (state.statusText != kReadyText)
        return false;
    state.serverStatusText = kServerOnlineText;
    state.checksReady = true;
    start.enabled = true;
    return true;
}

void ApplyFailure(WindowState& state, ButtonState& start) {
    state.serverStatusText = kServerOfflineText;
    state.statusText = kStartupFailedText;
    state.progress = 0;
    state.checksReady = false;
    state.detailsText.clear();
    DisableButton(start);
}

void ApplyStartPressed(WindowState& state, ButtonState& start) {
    state.checksReady = false;
    DisableButton(start);
}

void ApplyGameStarting(WindowState& state, ButtonState& start) {
    state.checksReady = true;
    start.enabled = true;
    state.statusText = kStartingGameText;
    state.progress = 100;
}

void ApplyGameStartFailed(WindowState& state, ButtonState& start, GameStartFailure failure) {
    state.statusText = failure == GameStartFailure::ExecutableMissing ? kGameNotFoundText : kGameStartFailedText;
    state.checksReady = true;
    start.enabled = true;
}

bool IsOnline(std::wstring_view serverStatusText) {
    return serverStatusText.find(L"Online") != std::wstring_view::npos;
}

bool StepPulse(WindowState& state) {
    if (!IsOnline(state.serverStatusText)) {
        state.pulse = 0.0f;
        state.pulseRising = true;
        return false;
    }
    if (state.pulseRising) {
        state.pulse += 4.0f;
        if (state.pulse >= 100.0f) {
            state.pulse = 100.0f;
            state.pulseRising = false;
        }
    } else {
        state.pulse -= 4.0f;
        if (state.pulse <= 0.0f) {
            state.pulse = 0.0f;
            state.pulseRising = true;
        }
    }
    return true;
}

std::uint32_t IndicatorColour(const WindowState& state) {
    if (!IsOnline(state.serverStatusText))
        return kIndicatorOfflineArgb;
    // The float sum is truncated and kept to one byte, as a GDI+ colour channel takes it.
    auto green = static_cast<std::uint8_t>(static_cast<std::int32_t>(state.pulse + 120.0));
    return 0xFF000000u | (std::uint32_t{green} << 8) | 80u;
}

std::wstring StartupFailureText(const std::string& errorText) {
    std::wstring text = Utf8ToWide(errorText);
    if (text.empty())
        return kStartupFailedText;
    return text;
}

}  // namespace ombrelta
