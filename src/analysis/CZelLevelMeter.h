#pragma once

#include <span>
#include <vector>

class CZelLed;

// A column of lamps showing a level in dB: as many lit, counted from the
// lowest, as the level reaches of the range from the bottom level (none) to
// the top level (all). The column moves toward that count by at most three
// lamps a call, which gives it its rise and fall. UI thread only.
class CZelLevelMeter {
public:
    static constexpr int kMaxStep = 3;

    // The lamps, lowest first; until this is called the meter shows nothing.
    void Init(int ledCount, std::span<CZelLed* const> leds, double bottomLevel, double topLevel);
    void Show(double level);
    // Every lamp off.
    void Clear();

    int Lit() const { return lit_; }
    int LedCount() const { return static_cast<int>(leds_.size()); }

private:
    void SetLamp(int index, bool on);

    double top_ = 0.0;
    double bottom_ = 0.0;
    int lit_ = 0;
    std::vector<CZelLed*> leds_;
};
