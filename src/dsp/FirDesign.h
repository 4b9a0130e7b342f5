#pragma once

#include <span>

// Windowed-sinc FIR designers (Hamming window, linear phase). Frequencies are
// fractions of the sample rate (0 .. 0.5); each design fills every tap of the
// span it is given and scales the filter to unity gain in the middle of its
// pass band. They allocate nothing.
namespace dsp {

// Unity gain at 0 Hz.
void DesignLowPass(double cutoff, std::span<double> taps);
// Unity gain at the geometric mean of the edges, the band's centre on a
// logarithmic frequency axis.
void DesignBandPass(double low, double high, std::span<double> taps);
// Unity gain at half the sample rate and none at 0 Hz.
void DesignHighPass(double cutoff, std::span<double> taps);

// The magnitude of the filter's frequency response at a frequency.
double MagnitudeAt(std::span<const double> taps, double frequency);

}  // namespace dsp
