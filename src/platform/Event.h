#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

// A kernel-style event: signalled or not, manual or automatic reset.
// Set() takes no lock and makes at most one system call (a futex wake), so the
// real-time audio thread may signal an event. Waiting is for ordinary threads.
// Set() does not touch the event after the change that releases a waiter, so
// a waiter may destroy the event as soon as its wait returns.
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
    bool IsSet() const noexcept { return (word_.load(std::memory_order_acquire) & kSignalled) != 0; }
    const std::string& Name() const { return name_; }
    bool IsManualReset() const { return manual_; }

private:
    static constexpr uint32_t kSignalled = 1;
    static constexpr uint32_t kOneWaiter = 2;

    bool TryConsume() noexcept;
    // One wait in the kernel, at most until `relativeTimeout` (null: no limit).
    void Sleep(const timespec* relativeTimeout) noexcept;

    // Bit 0: signalled. The bits above: how many threads are about to sleep
    // or sleeping, so that Set() decides on its wake-up from the same word.
    std::atomic<uint32_t> word_;
    const bool manual_;
    const std::string name_;
};

}  // namespace platform
