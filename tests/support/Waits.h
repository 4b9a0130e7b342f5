#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>

// Waits on states and events instead of on the clock. A give-up only turns a
// hang into a failure: it is long enough that no working code, however busy
// the machine, comes near it.
namespace testing_support {

inline constexpr std::chrono::seconds kGiveUp{60};

// Dispatches the calling thread's Qt events and port messages until the
// condition holds. False only when the give-up passed first.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds giveUp = kGiveUp);

// Runs `work` on the calling thread. A call that hangs cannot be stopped, so
// past the give-up a watchdog ends the program with a message and the test fails.
void ExpectReturns(const std::function<void()>& work, std::chrono::milliseconds giveUp = kGiveUp);

// The calling thread's kernel id, for WaitUntilSleepingInFutex.
pid_t ThisThreadId();

// Waits until the thread sleeps in a futex wait (an Event, a mutex or a
// condition variable): it has reached the wait a test wants to see released.
// False only when the give-up passed first.
bool WaitUntilSleepingInFutex(pid_t thread, std::chrono::milliseconds giveUp = kGiveUp);

}  // namespace testing_support
