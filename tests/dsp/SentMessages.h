#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <utility>
#include <variant>
#include <vector>

#include "dsp/MessageSink.h"

namespace testing_support {

// One message as the main window received it: the deck it names and, for a
// band or a parameter, its index (-1 where the message carries none).
struct Sent {
    platform::Message message;
    int deck = 0;
    int index = -1;

    bool operator==(const Sent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Sent& sent) {
    return out << "{0x" << std::hex << static_cast<uint32_t>(sent.message) << std::dec << ", deck "
               << sent.deck << ", index " << sent.index << "}";
}

inline Sent SentOf(platform::Message message, const platform::Payload& payload) {
    Sent sent{message, platform::DeckOf(payload), -1};
    if (const auto* chain = std::get_if<platform::ChainArgs>(&payload)) sent.index = chain->index;
    if (const auto* key = std::get_if<platform::KeyArgs>(&payload)) sent.index = key->key;
    return sent;
}

// A message sink that keeps what it was sent; Take() hands it over and forgets it.
struct SentMessages {
    dsp::MessageSink Sink() {
        return [this](platform::Message message, const platform::Payload& payload) {
            sent.push_back(SentOf(message, payload));
        };
    }
    std::vector<Sent> Take() { return std::exchange(sent, {}); }

    std::vector<Sent> sent;
};

}  // namespace testing_support
