#pragma once

#include <array>

#include "output/BlockFormat.h"

namespace output {

class CZelOutput;

// The cross fader of one output: the curve that turns a fader position into
// one gain per deck, and the gains last applied. The gain, scaled by the
// deck's level, becomes the volume of the deck's buffers on the output's
// device; the sound card sums the decks. The tables and gains outlive the
// output's device, so the next apply sets them on new buffers.
// User-interface thread only.
class CZelCrossFader {
public:
    static constexpr int kSteps = 99;
    static constexpr int kDeckA = 0;
    static constexpr int kDeckB = 1;
    static constexpr double kInitialCurve = 1.0;
    using Curve = std::array<double, kSteps>;

    // Computes the curve for parameter 1.0; both gains start at 1.0.
    explicit CZelCrossFader(CZelOutput& output);

    // p from -1 to +1: below 0 a power curve that rises fast and flattens
    // (cube root at -1), 0 a straight line, above 0 a straight rise that
    // reaches full gain early (half way at +1). Deck B's curve is computed,
    // Deck A's is its mirror.
    void SetCurve(double p);

    // x from -1 (all Deck A) to +1 (all Deck B); levels 0 to 1. Sets each
    // deck's gain on the output's device when it has one.
    void Apply(double x, double levelA, double levelB);

    // The fader step (0 to 98) of position x.
    static int StepOf(double x);
    // The positions the graph plots the curves against: 2i/99 - 1, computed
    // in single precision as the graph always drew them.
    static const Curve& GraphX();

    const Curve& CurveA() const { return curves_[kDeckA]; }
    const Curve& CurveB() const { return curves_[kDeckB]; }
    const Curve& CurveOf(int deck) const { return curves_.at(deck); }
    // The curve value last applied to a deck.
    double DeckGain(int deck) const { return deckGains_.at(deck); }

private:
    CZelOutput& output_;
    std::array<Curve, kDeckCount> curves_{};
    std::array<double, kDeckCount> deckGains_{1.0, 1.0};
};

}  // namespace output
