#include "dsp/FirDesign.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dsp {

namespace {

constexpr double kPi = std::numbers::pi;

double Sinc(double x) {
    return x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
}

double Hamming(int k, int count) {
    if (count < 2) return 1.0;
    return 0.54 - 0.46 * std::cos(2.0 * kPi * k / (count - 1));
}

// The ideal low pass of the given cut-off, delayed to the middle of the taps
// and windowed.
void WindowedLowPass(double cutoff, std::span<double> taps) {
    const int count = static_cast<int>(taps.size());
    const double middle = (count - 1) / 2.0;
    for (int k = 0; k < count; ++k)
        taps[k] = 2.0 * cutoff * Sinc(2.0 * cutoff * (k - middle)) * Hamming(k, count);
}

void NormaliseAt(double frequency, std::span<double> taps) {
    const double magnitude = MagnitudeAt(taps, frequency);
    if (magnitude <= 0.0) return;
    for (double& tap : taps) tap /= magnitude;
}

}  // namespace

void DesignLowPass(double cutoff, std::span<double> taps) {
    WindowedLowPass(cutoff, taps);
    NormaliseAt(0.0, taps);
}

void DesignBandPass(double low, double high, std::span<double> taps) {
    // The difference of two windowed low passes, computed tap by tap so that
    // no second buffer is needed.
    const int count = static_cast<int>(taps.size());
    const double middle = (count - 1) / 2.0;
    for (int k = 0; k < count; ++k) {
        const double t = k - middle;
        taps[k] = (2.0 * high * Sinc(2.0 * high * t) - 2.0 * low * Sinc(2.0 * low * t)) * Hamming(k, count);
    }
    NormaliseAt(std::sqrt(low * high), taps);
}

void DesignHighPass(double cutoff, std::span<double> taps) {
    if (taps.empty()) return;
    // A symmetric filter with an even number of taps cannot pass half the
    // sample rate, so an even count is designed one tap shorter and its last
    // tap left at zero.
    const std::size_t used = taps.size() % 2 == 1 ? taps.size() : taps.size() - 1;
    std::fill(taps.begin() + static_cast<std::ptrdiff_t>(used), taps.end(), 0.0);
    const std::span<double> filter = taps.first(used);
    // Spectral inversion of a low pass with unity gain at 0 Hz: an impulse at
    // the middle minus the low pass leaves exactly nothing at 0 Hz.
    DesignLowPass(cutoff, filter);
    for (double& tap : filter) tap = -tap;
    filter[used / 2] += 1.0;
    NormaliseAt(0.5, filter);
}

double MagnitudeAt(std::span<const double> taps, double frequency) {
    const double w = 2.0 * kPi * frequency;
    double re = 0.0;
    double im = 0.0;
    for (std::size_t k = 0; k < taps.size(); ++k) {
        re += taps[k] * std::cos(w * static_cast<double>(k));
        im += taps[k] * std::sin(w * static_cast<double>(k));
    }
    return std::sqrt(re * re + im * im);
}

}  // namespace dsp
