#include "output/CZelCrossFader.h"

#include <cmath>

#include "output/CZelOutput.h"
#include "output/CZelOutputDevice.h"

namespace output {

namespace {

constexpr int kLastStep = CZelCrossFader::kSteps - 1;

}  // namespace

CZelCrossFader::CZelCrossFader(CZelOutput& output) : output_(output) {
    SetCurve(kInitialCurve);
}

void CZelCrossFader::SetCurve(double p) {
    Curve& b = curves_[kDeckB];
    if (p < 0.0) {
        // Exponent 1 / (1 - 2p): from 1 at p = 0 down to 1/3 at p = -1.
        const double exponent = 1.0 / ((1.0 / 2.0 - p) * 2.0);
        for (int i = 0; i < kSteps; ++i) b[i] = std::pow(i / 99.0, exponent);
    } else if (p == 0.0) {
        for (int i = 0; i < kSteps; ++i) b[i] = i / 99.0;
    } else {
        // The rise spans w steps: 99 at p = 0, 49.5 at p = 1; full gain after it.
        const double w = (1.0 - p / 2.0) * 99.0;
        const int n = static_cast<int>(std::trunc(w));
        for (int i = 0; i < kSteps; ++i) b[i] = i < n ? (1.0 / w) * i : 1.0;
    }
    for (int i = 0; i < kSteps; ++i) curves_[kDeckA][i] = b[kLastStep - i];
}

int CZelCrossFader::StepOf(double x) {
    const int step = static_cast<int>(std::trunc(((x + 1.0) / 2.0) * 98.0)) % kSteps;
    // A position left of -1 would give a negative remainder; wrap it like one right of +1.
    return step < 0 ? step + kSteps : step;
}

const CZelCrossFader::Curve& CZelCrossFader::GraphX() {
    static const Curve x = [] {
        Curve values{};
        for (int i = 0; i < kSteps; ++i) values[i] = 2.0f * static_cast<float>(i) / 99.0f - 1.0f;
        return values;
    }();
    return x;
}

void CZelCrossFader::Apply(double x, double levelA, double levelB) {
    const int step = StepOf(x);
    const double levels[kDeckCount] = {levelA, levelB};
    CZelOutputDevice* device = output_.Device();
    for (int deck = 0; deck < kDeckCount; ++deck) {
        deckGains_[deck] = curves_[deck][step];
        // A deck without buffers on the device ignores its gain.
        if (device) device->SetDeckGain(deck, levels[deck] * deckGains_[deck]);
    }
}

}  // namespace output
