#pragma once

#include <array>

#include "output/BlockFormat.h"
#include "output/CZelCrossFader.h"
#include "output/MixLink.h"

class CZelSettings;

namespace output {

class CZelOutput;

// The main window's mixing controls without their widgets: the main and
// headphones cross faders, the two deck levels, the common curve and the cue
// mark on the cross fader graph. The window forwards its controls' value
// changes here and draws the graph from MainCrossFader() and the positions.
// The engine calls ApplyBothCrossFaders when a deck's buffers are new, since
// new buffers start at full volume. User-interface thread only.
class CZelMixerControls final : public MixLink {
public:
    // What the cue mark needs of the decks.
    class Decks {
    public:
        virtual ~Decks() = default;
        virtual bool IsCueOn(int deck) const = 0;
        virtual bool IsPlaying(int deck) const = 0;
        // Presses the deck's play toggle.
        virtual void Start(int deck) = 0;
    };

    static constexpr double kMainStart = -1.0;
    static constexpr double kHeadphonesStart = 1.0;
    static constexpr double kCurveReset = 0.0;
    static constexpr double kCueMarkReset = 0.0;

    CZelMixerControls(CZelOutput& main, CZelOutput& headphones, const CZelSettings& settings);

    // Without decks, crossing the cue mark starts nothing.
    void SetDecks(Decks* decks) { decks_ = decks; }

    // Levels and curve from the settings, then the curve's change handling, so
    // that both curves, the gains and the graph agree with the saved values.
    void RestoreFromSettings();

    void ApplyBothCrossFaders() override;

    // Value changes of the controls.
    void OnLevelChanged(int deck, double level);
    void OnHeadphonesCrossFaderChanged(double x);
    // Crossing the cue mark while the cue is on may start a cued deck.
    void OnMainCrossFaderChanged(double x);
    void OnCurveChanged(double p);
    void OnCueOnChanged(bool on) { cueOn_ = on; }
    // The cue mark dragged along the graph.
    void OnCueMarkMoved(double x) { cueMark_ = x; }
    // Right-button releases: straight line; cue mark to the centre.
    void ResetCurve() { OnCurveChanged(kCurveReset); }
    void ResetCueMark() { cueMark_ = kCueMarkReset; }

    double Level(int deck) const { return levels_.at(deck); }
    double MainPosition() const { return mainPosition_; }
    double HeadphonesPosition() const { return headphonesPosition_; }
    double CurvePosition() const { return curvePosition_; }
    bool IsCueOn() const { return cueOn_; }
    double CueMark() const { return cueMark_; }

    const CZelCrossFader& MainCrossFader() const { return main_; }
    const CZelCrossFader& HeadphonesCrossFader() const { return headphones_; }

private:
    void TestCueMark(double x);
    void StartIfCued(int deck);

    CZelCrossFader main_;
    CZelCrossFader headphones_;
    const CZelSettings& settings_;
    Decks* decks_ = nullptr;

    std::array<double, kDeckCount> levels_{};
    double mainPosition_ = kMainStart;
    double headphonesPosition_ = kHeadphonesStart;
    double previousMainPosition_ = 0.0;
    double curvePosition_ = 0.0;
    // The button's start state is the window's; it sets it through OnCueOnChanged.
    bool cueOn_ = false;
    double cueMark_ = kCueMarkReset;
};

}  // namespace output
