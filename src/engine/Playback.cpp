#include "engine/Playback.h"

#include "engine/EngineEvents.h"
#include "engine/DeckLink.h"
#include "output/MixLink.h"
#include "engine/Engine.h"
#include "output/CZelOutput.h"
#include "platform/MessagePort.h"
#include "platform/sound/SoundBuffer.h"

namespace engine {

using output::BufferRef;
using platform::Message;
using platform::ThreadPriority;
using platform::sound::SoundBuffer;

namespace {

constexpr int kMaxCatchUpBlocks = 3;  // blocks the play point may have gone on since the last notification

int BlockOf(uint32_t bytes) { return static_cast<int>(bytes / kBlockBytes); }
int Previous(int block) { return (block + kOutputBlocks - 1) % kOutputBlocks; }
int Next(int block) { return (block + 1) % kOutputBlocks; }
int Distance(int from, int to) { return (to - from + kOutputBlocks) % kOutputBlocks; }

// Holds a flag set for as long as a handler runs; nested handlers keep it set.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = was_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool was_;
};

// Counts an operation as under way for as long as it runs.
class BusyScope {
public:
    explicit BusyScope(int& depth) : depth_(depth) { ++depth_; }
    ~BusyScope() { --depth_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    int& depth_;
};

uint32_t PlayCursor(const SoundBuffer* buffer) {
    uint32_t play = 0;
    if (buffer) buffer->GetCurrentPosition(&play, nullptr);
    return play - play % kBytesPerFrame;
}

// Forward block f is written reversed into backward block (120 - f) mod 120,
// its frames in reverse order: a byte position in one buffer and the position
// of the same frame in the other mirror each other.
uint32_t MirrorPosition(uint32_t bytes) {
    const int block = BlockOf(bytes);
    const uint32_t within = bytes % kBlockBytes;
    const int mirrored = (kOutputBlocks - block) % kOutputBlocks;
    return static_cast<uint32_t>(mirrored * kBlockBytes) + (kBlockBytes - kBytesPerFrame - within);
}

}  // namespace

Playback::Playback(Engine& engine, EngineEvents& events, platform::MessagePort& mainWindow)
    : engine_(engine), events_(events), mainWindow_(mainWindow) {}

Playback::~Playback() { Shutdown(); }

void Playback::SetOutputs(output::CZelOutput* headphones, output::CZelOutput* main) {
    headphones_ = headphones;
    main_ = main;
}

output::CZelOutputDevice* Playback::Device(output::CZelOutput* out) const {
    return out && out->IsOpen() && out->Device()->HasDirectSound() ? out->Device() : nullptr;
}

output::CZelOutputDevice* Playback::ClockDevice(int deck) const {
    if (auto* device = Device(main_); device && device->ForwardBuffer(deck)) return device;
    if (auto* device = Device(headphones_); device && device->ForwardBuffer(deck)) return device;
    return nullptr;
}

std::vector<BufferRef> Playback::ForwardBuffers(int deck) const {
    std::vector<BufferRef> buffers;
    for (output::CZelOutput* out : {headphones_, main_})
        if (auto* device = Device(out); device && device->ForwardBuffer(deck))
            buffers.push_back(device->ForwardBufferRef(deck));
    return buffers;
}

std::vector<BufferRef> Playback::BackwardBuffers(int deck) const {
    std::vector<BufferRef> buffers;
    for (output::CZelOutput* out : {headphones_, main_})
        if (auto* device = Device(out); device && device->BackwardBuffer(deck))
            buffers.push_back(device->BackwardBufferRef(deck));
    return buffers;
}

bool Playback::Sounding(int deck) const {
    const output::CZelOutputDevice* clock = ClockDevice(deck);
    if (!clock) return false;
    const SoundBuffer* forward = clock->ForwardBuffer(deck);
    const SoundBuffer* backward = clock->BackwardBuffer(deck);
    return (forward && forward->IsPlaying()) || (backward && backward->IsPlaying());
}

void Playback::PrimeDeck(int deck) {
    const BusyScope busy(busy_);
    // A reader that is being stopped may still report its priming; the deck
    // is about to read from somewhere else.
    if (!engine_.ReaderRunning(deck)) return;
    Deck& d = decks_[deck];
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    engine::DeckEvents& ev = events_.deck[deck];
    ledger.ClearFlags();
    d.resumeFromBackward = false;
    d.atHistoryStart = false;

    // New buffers at the source's own rate. One output paces the deck: the
    // main output, or the headphones when the main output has no device, so
    // that a DJ preparing on headphones alone hears the deck.
    const auto rate = static_cast<uint32_t>(engine_.FileSource(deck).SampleRate());
    auto* mainDevice = Device(main_);
    if (auto* phones = Device(headphones_)) {
        if (mainDevice) phones->CreateDeckBuffers(deck, rate, nullptr, nullptr);
        else phones->CreateDeckBuffers(deck, rate, &ev.playForwardNotify, &ev.playBackwardNotify);
    }
    if (mainDevice) mainDevice->CreateDeckBuffers(deck, rate, &ev.playForwardNotify, &ev.playBackwardNotify);
    if (mix_) mix_->ApplyBothCrossFaders();

    engine_.Ring(deck).SetReadIndex(0);
    for (int i = 0; i < kPrimingWrites; ++i) WriteNextBlock(deck);
    ledger.lastBlock = 0;

    if (DeckLink* link = engine_.Link(deck)) {
        link->OnPrimed(rate);
        link->ResetLeds();
    }
    engine_.LowerReaderPriority(deck);
    ev.deckReadyToPlay.Set();
    // Forward play that runs on (a priming that came during a start) goes on
    // with the new buffers; the old ones are gone.
    if (PlayingForward(deck)) StartBuffers(deck, true);
}

bool Playback::WriteNextBlock(int deck) {
    output::CZelOutputDevice* clock = ClockDevice(deck);
    if (!clock) return false;
    output::CZelOutputDevice* mainDevice = Device(main_);
    output::CZelOutputDevice* phonesDevice = Device(headphones_);

    OutputBlockLedger& ledger = engine_.Ledger(deck);
    DiscBuffer& ring = engine_.Ring(deck);
    const int b = BlockOf(clock->ForwardWriteCursor(deck));
    const int index = ring.ReadIndex();
    auto writeBoth = [&](const SampleBlock& forward, const SampleBlock& backward) {
        for (output::CZelOutputDevice* device : {phonesDevice, mainDevice}) {
            if (!device || !device->ForwardBuffer(deck)) continue;
            device->WriteForward(deck, forward.Span());
            device->WriteBackward(deck, backward.Span());
        }
    };
    // What the block held before was heard long ago; it now holds what comes next.
    ledger.heard[b] = false;

    if (!ring.IsFilled(index)) {
        // The ring ran dry: silence, marked, so that play ends if it gets here.
        static const SampleBlock kSilence{};
        ledger.silence[b] = true;
        ledger.name[b] = nullptr;
        writeBoth(kSilence, kSilence);
        return false;
    }
    const SampleBlock& block = ring.Block(index);
    ledger.written[b] = true;
    ledger.silence[b] = false;
    ledger.tag[b] = ring.Tag(index);
    ledger.name[b] = ring.Name(index);
    ReverseBlock(block, reversed_);
    writeBoth(block, reversed_);
    ring.MarkFree(index);
    ring.AdvanceReadIndex();
    if (++ledger.blocksSinceWake > kReaderWakeBlocks - 1) {
        events_.deck[deck].discReadForward.Set();
        ledger.blocksSinceWake = 0;
    }
    return true;
}

bool Playback::WaitUntilReady(int deck) {
    platform::Event& ready = events_.deck[deck].deckReadyToPlay;
    // A reader that has ended without priming the deck never will: no wait
    // for what cannot come.
    return platform::WaitDispatchingUntil(ready, [&] { return !engine_.ReaderRunning(deck) && !ready.IsSet(); });
}

void Playback::StartNotifyThread(int deck, bool forward) {
    Deck& d = decks_[deck];
    engine::DeckEvents& ev = events_.deck[deck];
    std::atomic<int>& running = forward ? d.forwardRunning : d.backwardRunning;
    platform::Event& notify = forward ? ev.playForwardNotify : ev.playBackwardNotify;
    platform::Event& done = forward ? ev.threadPlayForwardDone : ev.threadPlayBackwardDone;
    const Message message = forward ? Message::ForwardNotify : Message::BackwardNotify;

    done.Reset();
    running.exchange(1);
    (forward ? d.forwardThread : d.backwardThread).Start(ThreadPriority::Highest, [&, deck, message] {
        // Prepared once: each block's message then costs no allocation.
        platform::MessagePort::SenderSlot sender;
        while (running.load() == 1) {
            notify.Wait();
            if (running.load() == 0) break;
            mainWindow_.Send(sender, message, platform::DeckArgs{deck});
        }
        done.Set();
    });
}

void Playback::StartBuffers(int deck, bool forward) {
    // A fade dispatches messages; should a priming replace the buffers
    // meanwhile, the new ones are started in their turn.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!(forward ? PlayingForward(deck) : PlayingBackward(deck))) return;
        output::SoftStartAll(forward ? ForwardBuffers(deck) : BackwardBuffers(deck), fadeWait_);
        const output::CZelOutputDevice* clock = ClockDevice(deck);
        const SoundBuffer* buffer = clock ? (forward ? clock->ForwardBuffer(deck) : clock->BackwardBuffer(deck)) : nullptr;
        if (!buffer || buffer->IsPlaying()) return;
    }
}

