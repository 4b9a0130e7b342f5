#include "engine/EngineEvents.h"

#include <string>

namespace engine {
namespace {

using platform::Event;

std::string DeckName(const char* event, int deck) {
    return std::string(event) + (deck == 0 ? " (Deck A)" : " (Deck B)");
}

}  // namespace

DeckEvents::DeckEvents(int deck)
    : cdOpenDone(Event::Reset::Manual, false, DeckName("CD Open Is Done Event", deck)),
      deckReadyToPlay(Event::Reset::Manual, false, DeckName("Deck Ready To Play Event", deck)),
      discReadBackward(Event::Reset::Manual, false, DeckName("Disc Read Backward Event", deck)),
      discReadForward(Event::Reset::Manual, false, DeckName("Disc Read Forward Event", deck)),
      fileOpenDone(Event::Reset::Manual, false, DeckName("File Open Is Done Event", deck)),
      playBackwardNotify(Event::Reset::Manual, false, DeckName("Play Backward Notify Event", deck)),
      playForwardNotify(Event::Reset::Manual, false, DeckName("Play Forward Notify Event", deck)),
      threadCdReadForwardDone(Event::Reset::Manual, true,
                              DeckName("Thread CD Read Forward Is Done Event", deck)),
      threadFileReadForwardDone(Event::Reset::Manual, true,
                                DeckName("Thread File Read Forward Is Done Event", deck)),
      threadPlayBackwardDone(Event::Reset::Manual, true,
                             DeckName("Thread Play Backward Is Done Event", deck)),
      threadPlayForwardDone(Event::Reset::Manual, true, DeckName("Thread Play Forward Is Done Event", deck)) {
}

EngineEvents::EngineEvents()
    : trackLengthLoad(Event::Reset::Automatic, false, "Track Length Load Event"),
      deck{{DeckEvents(0), DeckEvents(1)}} {}

}  // namespace engine
