#pragma once

// Signals for the effect tests, an effect run over them as the mixer runs it,
// and the measurements the tests make on what comes out. Stereo signals are
// interleaved floats, full scale 1.0.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "platform/sound/SoundEffect.h"

namespace fx_tests {

using platform::sound::SoundEffect;

constexpr int kRate = 44'100;
constexpr int kChunk = 512;  // the mixer's largest chunk
constexpr double kPi = std::numbers::pi;

using Stereo = std::vector<float>;
using Mono = std::vector<float>;

inline int Frames(double seconds, int rate = kRate) {
    return static_cast<int>(std::lround(seconds * rate));
}

// An effect of the class with these parameters, ready for stereo at the rate.
template <typename Effect, typename Parameters>
std::unique_ptr<Effect> Prepared(const Parameters& parameters, int rate = kRate) {
    auto effect = std::make_unique<Effect>();
    effect->SetAllParameters(parameters);
    effect->Prepare(rate, 2);
    effect->Reset();
    return effect;
}

// Runs the signal through the effect in the mixer's chunks; returns the result.
inline Stereo Processed(SoundEffect& effect, Stereo signal, int chunk = kChunk) {
    const int frames = static_cast<int>(signal.size() / 2);
    for (int done = 0; done < frames; done += chunk)
        effect.Process(signal.data() + 2 * done, std::min(chunk, frames - done));
    return signal;
}

// A sine on both channels, the right one `rightLead` cycles ahead, faded in
// over `fadeSeconds` (a raised cosine) so that its start excites nothing but
// frequencies near its own.
inline Stereo Tone(double hz, double seconds, double amplitude, double fadeSeconds = 0.0,
                   double rightLead = 0.0, int rate = kRate) {
    const int frames = Frames(seconds, rate);
    const int fade = Frames(fadeSeconds, rate);
    Stereo signal(2 * static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        double gain = amplitude;
        if (n < fade) gain *= 0.5 - 0.5 * std::cos(kPi * n / fade);
        signal[2 * n] = static_cast<float>(gain * std::sin(2 * kPi * hz * n / rate));
        signal[2 * n + 1] = static_cast<float>(gain * std::sin(2 * kPi * (hz * n / rate + rightLead)));
    }
    return signal;
}

// Deterministic white noise, different on the two channels.
inline Stereo Noise(double seconds, double amplitude, uint32_t seed = 1, int rate = kRate) {
    Stereo signal(2 * static_cast<size_t>(Frames(seconds, rate)));
    uint32_t state = seed;
    for (float& sample : signal) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        sample = static_cast<float>((state / 4294967295.0 * 2.0 - 1.0) * amplitude);
    }
    return signal;
}

// Silence with one sample of each given value at the start.
inline Stereo Impulse(double seconds, float left, float right, int rate = kRate) {
    Stereo signal(2 * static_cast<size_t>(Frames(seconds, rate)), 0.0f);
    signal[0] = left;
    signal[1] = right;
    return signal;
}

// One channel's frames [begin, end).
inline Mono Channel(const Stereo& signal, int channel, int begin = 0, int end = -1) {
    const int frames = static_cast<int>(signal.size() / 2);
    if (end < 0 || end > frames) end = frames;
    Mono out;
    for (int n = begin; n < end; ++n) out.push_back(signal[2 * n + channel]);
    return out;
}

inline double Rms(const Mono& x) {
    double sum = 0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return x.empty() ? 0.0 : std::sqrt(sum / x.size());
}

inline double Decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

// Amplitude of the component at hz (Hann-windowed projection): for a steady
// tone that lasts many periods, its amplitude.
inline double ToneLevel(const Mono& x, double hz, int rate = kRate) {
    std::complex<double> sum = 0;
    double weights = 0;
    const size_t n = x.size();
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * kPi * i / n);
        sum += w * x[i] * std::polar(1.0, -2 * kPi * hz * i / rate);
        weights += w;
    }
    return 2.0 * std::abs(sum) / weights;
}

// RMS of each run of `window` samples.
inline std::vector<double> Envelope(const Mono& x, int window) {
    std::vector<double> out;
    for (size_t at = 0; at + window <= x.size(); at += window)
        out.push_back(Rms(Mono(x.begin() + at, x.begin() + at + window)));
    return out;
}

// The frequency (searched from low to high in steps) at which a series
// sampled at seriesRate has its strongest component, its mean removed.
inline double StrongestFrequency(const std::vector<double>& series, double seriesRate, double low,
                                 double high, double step) {
    double mean = 0;
    for (double v : series) mean += v;
    mean /= static_cast<double>(series.size());
    double best = low;
    double bestPower = -1;
    for (double hz = low; hz <= high; hz += step) {
        std::complex<double> sum = 0;
        for (size_t i = 0; i < series.size(); ++i)
            sum += (series[i] - mean) * std::polar(1.0, -2 * kPi * hz * i / seriesRate);
        if (std::norm(sum) > bestPower) {
            bestPower = std::norm(sum);
            best = hz;
        }
    }
    return best;
}

inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= n;
    mb /= n;
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

inline std::vector<double> Widened(const Mono& x) {
    return std::vector<double>(x.begin(), x.end());
}

}  // namespace fx_tests
