#include "platform/sound/fx/BiquadFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::sound::fx {

namespace {

constexpr double kHighest = 0.45;       // of the rate: the highest frequency a design aims at
constexpr double kSlowestPole = 0.995;  // the largest pole radius a band design may reach

double Limited(double sampleRate, double hz) noexcept {
    return std::clamp(hz, 1.0, kHighest * sampleRate);
}

// The angular frequency of hz, limited as above.
double Omega(double sampleRate, double hz) noexcept {
    return 2.0 * std::numbers::pi * Limited(sampleRate, hz) / sampleRate;
}

// The bandwidth term of the band designs, whose poles are the roots of
// (1 + k) - 2 cos(w) z^-1 + (1 - k) z^-2 with k = alpha / poleScale. The
// bilinear transform squeezes bands near Nyquist, which widening by
// w / sin(w) corrects; in the upper half of the spectrum that can make k so
// large, for a band wider than what is left below Nyquist, that a pole sits
// next to z = -1 and rings on. There k is limited so that no pole lies further
// than kSlowestPole from the origin.
double Alpha(double w, double octaves, double poleScale) noexcept {
    const double alpha = std::sin(w) * std::sinh(std::numbers::ln2 / 2.0 * octaves * w / std::sin(w));
    const double cosW = std::cos(w);
    if (cosW >= 0.0) return alpha;
    const double most = 2.0 * (1.0 + kSlowestPole * cosW) / (1.0 - kSlowestPole * kSlowestPole) - 1.0;
    return std::min(alpha, poleScale * most);
}

BiquadFilter::Coefficients Normalised(double b0, double b1, double b2, double a0, double a1,
                                      double a2) noexcept {
    return {static_cast<float>(b0 / a0), static_cast<float>(b1 / a0), static_cast<float>(b2 / a0),
            static_cast<float>(a1 / a0), static_cast<float>(a2 / a0)};
}

}  // namespace

BiquadFilter::Coefficients BiquadFilter::LowPass(double sampleRate, double hz, double q) noexcept {
    const double w = Omega(sampleRate, hz);
    const double cosW = std::cos(w);
    const double alpha = std::sin(w) / (2.0 * std::max(q, 0.01));
    return Normalised((1.0 - cosW) / 2.0, 1.0 - cosW, (1.0 - cosW) / 2.0, 1.0 + alpha, -2.0 * cosW,
                      1.0 - alpha);
}

BiquadFilter::Coefficients BiquadFilter::HighPass(double sampleRate, double hz, double q) noexcept {
    const double w = Omega(sampleRate, hz);
    const double cosW = std::cos(w);
    const double alpha = std::sin(w) / (2.0 * std::max(q, 0.01));
    return Normalised((1.0 + cosW) / 2.0, -(1.0 + cosW), (1.0 + cosW) / 2.0, 1.0 + alpha, -2.0 * cosW,
                      1.0 - alpha);
}

BiquadFilter::Coefficients BiquadFilter::BandPass(double sampleRate, double hz, double bandwidthHz) noexcept {
    const double w = Omega(sampleRate, hz);
    const double cosW = std::cos(w);
    // Q = centre / bandwidth, taken to octaves for the warping correction.
    const double q = Limited(sampleRate, hz) / std::max(bandwidthHz, 1.0);
    const double octaves = 2.0 / std::numbers::ln2 * std::asinh(1.0 / (2.0 * q));
    const double alpha = Alpha(w, octaves, 1.0);
    return Normalised(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * cosW, 1.0 - alpha);
}

BiquadFilter::Coefficients BiquadFilter::Peaking(double sampleRate, double hz, double octaves,
                                                 double gainDb) noexcept {
    const double w = Omega(sampleRate, hz);
    const double cosW = std::cos(w);
    const double a = std::pow(10.0, gainDb / 40.0);
    const double alpha = Alpha(w, octaves, a);
    return Normalised(1.0 + alpha * a, -2.0 * cosW, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * cosW,
                      1.0 - alpha / a);
}

}  // namespace platform::sound::fx
