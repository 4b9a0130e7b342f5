#pragma once

#include <array>

#include "platform/Event.h"

namespace engine {

// The events through which a deck's threads and the main window hand work to
// each other. Declared in their creation order; every event of Deck A is a
// different object from the same event of Deck B.
struct DeckEvents {
    explicit DeckEvents(int deck);

    platform::Event cdOpenDone;
    platform::Event deckReadyToPlay;
    platform::Event discReadBackward;
    platform::Event discReadForward;
    platform::Event fileOpenDone;
    platform::Event playBackwardNotify;
    platform::Event playForwardNotify;
    // The thread-done events start signalled, so stopping a thread that never
    // ran returns at once.
    platform::Event threadCdReadForwardDone;
    platform::Event threadFileReadForwardDone;
    platform::Event threadPlayBackwardDone;
    platform::Event threadPlayForwardDone;
};

struct EngineEvents {
    EngineEvents();

    platform::Event trackLengthLoad;
    std::array<DeckEvents, 2> deck;
};

}  // namespace engine
