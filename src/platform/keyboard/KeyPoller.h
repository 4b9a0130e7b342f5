#pragma once

#include <array>
#include <atomic>

#include "platform/Event.h"
#include "platform/WorkerThread.h"
#include "platform/keyboard/KeyState.h"

namespace platform {
class MessagePort;
}

namespace platform::keyboard {

// The key poll: about every 15 ms, while the keyboard shortcuts are enabled,
// each polled key held down goes to the main window as one key-code message,
// so a held key moves its control step after step. Runs on a thread of its
// own at time-critical priority; the main window handles the messages.
class KeyPoller {
public:
    static constexpr int kPeriodMs = 15;

    KeyPoller(const KeyState& keys, MessagePort& mainWindow);
    ~KeyPoller();
    KeyPoller(const KeyPoller&) = delete;
    KeyPoller& operator=(const KeyPoller&) = delete;

    // UI thread. Stop keeps the window's messages served while the thread,
    // which may be waiting for one of them, ends.
    void Start();
    void Stop();
    // One poll, as the thread makes it.
    void PollOnce();

private:
    const KeyState& keys_;
    MessagePort& mainWindow_;
    std::atomic<bool> run_{false};
    Event wake_{Event::Reset::Automatic, false};
    Event exited_{Event::Reset::Manual, true};
    WorkerThread thread_;
    std::array<int, KeyState::kPolledKeys> codes_{};
};

}  // namespace platform::keyboard
