#include "deck/LedRing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace deck {

std::array<QRect, kLedCount> LedRingPlaces(const QRect& jogDial, int ledSide) {
    const int h = std::min(jogDial.width(), jogDial.height()) / 2;
    const int radius = h + h / 10;
    const QPointF centre = QRectF(jogDial).center();
    std::array<QRect, kLedCount> places;
    for (int k = 0; k < kLedCount; ++k) {
        const double angle = k * 2.0 * std::numbers::pi / kLedCount;
        const QPointF point = centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
        places[k] = QRect(static_cast<int>(std::lround(point.x() - ledSide / 2.0)),
                          static_cast<int>(std::lround(point.y() - ledSide / 2.0)), ledSide, ledSide);
    }
    return places;
}

}  // namespace deck