bool Playback::StartForward(int deck) {
    const BusyScope busy(busy_);
    if (engine_.Kind(deck) == SourceKind::None) return false;
    if (!WaitUntilReady(deck)) return false;
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    ledger.blocksSinceWake = 0;
    ledger.notificationsSinceDisplay = 0;
    if (PlayingForward(deck)) return true;
    if (!ClockDevice(deck)) return false;  // no output to play on
    decks_[deck].atHistoryStart = false;
    StartNotifyThread(deck, true);
    StartBuffers(deck, true);
    return PlayingForward(deck);
}

bool Playback::ResumeForward(int deck) {
    const BusyScope busy(busy_);
    if (engine_.Kind(deck) == SourceKind::None) return false;
    if (!WaitUntilReady(deck)) return false;
    if (PlayingForward(deck)) return true;
    Deck& d = decks_[deck];
    output::CZelOutputDevice* clock = ClockDevice(deck);
    if (!clock) return false;
    if (d.resumeFromBackward) {
        // On from the frame where backward play ended, in the forward buffers;
        // at the start of the history, should its fade have run past it.
        uint32_t position = MirrorPosition(PlayCursor(clock->BackwardBuffer(deck)));
        if (d.atHistoryStart && BlockOf(position) != d.historyStartBlock)
            position = static_cast<uint32_t>(d.historyStartBlock * kBlockBytes);
        for (const BufferRef& ref : ForwardBuffers(deck))
            if (auto buffer = ref.lock()) buffer->SetCurrentPosition(position);
        engine_.Ledger(deck).lastBlock = BlockOf(position);
    }
    d.resumeFromBackward = false;
    d.atHistoryStart = false;
    StartNotifyThread(deck, true);
    StartBuffers(deck, true);
    return PlayingForward(deck);
}

