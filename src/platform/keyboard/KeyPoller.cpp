#include "platform/keyboard/KeyPoller.h"

#include <chrono>

#include "platform/MessagePort.h"
#include "platform/keyboard/KeyboardEnabled.h"

namespace platform::keyboard {

KeyPoller::KeyPoller(const KeyState& keys, MessagePort& mainWindow) : keys_(keys), mainWindow_(mainWindow) {}

KeyPoller::~KeyPoller() {
    Stop();
}

void KeyPoller::Start() {
    if (run_.exchange(true)) return;
    exited_.Reset();
    thread_.Start(ThreadPriority::TimeCritical, [this] {
        while (run_.load()) {
            PollOnce();
            wake_.WaitFor(std::chrono::milliseconds(kPeriodMs));
        }
        exited_.Set();
    });
}

void KeyPoller::Stop() {
    if (!run_.exchange(false)) return;
    wake_.Set();
    WaitDispatching(exited_);
    thread_.Join();
}

void KeyPoller::PollOnce() {
    if (!KeyboardEnabled()) return;
    const size_t held = keys_.Poll(codes_);
    for (size_t i = 0; i < held; ++i) mainWindow_.Send(Message::KeyCode, KeyArgs{-1, codes_[i]});
}

}  // namespace platform::keyboard
