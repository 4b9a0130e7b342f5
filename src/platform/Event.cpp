#include "platform/Event.h"

#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

long FutexWait(std::atomic<uint32_t>* word, uint32_t expected, const timespec* relativeTimeout) {
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected, relativeTimeout,
                   nullptr, 0);
}

void FutexWakeAll(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace

Event::Event(enum Reset reset, bool initiallySignalled, std::string name)
    : state_(initiallySignalled ? 1u : 0u), manual_(reset == Reset::Manual), name_(std::move(name)) {}

void Event::Set() noexcept {
    state_.store(1, std::memory_order_release);
    // Waiters re-check the state after waking; waking all of them keeps an
    // automatic-reset event correct too, since only one can consume the signal.
    if (waiters_.load(std::memory_order_seq_cst) != 0) FutexWakeAll(&state_);
}

void Event::Reset() noexcept { state_.store(0, std::memory_order_release); }

bool Event::TryConsume() noexcept {
    if (manual_) return state_.load(std::memory_order_acquire) != 0;
    uint32_t expected = 1;
    return state_.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
}

void Event::Wait() noexcept {
    while (!TryConsume()) {
        waiters_.fetch_add(1, std::memory_order_seq_cst);
        if (state_.load(std::memory_order_seq_cst) == 0) FutexWait(&state_, 0, nullptr);
        waiters_.fetch_sub(1, std::memory_order_seq_cst);
    }
}

bool Event::WaitFor(std::chrono::microseconds timeout) noexcept {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    while (!TryConsume()) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return false;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec rel{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        waiters_.fetch_add(1, std::memory_order_seq_cst);
        if (state_.load(std::memory_order_seq_cst) == 0) FutexWait(&state_, 0, &rel);
        waiters_.fetch_sub(1, std::memory_order_seq_cst);
    }
    return true;
}

}  // namespace platform