bool Playback::StartBackward(int deck) {
    const BusyScope busy(busy_);
    if (engine_.Kind(deck) == SourceKind::None) return false;
    if (!WaitUntilReady(deck)) return false;
    if (PlayingBackward(deck)) return true;
    Deck& d = decks_[deck];
    output::CZelOutputDevice* clock = ClockDevice(deck);
    if (!clock) return false;
    OutputBlockLedger& ledger = engine_.Ledger(deck);

    // Where the listener is. The blocks passed since the last notification
    // have been played through.
    const uint32_t forward = PlayCursor(clock->ForwardBuffer(deck));
    const int block = BlockOf(forward);
    if (Distance(ledger.lastBlock, block) <= kMaxCatchUpBlocks) {
        for (int b = ledger.lastBlock; b != block; b = Next(b)) {
            ledger.written[b] = false;
            ledger.heard[b] = true;
        }
    }
    ledger.lastBlock = block;
    d.resumeFromBackward = true;
    d.atHistoryStart = false;
    if (forward % kBlockBytes == 0 && !ledger.heard[Previous(block)]) {
        // Nothing heard before this point: there is nothing to play back.
        d.atHistoryStart = true;
        d.resumeFromBackward = false;
        return true;
    }
    const uint32_t position = MirrorPosition(forward);
    for (const BufferRef& ref : BackwardBuffers(deck))
        if (auto buffer = ref.lock()) buffer->SetCurrentPosition(position);
    StartNotifyThread(deck, false);
    StartBuffers(deck, false);
    return true;
}

