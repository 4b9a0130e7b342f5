#pragma once

namespace engine {

// The turntable lamps round a deck's jog dial: one is lit, and it steps on
// for every block played forwards and back for every block played backwards.
constexpr int kLampCount = 27;

constexpr int NextLamp(int index) {
    return (index + 1) % kLampCount;
}
constexpr int PreviousLamp(int index) {
    return index == 0 ? kLampCount - 1 : index - 1;
}

}  // namespace engine
