#pragma once

#include <array>
#include <atomic>

#include "engine/SampleBlock.h"
#include "output/CZelOutputDevice.h"
#include "platform/WorkerThread.h"

namespace app {
struct EngineEvents;
}
namespace platform {
class MessagePort;
}
namespace output {
class CZelOutput;
}

namespace engine {

class Engine;
class MixLink;

// The decks' engine loop on the user-interface thread: priming a deck's
// buffers, feeding them block by block from the ring as the main output's
// notifications arrive, forwards and reversed into the backward buffers,
// starting and stopping forward and backward play, recovering from
// underruns, and noticing the end of the track and track changes.
class Playback {
public:
    static constexpr int kDefaultBufferLead = 20;
    static constexpr int kBackgroundBufferLead = 60;
    static constexpr int kPrimingWrites = 20;
    static constexpr int kBackwardLimit = 107;  // written blocks past which backward play stops

    Playback(Engine& engine, app::EngineEvents& events, platform::MessagePort& mainWindow);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    void SetOutputs(output::CZelOutput* headphones, output::CZelOutput* main);
    void SetMixLink(MixLink* link) { mix_ = link; }
    void SetFadeStepWait(output::FadeStepWait wait) { fadeWait_ = std::move(wait); }

    // Blocks a deck should have written ahead: 20, or 60 while the program
    // is in the background or busy.
    void SetBufferLead(int blocks) { bufferLead_ = blocks; }
    int BufferLead() const { return bufferLead_; }

    void PrimeDeck(int deck);
    bool WriteNextBlock(int deck);
    void StartForward(int deck);
    void ResumeForward(int deck);
    void StartBackward(int deck);
    void StopForward(int deck);
    void StopBackward(int deck);
    void OnForwardNotify(int deck);
    void OnBackwardNotify(int deck);

    bool PlayingForward(int deck) const { return decks_[deck].forwardRunning.load() == 1; }
    bool PlayingBackward(int deck) const { return decks_[deck].backwardRunning.load() == 1; }
    int Underruns(int deck) const { return decks_[deck].underruns; }

    // Stops every deck's play threads.
    void Shutdown();

private:
    struct Deck {
        std::atomic<int> forwardRunning{0};
        std::atomic<int> backwardRunning{0};
        platform::WorkerThread forwardThread;
        platform::WorkerThread backwardThread;
        int underruns = 0;
        bool inForwardNotify = false;
        bool inBackwardNotify = false;
        // A stop fades for a while and dispatches messages meanwhile; a second
        // stop asked for during it has nothing more to do.
        bool stoppingForward = false;
        bool stoppingBackward = false;
    };

    output::CZelOutputDevice* Device(output::CZelOutput* out) const;
    // The deck's buffers of one kind on both outputs, headphones first.
    std::vector<platform::sound::SoundBuffer*> ForwardBuffers(int deck) const;
    std::vector<platform::sound::SoundBuffer*> BackwardBuffers(int deck) const;
    void StartNotifyThread(int deck, bool forward);
    void WaitUntilReady(int deck);
    void RefreshTimeEveryThird(int deck);

    Engine& engine_;
    app::EngineEvents& events_;
    platform::MessagePort& mainWindow_;
    output::CZelOutput* headphones_ = nullptr;
    output::CZelOutput* main_ = nullptr;
    MixLink* mix_ = nullptr;
    output::FadeStepWait fadeWait_ = output::DefaultFadeStepWait;
    int bufferLead_ = kDefaultBufferLead;
    std::array<Deck, kDeckCount> decks_;
    SampleBlock reversed_{};
};

}  // namespace engine
