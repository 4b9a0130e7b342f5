#include "engine/Tempo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace engine {

uint32_t TempoFrequency(double percent, int sampleRate) {
    const double rate = sampleRate;
    return static_cast<uint32_t>(std::trunc(rate + percent * rate / 100.0));
}

std::string TempoPercentText(double percent) {
    const double nudged = percent >= 0.0 ? percent + 0.01 : percent - 0.01;
    const auto tenths = static_cast<long long>(std::trunc(nudged / 0.1));
    const double shown = std::clamp(static_cast<double>(tenths) * 0.1, -50.0, 50.0);
    char text[32];
    std::snprintf(text, sizeof text, "%lg", shown);
    std::string result = text;
    if (tenths % 10 == 0) result += ".0";
    return result + "%";
}

}  // namespace engine
