#include "engine/Playback.h"

#include "app/EngineEvents.h"
#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "output/CZelOutput.h"
#include "platform/MessagePort.h"
#include "platform/sound/SoundBuffer.h"

namespace engine {

using platform::Message;
using platform::ThreadPriority;
using platform::sound::SoundBuffer;

namespace {

int BlockOf(uint32_t bytes) { return static_cast<int>(bytes / kBlockBytes); }
int Previous(int block) { return (block + kOutputBlocks - 1) % kOutputBlocks; }
int Next(int block) { return (block + 1) % kOutputBlocks; }

uint32_t PlayCursor(SoundBuffer* buffer) {
    uint32_t play = 0;
    if (buffer) buffer->GetCurrentPosition(&play, nullptr);
    return play;
}

}  // namespace

Playback::Playback(Engine& engine, app::EngineEvents& events, platform::MessagePort& mainWindow)
    : engine_(engine), events_(events), mainWindow_(mainWindow) {}

Playback::~Playback() { Shutdown(); }

void Playback::SetOutputs(output::CZelOutput* headphones, output::CZelOutput* main) {
    headphones_ = headphones;
    main_ = main;
}

output::CZelOutputDevice* Playback::Device(output::CZelOutput* out) const {
    return out && out->IsOpen() ? out->Device() : nullptr;
}

std::vector<SoundBuffer*> Playback::ForwardBuffers(int deck) const {
    std::vector<SoundBuffer*> buffers;
    for (output::CZelOutput* out : {headphones_, main_})
        if (auto* device = Device(out); device && device->ForwardBuffer(deck)) buffers.push_back(device->ForwardBuffer(deck));
    return buffers;
}

std::vector<SoundBuffer*> Playback::BackwardBuffers(int deck) const {
    std::vector<SoundBuffer*> buffers;
    for (output::CZelOutput* out : {headphones_, main_})
        if (auto* device = Device(out); device && device->BackwardBuffer(deck))
            buffers.push_back(device->BackwardBuffer(deck));
    return buffers;
}

void Playback::PrimeDeck(int deck) {
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    app::DeckEvents& ev = events_.deck[deck];
    ledger.ClearFlags();

    // New buffers at the source's own rate: the headphones' without
    // notifications, then the main output's, which is the deck's clock.
    const auto rate = static_cast<uint32_t>(engine_.FileSource(deck).SampleRate());
    if (auto* device = Device(headphones_)) device->CreateDeckBuffers(deck, rate, nullptr, nullptr);
    if (auto* device = Device(main_)) device->CreateDeckBuffers(deck, rate, &ev.playForwardNotify, &ev.playBackwardNotify);
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
}

bool Playback::WriteNextBlock(int deck) {
    output::CZelOutputDevice* mainDevice = Device(main_);
    output::CZelOutputDevice* phonesDevice = Device(headphones_);
    output::CZelOutputDevice* clock = mainDevice && mainDevice->ForwardBuffer(deck) ? mainDevice : phonesDevice;
    if (!clock || !clock->ForwardBuffer(deck)) return false;

    OutputBlockLedger& ledger = engine_.Ledger(deck);
    DiscBuffer& ring = engine_.Ring(deck);
    const int b = BlockOf(clock->ForwardWriteCursor(deck));
    const int index = ring.ReadIndex();
    auto writeBoth = [&](const SampleBlock& forward, const SampleBlock& backward) {
        for (output::CZelOutputDevice* device : {phonesDevice, mainDevice}) {
            if (!device || !device->ForwardBuffer(deck)) continue;
            device->WriteForward(deck, forward);
            device->WriteBackward(deck, backward);
        }
    };

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

void Playback::WaitUntilReady(int deck) { platform::WaitDispatching(events_.deck[deck].deckReadyToPlay); }

void Playback::StartNotifyThread(int deck, bool forward) {
    Deck& d = decks_[deck];
    app::DeckEvents& ev = events_.deck[deck];
    std::atomic<int>& running = forward ? d.forwardRunning : d.backwardRunning;
    platform::Event& notify = forward ? ev.playForwardNotify : ev.playBackwardNotify;
    platform::Event& done = forward ? ev.threadPlayForwardDone : ev.threadPlayBackwardDone;
    const Message message = forward ? Message::ForwardNotify : Message::BackwardNotify;

    done.Reset();
    running.exchange(1);
    (forward ? d.forwardThread : d.backwardThread).Start(ThreadPriority::Highest, [&, deck, message] {
        while (running.load() == 1) {
            notify.Wait();
            if (running.load() == 0) break;
            mainWindow_.Send(message, static_cast<uintptr_t>(deck));
        }
        done.Set();
    });
}

void Playback::StartForward(int deck) {
    if (engine_.Kind(deck) == SourceKind::None) return;  // nothing will ever be ready
    WaitUntilReady(deck);
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    ledger.blocksSinceWake = 0;
    ledger.notificationsSinceDisplay = 0;
    if (PlayingForward(deck)) return;
    StartNotifyThread(deck, true);
    output::SoftStartAll(ForwardBuffers(deck), fadeWait_);
}

void Playback::ResumeForward(int deck) {
    if (engine_.Kind(deck) == SourceKind::None) return;
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    ledger.lastBlock = Previous(ledger.lastBlock);
    WaitUntilReady(deck);
    if (PlayingForward(deck)) return;
    const auto backward = BackwardBuffers(deck);
    const int backwardBlock = BlockOf(PlayCursor(backward.empty() ? nullptr : backward.back()));
    const auto offset = static_cast<uint32_t>((kOutputBlocks - 1 - backwardBlock) * kBlockBytes);
    for (SoundBuffer* buffer : ForwardBuffers(deck)) buffer->SetCurrentPosition(offset);
    StartNotifyThread(deck, true);
    output::SoftStartAll(ForwardBuffers(deck), fadeWait_);
}

void Playback::StartBackward(int deck) {
    if (engine_.Kind(deck) == SourceKind::None) return;
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    ledger.lastBlock = Next(ledger.lastBlock);
    WaitUntilReady(deck);
    if (PlayingBackward(deck)) return;
    const auto forward = ForwardBuffers(deck);
    const int forwardBlock = BlockOf(PlayCursor(forward.empty() ? nullptr : forward.back()));
    const auto offset = static_cast<uint32_t>((kOutputBlocks - 1 - forwardBlock) * kBlockBytes);
    for (SoundBuffer* buffer : BackwardBuffers(deck)) buffer->SetCurrentPosition(offset);
    StartNotifyThread(deck, false);
    output::SoftStartAll(BackwardBuffers(deck), fadeWait_);
}

void Playback::StopForward(int deck) {
    Deck& d = decks_[deck];
    if (!PlayingForward(deck) || d.stoppingForward) return;
    d.stoppingForward = true;
    for (SoundBuffer* buffer : BackwardBuffers(deck)) buffer->Stop();
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
    d.stoppingForward = false;
}

void Playback::StopBackward(int deck) {
    Deck& d = decks_[deck];
    if (!PlayingBackward(deck) || d.stoppingBackward) return;
    d.stoppingBackward = true;
    for (SoundBuffer* buffer : ForwardBuffers(deck)) buffer->Stop();
    output::SoftStopAll(BackwardBuffers(deck), fadeWait_);
    d.backwardRunning.exchange(0);
    events_.deck[deck].playBackwardNotify.Set();
    if (DeckLink* link = engine_.Link(deck)) link->LevelMeterOff();
    if (!d.inBackwardNotify) {
        platform::WaitDispatching(events_.deck[deck].threadPlayBackwardDone);
        d.backwardThread.Join();
    }
    d.stoppingBackward = false;
}

void Playback::RefreshTimeEveryThird(int deck) {
    OutputBlockLedger& ledger = engine_.Ledger(deck);
    if (++ledger.notificationsSinceDisplay < 3) return;
    ledger.notificationsSinceDisplay = 0;
    if (DeckLink* link = engine_.Link(deck)) link->RefreshTime(ledger.CountWritten() * kBlockBytes);
}

void Playback::OnForwardNotify(int deck) {
    Deck& d = decks_[deck];
    app::DeckEvents& ev = events_.deck[deck];
    output::CZelOutputDevice* mainDevice = Device(main_);
    SoundBuffer* forward = mainDevice ? mainDevice->ForwardBuffer(deck) : nullptr;
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
    d.inForwardNotify = true;

    // Keep the headphones with the main output.
    if (auto* phones = Device(headphones_); phones && phones->ForwardBuffer(deck)) {
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
        if (PlayingForward(deck)) output::SoftStartAll(ForwardBuffers(deck), fadeWait_);
    }

    for (int b = ledger.lastBlock; b != cur; b = Next(b)) ledger.written[b] = false;
    ledger.written[cur] = false;
    ledger.lastBlock = cur;

    // A queued next file has begun to play.
    const TrackName& name = ledger.name[cur];
    if (engine_.Kind(deck) == SourceKind::File && name && *name != engine_.PlayingPath(deck)) {
        engine_.SetPlayingPath(deck, *name);
        if (link) {
            const CZelFileSource& source = engine_.FileSource(deck);
            link->OnTrackChanged(*name, source.Title(), source.LengthSeconds());
        }
    }

    if (link) link->AdvanceLeds();
    RefreshTimeEveryThird(deck);
    d.inForwardNotify = false;
}

void Playback::OnBackwardNotify(int deck) {
    Deck& d = decks_[deck];
    app::DeckEvents& ev = events_.deck[deck];
    output::CZelOutputDevice* mainDevice = Device(main_);
    SoundBuffer* backward = mainDevice ? mainDevice->BackwardBuffer(deck) : nullptr;
    ev.playBackwardNotify.Reset();
    if (!backward || !backward->IsPlaying() || !PlayingBackward(deck)) return;

    OutputBlockLedger& ledger = engine_.Ledger(deck);
    const uint32_t pos = PlayCursor(backward);
    const int cur = kOutputBlocks - 1 - BlockOf(pos);
    if (cur == ledger.lastBlock || pos == 0 || cur == Next(ledger.lastBlock)) return;

    // Blocks played backwards are blocks to play forwards again.
    int steps = 0;
    for (int j = ledger.lastBlock; j != cur; j = Previous(j)) {
        ledger.written[j] = true;
        ++steps;
    }
    if (steps >= 4) return;  // a jump, not play
    ledger.written[cur] = true;
    ledger.lastBlock = cur;

    DeckLink* link = engine_.Link(deck);
    if (ledger.CountWritten() > kBackwardLimit) {
        // No further back than what the forward buffer still holds.
        d.inBackwardNotify = true;
        StopBackward(deck);
        d.inBackwardNotify = false;
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
