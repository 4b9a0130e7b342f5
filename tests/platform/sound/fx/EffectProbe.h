#pragma once

// Signals for the standard effects' tests, fed straight to Process as the
// mixer would (interleaved stereo floats, full scale 1.0, blocks of up to 512
// frames), and the measurements made on what comes out.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <initializer_list>
#include <numbers>
#include <vector>

#include "platform/sound/SoundEffect.h"

namespace effect_probe {

constexpr int kRate = 44'100;
constexpr int kChannels = 2;

using Signal = std::vector<float>;  // interleaved stereo

// A sine of `amplitude` on both channels.
inline Signal Sine(double hz, int frames, double amplitude, int rate = kRate) {
    Signal out(static_cast<size_t>(frames) * kChannels);
    for (int i = 0; i < frames; ++i) {
        const auto value = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate));
        out[2 * i] = out[2 * i + 1] = value;
    }
    return out;
}

// Deterministic white noise, different on each channel.
inline Signal Noise(int frames, double amplitude, uint32_t seed = 12345) {
    Signal out(static_cast<size_t>(frames) * kChannels);
    for (float& sample : out) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<float>(amplitude * (static_cast<double>(seed) / 4294967296.0 * 2.0 - 1.0));
    }
    return out;
}

// A signal made of pieces one after the other.
inline Signal Joined(std::initializer_list<Signal> pieces) {
    Signal out;
    for (const Signal& piece : pieces) out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

// Runs the effect over the frames [first, first + frames) in place, in blocks
// of `block` frames as the mixer hands them over.
inline void Feed(platform::sound::SoundEffect& effect, Signal& signal, int first = 0, int frames = -1,
                 int block = 512) {
    const int total = static_cast<int>(signal.size() / kChannels);
    const int end = frames < 0 ? total : std::min(total, first + frames);
    for (int at = first; at < end; at += block)
        effect.Process(signal.data() + 2 * at, std::min(block, end - at));
}

// The amplitude of the component at `hz` in one channel over the frames
// [first, first + frames); exact for a tone with a whole number of periods there.
inline double AmplitudeAt(const Signal& signal, double hz, int first, int frames, int channel = 0,
                          int rate = kRate) {
    std::complex<double> sum;
    for (int i = 0; i < frames; ++i) {
        const double angle = -2.0 * std::numbers::pi * hz * i / rate;
        sum += static_cast<double>(signal[2 * (first + i) + channel]) * std::polar(1.0, angle);
    }
    return 2.0 * std::abs(sum) / frames;
}

// The largest absolute sample of one channel over the frames [first, first + frames).
inline double Peak(const Signal& signal, int first, int frames, int channel = 0) {
    double peak = 0.0;
    for (int i = first; i < first + frames; ++i)
        peak = std::max(peak, std::fabs(double{signal[2 * i + channel]}));
    return peak;
}

// The largest difference between neighbouring samples of one channel.
inline double LargestStep(const Signal& signal, int first, int frames, int channel = 0) {
    double step = 0.0;
    for (int i = first + 1; i < first + frames; ++i)
        step = std::max(step, std::fabs(double{signal[2 * i + channel]} - signal[2 * (i - 1) + channel]));
    return step;
}

// Plays a tone through an effect set to `from`, switches to `to` a quarter
// second in, and answers the largest sample step in the 100 ms from the
// change over the largest of the output's own steps in the 100 ms before it
// and the last 100 ms of the second: above 1 the change made a step of its own.
template <typename Effect, typename Parameters>
double StepAroundChange(const Parameters& from, const Parameters& to, double hz, double amplitude) {
    Effect effect;
    effect.SetAllParameters(from);
    effect.Prepare(kRate, kChannels);
    effect.Reset();
    const int change = kRate / 4 + 123;  // not on a block boundary
    Signal out = Sine(hz, kRate, amplitude);
    Feed(effect, out, 0, change);
    effect.SetAllParameters(to);
    Feed(effect, out, change);
    const int tenth = kRate / 10;
    const double before = LargestStep(out, change - tenth, tenth);
    const double after = LargestStep(out, kRate - tenth, tenth);
    return LargestStep(out, change - 1, tenth) / std::max(before, after);
}

inline double Db(double ratio) {
    return 20.0 * std::log10(ratio);
}
inline double FromDb(double db) {
    return std::pow(10.0, db / 20.0);
}

}  // namespace effect_probe