void Playback::StopForward(int deck) {
    const BusyScope busy(busy_);
    Deck& d = decks_[deck];
    if (!PlayingForward(deck) || d.stoppingForward) return;
    d.stoppingForward = true;
    for (const BufferRef& ref : BackwardBuffers(deck))
        if (auto buffer = ref.lock()) buffer->Stop();
    output::SoftStopAll(ForwardBuffers(deck), fadeWait_);
    d.forwardRunning.exchange(0);
    events_.deck[deck].playForwardNotify.Set();
    if (DeckLink* link = engine_.Link(deck)) link->LevelMeterOff();
    // From inside the thread's own notification the thread waits for us; it
    // leaves as soon as this handling returns.
    if (!d.inForwardNotify) {
        platform::WaitDispatching(events_.deck[deck].threadPlayForwardDone);
        d.forwardThread.Join();
    }
    // A fade that was cut short by the buffers going away leaves none playing.
    for (const BufferRef& ref : ForwardBuffers(deck))
        if (auto buffer = ref.lock()) buffer->Stop();
    d.stoppingForward = false;
}

void Playback::StopBackward(int deck) {
    const BusyScope busy(busy_);
    Deck& d = decks_[deck];
    if (!PlayingBackward(deck) || d.stoppingBackward) return;
    d.stoppingBackward = true;
    for (const BufferRef& ref : ForwardBuffers(deck))
        if (auto buffer = ref.lock()) buffer->Stop();
    output::SoftStopAll(BackwardBuffers(deck), fadeWait_);
    d.backwardRunning.exchange(0);
    events_.deck[deck].playBackwardNotify.Set();
    if (DeckLink* link = engine_.Link(deck)) link->LevelMeterOff();
    if (!d.inBackwardNotify) {
        platform::WaitDispatching(events_.deck[deck].threadPlayBackwardDone);
        d.backwardThread.Join();
    }
    for (const BufferRef& ref : BackwardBuffers(deck))
        if (auto buffer = ref.lock()) buffer->Stop();
    d.stoppingBackward = false;
}

void Playback::RefreshTimeEveryThird(int deck) {
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    if (++ledger.notificationsSinceDisplay < 3) return;
    ledger.notificationsSinceDisplay = 0;
    if (DeckLink* link = engine_.Link(deck)) link->RefreshTime(ledger.CountWritten() * kBlockBytes);
}

