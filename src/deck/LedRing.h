#pragma once

#include <QRect>

#include <array>

#include "engine/LampRing.h"

namespace deck {

constexpr int kLedCount = engine::kLampCount;

// The turntable lamps around the jog dial: LED k at angle k x 2 pi / 27 on a
// circle about the dial's centre, clockwise from the right, with a radius of
// h + h / 10 where h is half the dial's smaller side; each lamp a square of
// `ledSide` centred on its point.
std::array<QRect, kLedCount> LedRingPlaces(const QRect& jogDial, int ledSide);

// One step on or back round the ring.
constexpr int NextLed(int index) {
    return engine::NextLamp(index);
}
constexpr int PreviousLed(int index) {
    return engine::PreviousLamp(index);
}

}  // namespace deck
