#include "platform/keyboard/KeyboardEnabled.h"

#include <atomic>

namespace platform::keyboard {

namespace {

// Both start as at start-up: the program active, the play list not. Kept apart
// so the order in which the two activations arrive does not matter.
std::atomic<bool> applicationActive{true};
std::atomic<bool> playListActive{false};

}  // namespace

void SetApplicationActive(bool active) {
    applicationActive.store(active, std::memory_order_relaxed);
}

void SetPlayListActive(bool active) {
    playListActive.store(active, std::memory_order_relaxed);
}

bool KeyboardEnabled() {
    return applicationActive.load(std::memory_order_relaxed) &&
           !playListActive.load(std::memory_order_relaxed);
}

}  // namespace platform::keyboard