void Playback::OnForwardNotify(int deck) {
    const BusyScope busy(busy_);
    Deck& d = decks_[deck];
    // While this runs the notify thread waits for it: a stop from in here
    // (the deck's own, or anything this calls) must not wait for the thread.
    const FlagScope inHandler(d.inForwardNotify);
    engine::DeckEvents& ev = events_.deck[deck];
    output::CZelOutputDevice* clock = ClockDevice(deck);
    SoundBuffer* forward = clock ? clock->ForwardBuffer(deck) : nullptr;
    // A notification that arrives after the buffer stopped only needs clearing.
    ev.playForwardNotify.Reset();
    if (!forward || !forward->IsPlaying() || !PlayingForward(deck)) return;

    OutputBlockLedger& ledger = engine_.Ledger(deck);
    const uint32_t pos = PlayCursor(forward);
    const int cur = BlockOf(pos);
    if (cur == ledger.lastBlock || pos == 0 || cur == Previous(ledger.lastBlock)) return;

    DeckLink* link = engine_.Link(deck);
    if (ledger.silence[cur]) {
        // The end of the track has reached the play point.
        if (link) {
            link->OnEndOfTrack();
            link->LevelMeterOff();
        }
        return;
    }
    // Keep the headphones with the main output when the main output paces the deck.
    if (auto* phones = Device(headphones_); phones && phones != clock && phones->ForwardBuffer(deck)) {
        const int phonesBlock = BlockOf(PlayCursor(phones->ForwardBuffer(deck)));
        if (phonesBlock != cur && phonesBlock != Previous(cur)) phones->ForwardBuffer(deck)->SetCurrentPosition(pos);
    }

    const int ahead = ledger.CountWritten();
    bool wrote = true;
    if (ahead == bufferLead_) {
        wrote = WriteNextBlock(deck);
    } else if (ahead < bufferLead_) {
        wrote = WriteNextBlock(deck);
        wrote = WriteNextBlock(deck);
    }
    // Underrun: the play point reached a block not written yet. Stop, catch
    // up, write a lead and start again. The notify thread that brought us
    // here is waiting for this handling, so it keeps running throughout.
    const bool underrun = !ledger.written[cur];
    if (underrun) output::SoftStopAll(ForwardBuffers(deck), fadeWait_);
    while (wrote && !ledger.written[cur]) wrote = WriteNextBlock(deck);
    if (underrun) {
        ++d.underruns;
        for (int i = 0; i < kPrimingWrites; ++i) WriteNextBlock(deck);
        // Unless the deck was stopped while the fade dispatched messages.
        StartBuffers(deck, true);
    }

    for (int b = ledger.lastBlock; b != cur; b = Next(b)) {
        ledger.written[b] = false;
        ledger.heard[b] = true;  // played through: backward play may return over it
    }
    ledger.written[cur] = false;
    ledger.lastBlock = cur;

    // A queued next file has begun to play.
    const TrackName& name = ledger.name[cur];
    if (engine_.Kind(deck) == SourceKind::File && name && *name != engine_.PlayingPath(deck))
        engine_.OnNextFileReachedPlayPoint(deck, *name);

    if (link) link->AdvanceLeds();
    RefreshTimeEveryThird(deck);
}

void Playback::OnBackwardNotify(int deck) {
    const BusyScope busy(busy_);
    Deck& d = decks_[deck];
    const FlagScope inHandler(d.inBackwardNotify);
    engine::DeckEvents& ev = events_.deck[deck];
    output::CZelOutputDevice* clock = ClockDevice(deck);
    SoundBuffer* backward = clock ? clock->BackwardBuffer(deck) : nullptr;
    ev.playBackwardNotify.Reset();
    if (!backward || !backward->IsPlaying() || !PlayingBackward(deck)) return;

    OutputBlockLedger& ledger = engine_.Ledger(deck);
    const uint32_t pos = PlayCursor(backward);
    // The forward block whose sound the backward buffer plays now.
    const int cur = BlockOf(MirrorPosition(pos));
    if (cur == ledger.lastBlock || pos == 0 || cur == Next(ledger.lastBlock)) return;

    // Blocks played backwards are blocks to play forwards again.
    int steps = 0;
    for (int j = ledger.lastBlock; j != cur; j = Previous(j)) {
        ledger.written[j] = true;
        ++steps;
    }
    if (steps > kMaxCatchUpBlocks) return;  // a jump, not play
    DeckLink* link = engine_.Link(deck);
    const bool beforeHistory = !ledger.heard[cur];
    if (!beforeHistory) ledger.written[cur] = true;
    ledger.lastBlock = cur;
    if (beforeHistory || !ledger.heard[Previous(cur)]) {
        // Backward play has come to the first block heard since the deck was
        // primed: it ends here, faded out, rather than play what came before
        // (silence, or the blocks written ahead).
        d.atHistoryStart = true;
        d.historyStartBlock = beforeHistory ? Next(cur) : cur;
        StopBackward(deck);
    }
    if (link) link->RetreatLeds();
    if (++ledger.blocksSinceWake > kReaderWakeBlocks - 1) {
        ev.discReadBackward.Set();
        ledger.blocksSinceWake = 0;
    }
    RefreshTimeEveryThird(deck);
}

void Playback::Shutdown() {
    for (int deck = 0; deck < kDeckCount; ++deck) {
        StopForward(deck);
        StopBackward(deck);
        decks_[deck].forwardThread.Join();
        decks_[deck].backwardThread.Join();
    }
}

}  // namespace engine
