#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

// A kernel-style event: signalled or not, manual or automatic reset.
// Set() takes no lock and makes at most one system call (a futex wake), so the
// real-time audio thread may signal an event. Waiting is for ordinary threads.
class Event {
public:
    enum class Reset { Manual, Automatic };

    Event(Reset reset, bool initiallySignalled, std::string name = {});
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Any thread, including the audio thread.
    void Set() noexcept;
    void Reset() noexcept;

    // Waits until signalled. An automatic-reset event is reset by the wait that
    // returns true, so one Set() releases one waiter.
    void Wait() noexcept;
    // Returns false when the time ran out first.
    bool WaitFor(std::chrono::microseconds timeout) noexcept;

    // The state as it is now, without consuming an automatic-reset signal.
    bool IsSet() const noexcept { return state_.load(std::memory_order_acquire) != 0; }
    const std::string& Name() const { return name_; }
    bool IsManualReset() const { return manual_; }

private:
    bool TryConsume() noexcept;

    std::atomic<uint32_t> state_;
    std::atomic<uint32_t> waiters_{0};
    const bool manual_;
    const std::string name_;
};

}  // namespace platform
