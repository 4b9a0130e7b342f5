#include "platform/sound/fx/BiquadFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::sound::fx {

namespace {

// The angular frequency of hz, kept between 1 Hz and just below Nyquist.
double Omega(double sampleRate, double hz) noexcept {
    const double limited = std::clamp(hz, 1.0, 0.49 * sampleRate);
    return 2.0 * std::numbers::pi * limited / sampleRate;
}

// The bandwidth term of the band designs. The bilinear transform squeezes
// bands near Nyquist, which widening by w / sin(w) corrects; the cap keeps the
// poles clear of the unit circle when a band is wider than the whole spectrum.
double Alpha(double w, double octaves) noexcept {
    const double alpha = std::sin(w) * std::sinh(std::numbers::ln2 / 2.0 * octaves * w / std::sin(w));
    return std::min(alpha, 50.0);
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
    const double limited = std::clamp(hz, 1.0, 0.49 * sampleRate);
    const double q = limited / std::max(bandwidthHz, 1.0);
    const double octaves = 2.0 / std::numbers::ln2 * std::asinh(1.0 / (2.0 * q));
    const double alpha = Alpha(w, octaves);
    return Normalised(alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * cosW, 1.0 - alpha);
}

BiquadFilter::Coefficients BiquadFilter::Peaking(double sampleRate, double hz, double octaves,
                                                 double gainDb) noexcept {
    const double w = Omega(sampleRate, hz);
    const double cosW = std::cos(w);
    const double a = std::pow(10.0, gainDb / 40.0);
    const double alpha = Alpha(w, octaves);
    return Normalised(1.0 + alpha * a, -2.0 * cosW, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * cosW,
                      1.0 - alpha / a);
}

}  // namespace platform::sound::fx
