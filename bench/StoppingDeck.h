#pragma once

#include "engine/DeckLink.h"
#include "platform/MessagePort.h"

// A deck as the benchmarks need it: at the end of its track it stops itself,
// once, as the deck window does.
struct StoppingDeck final : engine::DeckLink {
    bool IsPlaying() const override { return false; }
    void Pause() override {}
    void ShowNothingLoaded() override {}
    void TakeLoadedFile(const std::string&, const std::string&, double) override {}
    void ResetLeds() override {}
    void OnEndOfTrack() override {
        if (!ended) port->Post(platform::Message::StopForward, platform::DeckArgs{index});
        ended = true;
    }
    platform::MessagePort* port = nullptr;
    int index = 0;
    bool ended = false;
};
