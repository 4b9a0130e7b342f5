#include "dsp/DeckShaping.h"

namespace dsp {

DeckShaping::DeckShaping() {
    for (auto& equalizer : equalizers_) {
        equalizer = std::make_unique<CZelFilterBank>();
        equalizer->Design(3);
    }
}

DeckShaping::~DeckShaping() = default;

}  // namespace dsp
