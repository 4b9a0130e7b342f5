#pragma once

namespace engine {

// One gesture on a deck's jog dial, by a held mouse or by the wheel, timed by
// the caller's clock. It turns the dial's angles into steps (in seconds of
// cue movement) and tells when the turning has gone on long enough to decide
// a playing deck's direction. A wheel gesture has no release: a pause in its
// turning ends it. UI thread only.
class JogGesture {
public:
    // Turning longer than this while playing decides the play direction.
    static constexpr double kDecisionSeconds = 0.3;
    // A wheel that stops turning the dial for this long has let it go.
    static constexpr double kIdleSeconds = 0.4;
    // One turn of the dial, in seconds of cue movement.
    static constexpr double kTurnSeconds = 2.0;

    struct Move {
        double step = 0.0;     // seconds, negative backwards
        bool decides = false;  // the turning decides the play direction now
    };

    // The dial pressed: a gesture starts.
    void Press(double now);
    void Release() { held_ = false; }
    // The dial now stands at `angle` (0 to kTurnSeconds, wrapping). A deck
    // that is not playing never has its direction decided.
    Move Turn(double angle, double now, bool playing);
    // Ends a wheel gesture whose wheel has rested for kIdleSeconds; true when
    // it did, which the caller takes as a release.
    bool EndIfIdle(double now);

    bool Held() const { return held_; }
    bool WheelGesture() const { return wheelGesture_; }

private:
    void Begin(double now);

    double angle_ = 0.0;
    double lastTime_ = 0.0;
    double accumulated_ = 0.0;  // turning time since the last decision
    bool held_ = false;
    bool wheelGesture_ = false;
    double lastWheelAt_ = 0.0;
};

}  // namespace engine
