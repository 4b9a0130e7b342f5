#pragma once

namespace platform::sound::fx {

// A second-order filter section for up to kMaxChannels interleaved channels,
// in transposed direct form II (good behaviour in float, and coefficients may
// change between samples without a step when they change gradually).
// Designs follow the usual bilinear-transform recipes; frequencies are limited
// to 0.45 of the rate, and bands to what fits below Nyquist, so any rate is
// safe.
class BiquadFilter {
public:
    static constexpr int kMaxChannels = 8;

    // Normalised so that a0 = 1.
    struct Coefficients {
        float b0 = 1.0f;
        float b1 = 0.0f;
        float b2 = 0.0f;
        float a1 = 0.0f;
        float a2 = 0.0f;
    };

    // Any thread: pure functions. Q = 1/sqrt(2) gives the flattest pass band.
    static Coefficients LowPass(double sampleRate, double hz, double q) noexcept;
    static Coefficients HighPass(double sampleRate, double hz, double q) noexcept;
    // Unity gain at the centre; `bandwidthHz` between the -3 dB points.
    static Coefficients BandPass(double sampleRate, double hz, double bandwidthHz) noexcept;
    // A bell of gainDb at the centre, `octaves` wide between the points of
    // half that gain (in dB); 0 dB passes the signal through unchanged.
    static Coefficients Peaking(double sampleRate, double hz, double octaves, double gainDb) noexcept;

    void SetCoefficients(const Coefficients& coefficients) noexcept { c_ = coefficients; }
    const Coefficients& GetCoefficients() const noexcept { return c_; }

    // Silence in the filter's memory.
    void Reset() noexcept {
        for (auto& state : state_) state = {};
    }

    float Process(int channel, float x) noexcept {
        State& s = state_[channel];
        const float y = c_.b0 * x + s.s1;
        s.s1 = c_.b1 * x - c_.a1 * y + s.s2;
        s.s2 = c_.b2 * x - c_.a2 * y;
        return y;
    }

    // In place over `frames` interleaved frames of `channels` (those beyond
    // kMaxChannels pass unchanged).
    void Process(float* interleaved, int frames, int channels) noexcept {
        const int filtered = channels < kMaxChannels ? channels : kMaxChannels;
        for (int i = 0; i < frames; ++i) {
            float* frame = interleaved + static_cast<long>(i) * channels;
            for (int c = 0; c < filtered; ++c) frame[c] = Process(c, frame[c]);
        }
    }

private:
    struct State {
        float s1 = 0.0f;
        float s2 = 0.0f;
    };
    Coefficients c_;
    State state_[kMaxChannels];
};

}  // namespace platform::sound::fx
