#include "engine/Playback.h"

#include "engine/AnalysisLink.h"
#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "output/CZelOutput.h"
#include "output/MixLink.h"
#include "platform/MessagePort.h"
#include "platform/sound/SoundBuffer.h"

namespace engine {

using output::BufferRef;
using platform::Message;
using platform::ThreadPriority;
using platform::sound::SoundBuffer;

namespace {

constexpr int kMaxCatchUpBlocks = 3;  // blocks the play point may have gone on since the last notification

int BlockOf(uint32_t bytes) {
    return static_cast<int>(bytes / kBlockBytes);
}
int Previous(int block) {
    return (block + kOutputBlocks - 1) % kOutputBlocks;
}
int Next(int block) {
    return (block + 1) % kOutputBlocks;
}
int Distance(int from, int to) {
    return (to - from + kOutputBlocks) % kOutputBlocks;
}

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

Playback::~Playback() {
    Shutdown();
}

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

SoundBuffer* Playback::ClockBuffer(int deck, Direction direction) const {
    const output::CZelOutputDevice* clock = ClockDevice(deck);
    if (!clock) return nullptr;
    return direction == Direction::Forward ? clock->ForwardBuffer(deck) : clock->BackwardBuffer(deck);
}

std::vector<BufferRef> Playback::Buffers(int deck, Direction direction) const {
    const bool forward = direction == Direction::Forward;
    std::vector<BufferRef> buffers;
    for (output::CZelOutput* out : {headphones_, main_}) {
        auto* device = Device(out);
        if (!device || !(forward ? device->ForwardBuffer(deck) : device->BackwardBuffer(deck))) continue;
        buffers.push_back(forward ? device->ForwardBufferRef(deck) : device->BackwardBufferRef(deck));
    }
    return buffers;
}

Playback::DirectionEvents Playback::Events(int deck, Direction direction) const {
    engine::DeckEvents& ev = events_.deck[deck];
    if (direction == Direction::Forward)
        return {ev.playForwardNotify, ev.threadPlayForwardDone, ev.discReadForward};
    return {ev.playBackwardNotify, ev.threadPlayBackwardDone, ev.discReadBackward};
}

bool Playback::Sounding(int deck) const {
    const SoundBuffer* forward = ClockBuffer(deck, Direction::Forward);
    const SoundBuffer* backward = ClockBuffer(deck, Direction::Backward);
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
        if (mainDevice)
            phones->CreateDeckBuffers(deck, rate, nullptr, nullptr);
        else
            phones->CreateDeckBuffers(deck, rate, &ev.playForwardNotify, &ev.playBackwardNotify);
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
    if (PlayingForward(deck)) StartBuffers(deck, Direction::Forward);
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
    if (analysis_) analysis_->StoreBlock(deck, block, static_cast<uint32_t>(b * kBlockBytes));
    ring.MarkFree(index);
    ring.AdvanceReadIndex();
    if (++ledger.blocksSinceWake > kReaderWakeBlocks - 1) {
        Events(deck, Direction::Forward).discRead.Set();
        ledger.blocksSinceWake = 0;
    }
    return true;
}

bool Playback::WaitUntilReady(int deck) {
    platform::Event& ready = events_.deck[deck].deckReadyToPlay;
    // A reader that has ended without priming the deck never will: no wait
    // for what cannot come.
    return platform::WaitDispatchingUntil(ready,
                                          [&] { return !engine_.ReaderRunning(deck) && !ready.IsSet(); });
}

bool Playback::Ready(int deck) {
    return engine_.Kind(deck) != SourceKind::None && WaitUntilReady(deck);
}

void Playback::StartNotifyThread(int deck, Direction direction) {
    Deck& d = decks_[deck];
    std::atomic<int>& running = d.running[Index(direction)];
    const DirectionEvents ev = Events(deck, direction);
    const Message message =
        direction == Direction::Forward ? Message::ForwardNotify : Message::BackwardNotify;

    ev.threadDone.Reset();
    running.exchange(1);
    d.thread[Index(direction)].Start(ThreadPriority::Highest, [this, &running, ev, deck, message] {
        // Prepared once: each block's message then costs no allocation.
        platform::MessagePort::SenderSlot sender;
        while (running.load() == 1) {
            ev.notify.Wait();
            if (running.load() == 0) break;
            mainWindow_.Send(sender, message, platform::DeckArgs{deck});
        }
        ev.threadDone.Set();
    });
}

void Playback::StartBuffers(int deck, Direction direction) {
    // A fade dispatches messages; should a priming replace the buffers
    // meanwhile, the new ones are started in their turn.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!Playing(deck, direction)) return;
        output::SoftStartAll(Buffers(deck, direction), fadeWait_);
        const SoundBuffer* buffer = ClockBuffer(deck, direction);
        if (!buffer || buffer->IsPlaying()) return;
    }
}

bool Playback::Begin(int deck, Direction direction) {
    StartNotifyThread(deck, direction);
    StartBuffers(deck, direction);
    return Playing(deck, direction);
}

bool Playback::StartForward(int deck) {
    const BusyScope busy(busy_);
    if (!Ready(deck)) return false;
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    ledger.blocksSinceWake = 0;
    ledger.notificationsSinceDisplay = 0;
    if (PlayingForward(deck)) return true;
    if (!ClockDevice(deck)) return false;  // no output to play on
    decks_[deck].atHistoryStart = false;
    return Begin(deck, Direction::Forward);
}

bool Playback::ResumeForward(int deck) {
    const BusyScope busy(busy_);
    if (!Ready(deck)) return false;
    if (PlayingForward(deck)) return true;
    if (!ClockDevice(deck)) return false;
    Deck& d = decks_[deck];
    if (d.resumeFromBackward) {
        // On from the frame where backward play ended, in the forward buffers;
        // at the start of the history, should its fade have run past it.
        uint32_t position = MirrorPosition(PlayCursor(ClockBuffer(deck, Direction::Backward)));
        if (d.atHistoryStart && BlockOf(position) != d.historyStartBlock)
            position = static_cast<uint32_t>(d.historyStartBlock * kBlockBytes);
        for (const BufferRef& ref : Buffers(deck, Direction::Forward))
            if (auto buffer = ref.lock()) buffer->SetCurrentPosition(position);
        engine_.Ledger(deck).lastBlock = BlockOf(position);
    }
    d.resumeFromBackward = false;
    d.atHistoryStart = false;
    return Begin(deck, Direction::Forward);
}

bool Playback::StartBackward(int deck) {
    const BusyScope busy(busy_);
    if (!Ready(deck)) return false;
    if (PlayingBackward(deck)) return true;
    if (!ClockDevice(deck)) return false;
    Deck& d = decks_[deck];
    OutputBlockLedger& ledger = engine_.Ledger(deck);

    // Where the listener is. The blocks passed since the last notification
    // have been played through.
    const uint32_t forward = PlayCursor(ClockBuffer(deck, Direction::Forward));
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
    for (const BufferRef& ref : Buffers(deck, Direction::Backward))
        if (auto buffer = ref.lock()) buffer->SetCurrentPosition(position);
    // Backward play was asked for and taken up, even should a stop during the
    // fade-in have ended it already.
    Begin(deck, Direction::Backward);
    return true;
}

void Playback::StopForward(int deck) {
    Stop(deck, Direction::Forward);
}

void Playback::StopBackward(int deck) {
    Stop(deck, Direction::Backward);
}

void Playback::Stop(int deck, Direction direction) {
    const BusyScope busy(busy_);
    Deck& d = decks_[deck];
    const int i = Index(direction);
    if (!Playing(deck, direction) || d.stopping[i]) return;
    d.stopping[i] = true;
    for (const BufferRef& ref : Buffers(deck, Opposite(direction)))
        if (auto buffer = ref.lock()) buffer->Stop();
    output::SoftStopAll(Buffers(deck, direction), fadeWait_);
    d.running[i].exchange(0);
    const DirectionEvents ev = Events(deck, direction);
    ev.notify.Set();
    if (analysis_) analysis_->LevelMeterOff(deck);
    // From inside the thread's own notification the thread waits for us; it
    // leaves as soon as this handling returns.
    if (!d.inNotify[i]) {
        platform::WaitDispatching(ev.threadDone);
        d.thread[i].Join();
    }
    // A fade that was cut short by the buffers going away leaves none playing.
    for (const BufferRef& ref : Buffers(deck, direction))
        if (auto buffer = ref.lock()) buffer->Stop();
    d.stopping[i] = false;
}

void Playback::RefreshTimeEveryThird(int deck) {
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    if (++ledger.notificationsSinceDisplay < 3) return;
    ledger.notificationsSinceDisplay = 0;
    if (DeckLink* link = engine_.Link(deck)) link->RefreshTime(ledger.CountWritten() * kBlockBytes);
}

std::optional<Playback::PlayPoint> Playback::NotifiedPoint(int deck, Direction direction) {
    SoundBuffer* buffer = ClockBuffer(deck, direction);
    // A notification that arrives after the buffer stopped only needs clearing.
    Events(deck, direction).notify.Reset();
    if (!buffer || !buffer->IsPlaying() || !Playing(deck, direction)) return std::nullopt;
    const bool forward = direction == Direction::Forward;
    const uint32_t bytes = PlayCursor(buffer);
    const int block = BlockOf(forward ? bytes : MirrorPosition(bytes));
    const int last = engine_.Ledger(deck).lastBlock;
    // Nothing new: still in the last block, or just behind it.
    if (block == last || bytes == 0 || block == (forward ? Previous(last) : Next(last))) return std::nullopt;
    return PlayPoint{bytes, block};
}

void Playback::OnForwardNotify(int deck) {
    const BusyScope busy(busy_);
    // While this runs the notify thread waits for it: a stop from in here
    // (the deck's own, or anything this calls) must not wait for the thread.
    const FlagScope inHandler(decks_[deck].inNotify[Index(Direction::Forward)]);
    if (const auto point = NotifiedPoint(deck, Direction::Forward)) OnForwardBlock(deck, *point);
}

void Playback::OnBackwardNotify(int deck) {
    const BusyScope busy(busy_);
    const FlagScope inHandler(decks_[deck].inNotify[Index(Direction::Backward)]);
    if (const auto point = NotifiedPoint(deck, Direction::Backward)) OnBackwardBlock(deck, point->block);
}

void Playback::OnForwardBlock(int deck, PlayPoint point) {
    Deck& d = decks_[deck];
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    const int cur = point.block;
    DeckLink* link = engine_.Link(deck);
    if (ledger.silence[cur]) {
        // The end of the track has reached the play point.
        if (link) link->OnEndOfTrack();
        if (analysis_) analysis_->LevelMeterOff(deck);
        return;
    }
    // Keep the headphones with the main output when the main output paces the deck.
    if (auto* phones = Device(headphones_);
        phones && phones != ClockDevice(deck) && phones->ForwardBuffer(deck)) {
        const int phonesBlock = BlockOf(PlayCursor(phones->ForwardBuffer(deck)));
        if (phonesBlock != cur && phonesBlock != Previous(cur))
            phones->ForwardBuffer(deck)->SetCurrentPosition(point.bytes);
    }

    // One block a notification keeps the lead; two catch up when behind.
    const int ahead = ledger.CountWritten();
    const int writes = ahead < bufferLead_ ? 2 : (ahead == bufferLead_ ? 1 : 0);
    bool wrote = true;  // the last write had a block to write
    for (int i = 0; i < writes; ++i) wrote = WriteNextBlock(deck);
    // Underrun: the play point reached a block not written yet. Stop, catch
    // up, write a lead and start again. The notify thread that brought us
    // here is waiting for this handling, so it keeps running throughout.
    const bool underrun = !ledger.written[cur];
    if (underrun) output::SoftStopAll(Buffers(deck, Direction::Forward), fadeWait_);
    while (wrote && !ledger.written[cur]) wrote = WriteNextBlock(deck);
    if (underrun) {
        ++d.underruns;
        for (int i = 0; i < kPrimingWrites; ++i) WriteNextBlock(deck);
        // Unless the deck was stopped while the fade dispatched messages.
        StartBuffers(deck, Direction::Forward);
    }

    for (int b = ledger.lastBlock; b != cur; b = Next(b)) {
        ledger.written[b] = false;
        ledger.heard[b] = true;  // played through: backward play may return over it
    }
    ledger.written[cur] = false;
    ledger.lastBlock = cur;

    // A queued next file, or the next CD track, has begun to play.
    engine_.OnBlockReachedPlayPoint(deck, ledger.name[cur], ledger.tag[cur]);

    if (link) link->AdvanceLeds();
    if (analysis_) analysis_->BlockReached(deck, cur);
    RefreshTimeEveryThird(deck);
}

void Playback::OnBackwardBlock(int deck, int cur) {
    Deck& d = decks_[deck];
    OutputBlockLedger& ledger = engine_.Ledger(deck);
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
    // Not once backward play has stopped at the start of what was heard: a
    // stopped deck's meter stays dark.
    if (analysis_ && PlayingBackward(deck)) analysis_->BlockReached(deck, cur);
    if (++ledger.blocksSinceWake > kReaderWakeBlocks - 1) {
        Events(deck, Direction::Backward).discRead.Set();
        ledger.blocksSinceWake = 0;
    }
    RefreshTimeEveryThird(deck);
}

void Playback::Shutdown() {
    for (int deck = 0; deck < kDeckCount; ++deck) {
        StopForward(deck);
        StopBackward(deck);
        for (auto& thread : decks_[deck].thread) thread.Join();
    }
}

}  // namespace engine
