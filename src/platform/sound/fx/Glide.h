#pragma once

#include <cmath>

namespace platform::sound::fx {

// A value that follows its target smoothly: each sample it moves a fixed
// fraction of the remaining distance (a one-pole low-pass), so that a slide
// that jumps is heard as a short glide instead of a step.
class Glide {
public:
    // Off the audio thread: the time constant, in seconds at the rate.
    void SetTime(double seconds, int sampleRate) noexcept {
        coefficient_ = static_cast<float>(1.0 - std::exp(-1.0 / (seconds * sampleRate)));
    }
    void SetTarget(float target) noexcept { target_ = target; }
    // Jumps to the target at once (before any sound is made).
    void Snap() noexcept { value_ = target_; }

    float Next() noexcept {
        value_ += coefficient_ * (target_ - value_);
        return value_;
    }

private:
    float value_ = 0.0f;
    float target_ = 0.0f;
    float coefficient_ = 1.0f;
};

}  // namespace platform::sound::fx
