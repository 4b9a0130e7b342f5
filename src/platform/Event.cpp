#include "platform/Event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <climits>
#include <ctime>

namespace platform {
namespace {

long FutexWait(std::atomic<uint32_t>* word, uint32_t expected, const timespec* relativeTimeout) {
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected,
                   relativeTimeout, nullptr, 0);
}

// Uses the address only, never what is there: the event may be gone already.
void FutexWakeAll(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace

Event::Event(enum Reset reset, bool initiallySignalled, std::string name)
    : word_(initiallySignalled ? kSignalled : 0u), manual_(reset == Reset::Manual), name_(std::move(name)) {}

void Event::Set() noexcept {
    const uint32_t before = word_.fetch_or(kSignalled, std::memory_order_acq_rel);
    // Sleepers, if any, went to sleep while the event was clear. Waking all of
    // them keeps an automatic-reset event right too: one consumes the signal
    // and the others sleep again. The wake-up passes the address only.
    if ((before & kSignalled) == 0 && before >= kOneWaiter) FutexWakeAll(&word_);
}

void Event::Reset() noexcept {
    word_.fetch_and(~kSignalled, std::memory_order_release);
}

bool Event::TryConsume() noexcept {
    uint32_t word = word_.load(std::memory_order_acquire);
    if (manual_) return (word & kSignalled) != 0;
    while ((word & kSignalled) != 0)
        if (word_.compare_exchange_weak(word, word & ~kSignalled, std::memory_order_acq_rel,
                                        std::memory_order_acquire))
            return true;
    return false;
}

void Event::Sleep(const timespec* relativeTimeout) noexcept {
    const uint32_t word = word_.fetch_add(kOneWaiter, std::memory_order_acq_rel) + kOneWaiter;
    // The kernel sleeps only while the word is unchanged: a Set() (or any
    // other waiter coming or going) since the line above returns at once.
    if ((word & kSignalled) == 0) FutexWait(&word_, word, relativeTimeout);
    word_.fetch_sub(kOneWaiter, std::memory_order_acq_rel);
}

void Event::Wait() noexcept {
    while (!TryConsume()) Sleep(nullptr);
}

bool Event::WaitFor(std::chrono::microseconds timeout) noexcept {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    while (!TryConsume()) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return false;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec relative{static_cast<time_t>(ns / 1'000'000'000),
                                static_cast<long>(ns % 1'000'000'000)};
        Sleep(&relative);
    }
    return true;
}

}  // namespace platform
