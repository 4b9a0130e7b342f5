#pragma once

#include <array>
#include <atomic>
#include <optional>

#include "engine/SampleBlock.h"
#include "output/CZelOutputDevice.h"
#include "platform/WorkerThread.h"

namespace platform {
class Event;
class MessagePort;
}  // namespace platform
namespace output {
class CZelOutput;
class MixLink;
}  // namespace output

namespace engine {

struct EngineEvents;

class AnalysisLink;
class Engine;

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

    Playback(Engine& engine, EngineEvents& events, platform::MessagePort& mainWindow);
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    void SetOutputs(output::CZelOutput* headphones, output::CZelOutput* main);
    void SetMixLink(output::MixLink* link) { mix_ = link; }
    void SetAnalysisLink(AnalysisLink* link) { analysis_ = link; }
    void SetFadeStepWait(output::FadeStepWait wait) { fadeWait_ = std::move(wait); }

    // Blocks a deck should have written ahead: 20, or 60 while the program
    // is in the background or busy.
    void SetBufferLead(int blocks) { bufferLead_ = blocks; }
    int BufferLead() const { return bufferLead_; }

    void PrimeDeck(int deck);
    bool WriteNextBlock(int deck);
    // The starts wait for the deck to be ready. Each returns whether the deck
    // plays in that direction afterwards: not when nothing is loaded, or when
    // its source stopped before it was ready and so never will be.
    bool StartForward(int deck);
    // After backward play: on from where backward play really stopped.
    bool ResumeForward(int deck);
    // Backward from the very sample being heard, over what was heard since
    // the deck was primed (a load or a seek), and no further.
    bool StartBackward(int deck);
    void StopForward(int deck);
    void StopBackward(int deck);
    void OnForwardNotify(int deck);
    void OnBackwardNotify(int deck);

    bool PlayingForward(int deck) const { return Playing(deck, Direction::Forward); }
    bool PlayingBackward(int deck) const { return Playing(deck, Direction::Backward); }
    // Backward play came to the start of what the deck played since it was
    // primed and stopped there; the deck is silent until it plays forwards.
    bool BackwardAtHistoryStart(int deck) const { return decks_[deck].atHistoryStart; }
    // Whether the deck's buffers on its clock output are playing now.
    bool Sounding(int deck) const;
    // An operation is under way (it may be fading, or waiting for a thread):
    // nothing may shut the engine down from inside it.
    bool Busy() const { return busy_ > 0; }
    int Underruns(int deck) const { return decks_[deck].underruns; }

    // Stops every deck's play threads.
    void Shutdown();

private:
    // Forward and backward play run the same way on their own buffers,
    // events and notify thread.
    enum class Direction { Forward = 0, Backward = 1 };
    template <typename T>
    using PerDirection = std::array<T, 2>;

    struct Deck {
        PerDirection<std::atomic<int>> running{};
        PerDirection<platform::WorkerThread> thread;
        int underruns = 0;
        // The direction's notification is being handled.
        PerDirection<bool> inNotify{};
        // A stop fades for a while and dispatches messages meanwhile; a second
        // stop asked for during it has nothing more to do.
        PerDirection<bool> stopping{};
        // Backward play has run since forward play stopped: forward play
        // resumes from where it ended, not from where forward play stopped.
        bool resumeFromBackward = false;
        bool atHistoryStart = false;
        int historyStartBlock = 0;  // the first block heard, once backward play reached it
    };

    static int Index(Direction direction) { return static_cast<int>(direction); }
    static Direction Opposite(Direction direction) {
        return direction == Direction::Forward ? Direction::Backward : Direction::Forward;
    }
    bool Playing(int deck, Direction direction) const {
        return decks_[deck].running[Index(direction)].load() == 1;
    }
    // A device that can play: open, with its sound device.
    output::CZelOutputDevice* Device(output::CZelOutput* out) const;
    // The output whose notifications pace the deck: the main output, or the
    // headphones when the main output has no device.
    output::CZelOutputDevice* ClockDevice(int deck) const;
    // The deck's buffer of one direction on the clock output, or null.
    platform::sound::SoundBuffer* ClockBuffer(int deck, Direction direction) const;
    // The deck's buffers of one direction on both outputs, headphones first.
    std::vector<output::BufferRef> Buffers(int deck, Direction direction) const;
    // The deck's kind is loaded and it has been primed.
    bool Ready(int deck);
    // Starts the buffers with a fade-in while play in that direction runs,
    // again should a priming meanwhile have put new buffers in their place.
    void StartBuffers(int deck, Direction direction);
    void StartNotifyThread(int deck, Direction direction);
    // The notify thread and the buffers; whether the deck plays that way now.
    bool Begin(int deck, Direction direction);
    void Stop(int deck, Direction direction);
    struct DirectionEvents {
        platform::Event& notify;      // the clock buffer passed a block's end
        platform::Event& threadDone;  // the notify thread has ended
        platform::Event& discRead;    // the reader may read more
    };
    DirectionEvents Events(int deck, Direction direction) const;
    // Where the clock buffer plays, when a notification finds it playing in a
    // block it had not reached before.
    struct PlayPoint {
        uint32_t bytes;  // in the direction's own buffer
        int block;       // the forward block whose sound plays there
    };
    std::optional<PlayPoint> NotifiedPoint(int deck, Direction direction);
    void OnForwardBlock(int deck, PlayPoint point);
    void OnBackwardBlock(int deck, int cur);
    bool WaitUntilReady(int deck);
    void RefreshTimeEveryThird(int deck);

    Engine& engine_;
    EngineEvents& events_;
    platform::MessagePort& mainWindow_;
    output::CZelOutput* headphones_ = nullptr;
    output::CZelOutput* main_ = nullptr;
    output::MixLink* mix_ = nullptr;
    AnalysisLink* analysis_ = nullptr;
    output::FadeStepWait fadeWait_ = output::DefaultFadeStepWait;
    int bufferLead_ = kDefaultBufferLead;
    int busy_ = 0;  // operations under way, nested ones counted too
    std::array<Deck, kDeckCount> decks_;
    SampleBlock reversed_{};
};

}  // namespace engine
