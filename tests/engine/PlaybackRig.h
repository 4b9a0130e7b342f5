#pragma once

#include "engine/EngineHarness.h"
#include "engine/Playback.h"
#include "output/CZelOutput.h"

namespace testing_support {

// The engine and its playback on a main output and headphones, with a main
// window that handles their messages as the real one does.
class PlaybackRig : public SteppedSound, public EngineHarness {
public:
    PlaybackRig() : SteppedSound({{"Main", 2}, {"Phones", 2}}) {
        main.Open(platform::sound::OfflineBackend::IdOf("Main"), "Main (Can't Split)");
        phones.Open(platform::sound::OfflineBackend::IdOf("Phones"), "Phones (Can't Split)");
        playback.SetOutputs(&phones, &main);
        Serve(events, engine, playback);
        // Like the deck: stop once at the end of the track.
        decks[0].onEndOfTrack = [this] {
            if (playEnded++ == 0) port.Post(platform::Message::StopForward, platform::DeckArgs{0});
        };
    }
    ~PlaybackRig() override {
        playback.Shutdown();
        engine.Shutdown();
    }
    void Handle(platform::Message m, int deck) override {
        EngineHarness::Handle(m, deck);
        if (m == platform::Message::DeckPrimed) playback.PrimeDeck(deck);
        if (m == platform::Message::BackwardNotify) playback.OnBackwardNotify(deck);
        if (m == platform::Message::StopForward) playback.StopForward(deck);
        if (m == platform::Message::ForwardNotify) {
            playback.OnForwardNotify(deck);
            aheadAfterNotify.push_back(engine.Ledger(deck).CountWritten());
        }
    }

    engine::Playback playback{engine, events, port};
    output::CZelOutput main{Sound()}, phones{Sound()};
    std::vector<int> aheadAfterNotify;  // blocks written ahead after each notification
    int playEnded = 0;
};

}  // namespace testing_support
