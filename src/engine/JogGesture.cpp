#include "engine/JogGesture.h"

#include <cmath>

namespace engine {

void JogGesture::Press(double now) {
    held_ = true;
    wheelGesture_ = false;
    Begin(now);
}

void JogGesture::Begin(double now) {
    lastTime_ = now;
    accumulated_ = 0.0;
}

JogGesture::Move JogGesture::Turn(double angle, double now, bool playing) {
    double step = angle - angle_;
    if (std::abs(step) > kTurnSeconds / 2.0) {
        // The dial crossed its end: a small step, not a whole turn.
        step = step > 0.0 ? angle - (kTurnSeconds + angle_) : (angle + kTurnSeconds) - angle_;
    }
    angle_ = angle;
    if (!held_) {
        // The wheel turns the dial without a press: a pause in its turning
        // ends the gesture as a release would, so no reverse is left held.
        if (!wheelGesture_) {
            wheelGesture_ = true;
            Begin(now);
        }
        lastWheelAt_ = now;
    }
    accumulated_ += now - lastTime_;
    lastTime_ = now;
    if (!playing || accumulated_ <= kDecisionSeconds) return {step, false};
    accumulated_ = 0.0;
    return {step, true};
}

bool JogGesture::EndIfIdle(double now) {
    if (!wheelGesture_ || held_ || now - lastWheelAt_ < kIdleSeconds) return false;
    wheelGesture_ = false;
    return true;
}

}  // namespace engine
