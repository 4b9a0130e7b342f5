#pragma once

#include <array>
#include <atomic>

namespace platform::sound::fx {

// Hands the newest parameters from the user-interface thread to the audio
// thread without a lock: three copies, one being written, one being read and
// one in between, swapped by an atomic exchange. The reader sees whole sets
// only, and the writer never waits.
template <typename Parameters>
class ParameterMailbox {
public:
    explicit ParameterMailbox(const Parameters& initial) { slots_.fill(initial); }

    // User-interface thread.
    void Publish(const Parameters& parameters) noexcept {
        slots_[back_] = parameters;
        back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kIndex;
    }

    // Audio thread: the newest set if one was published since the last call,
    // else null.
    const Parameters* Take() noexcept {
        if ((middle_.load(std::memory_order_relaxed) & kFresh) == 0) return nullptr;
        front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
        return &slots_[front_];
    }

private:
    static constexpr int kIndex = 3;
    static constexpr int kFresh = 4;

    std::array<Parameters, 3> slots_;
    int back_ = 0;  // user-interface thread
    std::atomic<int> middle_{1};
    int front_ = 2;  // audio thread
};

}  // namespace platform::sound::fx
