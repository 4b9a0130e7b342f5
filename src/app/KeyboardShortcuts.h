#pragma once

#include "platform/keyboard/KeyState.h"

class CZelRangedControl;

namespace app {

// What the keyboard does to the mixer, apart from any window. Held keys come
// from the key poll about every 15 ms and move their slide a step each time
// (Shift ten times as far, twenty for the cross faders; Ctrl for the other
// deck's equalizer, the headphones volume or cross fader). Single keys seek,
// cue, play and throw the main cross fader to one side. Both only while the
// keyboard shortcuts are enabled. UI thread only.
class KeyboardShortcuts {
public:
    enum class Slide {
        MasterVolume,
        HeadphonesVolume,
        Curve,
        MainCrossFader,
        HeadphonesCrossFader,
        LevelA,
        LevelB,
        TempoA,
        TempoB,
        EqualizerA1,
        EqualizerA2,
        EqualizerA3,
        EqualizerB1,
        EqualizerB2,
        EqualizerB3,
    };

    // The controls the keys work, as the windows hold them.
    class Controls {
    public:
        virtual ~Controls() = default;
        virtual CZelRangedControl* SlideOf(Slide slide) = 0;
        virtual void SeekDeck(int deck, double fraction) = 0;
        virtual void ToggleCue(int deck) = 0;
        virtual void TogglePlay(int deck) = 0;
    };

    KeyboardShortcuts(const platform::keyboard::KeyState& keys, Controls& controls)
        : keys_(keys), controls_(controls) {}

    // A held key's code, from the key poll.
    void OnHeldKey(int code);
    // A key pressed in one of the program's windows, by the code the poll
    // gives its physical key; true when it was a shortcut and acted.
    bool OnKeyDown(int code);

    // Moves the slide by `step`, to no further than its end, through the
    // slide's own change handling, as a user's move would.
    static void Nudge(CZelRangedControl& slide, double step);

private:
    const platform::keyboard::KeyState& keys_;
    Controls& controls_;
};

}  // namespace app
