#pragma once

namespace platform::sound::fx {

// A value that glides to a new target in a given number of steps, so that a
// parameter moved while the sound plays changes gradually instead of in one
// step. The caller decides what a step is (a sample, a block of samples).
class LinearRamp {
public:
    // Straight to the value, without a glide.
    void Jump(float value) noexcept {
        current_ = target_ = value;
        remaining_ = 0;
    }
    // From where it is now to `target` in `steps` steps (at least one).
    void GlideTo(float target, int steps) noexcept {
        if (target == target_) return;
        target_ = target;
        remaining_ = steps > 1 ? steps : 1;
        step_ = (target_ - current_) / static_cast<float>(remaining_);
    }
    bool Moving() const noexcept { return remaining_ > 0; }
    float Current() const noexcept { return current_; }
    float Target() const noexcept { return target_; }

    // One step on; lands exactly on the target with the last.
    float Advance() noexcept {
        if (remaining_ > 0) current_ = --remaining_ == 0 ? target_ : current_ + step_;
        return current_;
    }

private:
    float current_ = 0.0f;
    float target_ = 0.0f;
    float step_ = 0.0f;
    int remaining_ = 0;
};

}  // namespace platform::sound::fx
