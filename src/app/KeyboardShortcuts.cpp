#include "app/KeyboardShortcuts.h"

#include <algorithm>
#include <optional>

#include "platform/keyboard/KeyboardEnabled.h"
#include "ui/controls/CZelRangedControl.h"

namespace app {

namespace {

using platform::keyboard::Code;
using Slide = KeyboardShortcuts::Slide;

// One held key: the slide it moves, with Ctrl the slide instead (none: the
// key does nothing with Ctrl), its step, and the step with Shift.
struct Held {
    int code;
    Slide slide;
    std::optional<Slide> withControl;
    double step;
    double shiftStep;
};

constexpr Held kHeld[] = {
    {Code::kCodePageUp, Slide::MasterVolume, Slide::HeadphonesVolume, +0.002, +0.02},
    {Code::kCodePageDown, Slide::MasterVolume, Slide::HeadphonesVolume, -0.002, -0.02},
    {Code::kCodeEnd, Slide::Curve, std::nullopt, +0.01, +0.1},
    {Code::kCodeHome, Slide::Curve, std::nullopt, -0.01, -0.1},
    {'N', Slide::MainCrossFader, Slide::HeadphonesCrossFader, +0.005, +0.1},
    {'B', Slide::MainCrossFader, Slide::HeadphonesCrossFader, -0.005, -0.1},
    {'T', Slide::LevelA, std::nullopt, +0.002, +0.02},
    {'G', Slide::LevelA, std::nullopt, -0.002, -0.02},
    {'Y', Slide::LevelB, std::nullopt, +0.002, +0.02},
    {'H', Slide::LevelB, std::nullopt, -0.002, -0.02},
    {'R', Slide::TempoA, std::nullopt, +0.005, +0.05},
    {'F', Slide::TempoA, std::nullopt, -0.005, -0.05},
    {'U', Slide::TempoB, std::nullopt, +0.005, +0.05},
    {'J', Slide::TempoB, std::nullopt, -0.005, -0.05},
    {'A', Slide::EqualizerA1, Slide::EqualizerB1, +0.005, +0.05},
    {'Z', Slide::EqualizerA1, Slide::EqualizerB1, -0.005, -0.05},
    {'S', Slide::EqualizerA2, Slide::EqualizerB2, +0.005, +0.05},
    {'X', Slide::EqualizerA2, Slide::EqualizerB2, -0.005, -0.05},
    {'D', Slide::EqualizerA3, Slide::EqualizerB3, +0.005, +0.05},
    {'C', Slide::EqualizerA3, Slide::EqualizerB3, -0.005, -0.05},
};

}  // namespace

void KeyboardShortcuts::Nudge(CZelRangedControl& slide, double step) {
    double value = slide.Value() + step;
    if (step < 0.0) value = std::max(value, slide.Minimum());
    if (step > 0.0) value = std::min(value, slide.Maximum());
    slide.SetValue(value);
}

void KeyboardShortcuts::OnHeldKey(int code) {
    if (!platform::keyboard::KeyboardEnabled()) return;
    const auto held =
        std::find_if(std::begin(kHeld), std::end(kHeld), [code](const Held& h) { return h.code == code; });
    if (held == std::end(kHeld)) return;
    // The modifiers as they are now, not as they were at the poll.
    std::optional<Slide> slide = held->slide;
    if (keys_.ControlDown()) slide = held->withControl;
    if (!slide) return;
    CZelRangedControl* control = controls_.SlideOf(*slide);
    if (control) Nudge(*control, keys_.ShiftDown() ? held->shiftStep : held->step);
}

bool KeyboardShortcuts::OnKeyDown(int code) {
    if (!platform::keyboard::KeyboardEnabled()) return false;
    if (code >= '1' && code <= '5') {
        controls_.SeekDeck(0, (code - '1') * 0.2);
    } else if (code >= '6' && code <= '9') {
        controls_.SeekDeck(1, (code - '6') * 0.2);
    } else if (code == '0') {
        controls_.SeekDeck(1, 0.8);
    } else if (code == 'Q' || code == 'O') {
        controls_.ToggleCue(code == 'Q' ? 0 : 1);
    } else if (code == 'W' || code == 'P') {
        controls_.TogglePlay(code == 'W' ? 0 : 1);
    } else if (code == 'V' || code == 'M') {
        CZelRangedControl* fader = controls_.SlideOf(Slide::MainCrossFader);
        if (!fader) return false;
        fader->SetValue(code == 'V' ? -1.0 : 1.0);
    } else {
        return false;
    }
    return true;
}

}  // namespace app
