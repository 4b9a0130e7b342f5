// The engine's audio CD operations: loading a disc into a deck, reading it on
// from a place, and following its tracks as they are heard.
#include "engine/CdBlockProducer.h"
#include "engine/DeckLink.h"
#include "engine/Engine.h"
#include "engine/EngineEvents.h"
#include "platform/MessagePort.h"

namespace engine {

bool Engine::LoadCd(int deck, int drive, const std::string& image, std::string& error) {
    Deck& d = decks_[deck];
    if (d.link && d.link->IsPlaying()) d.link->Pause();
    Unload(deck);

    // A drive may take seconds to spin up: it opens on a thread of its own
    // while the window goes on.
    platform::Event& done = events_.deck[deck].cdOpenDone;
    done.Reset();
    bool opened = false;
    d.openThread.Start(platform::ThreadPriority::Normal, [&] {
        opened = drive >= 0 ? cd_.OpenCd(deck, drive, error) : cd_.OpenImage(deck, image, error);
        done.Set();
    });
    platform::WaitDispatching(done);
    d.openThread.Join();
    if (!opened) {
        if (d.link) d.link->ShowNothingLoaded();
        return false;
    }
    d.kind = SourceKind::Cd;
    d.cdDrive = drive;
    d.cdSource = drive >= 0 ? cd_.Drives()[static_cast<size_t>(drive)].device : image;
    PlayCdFrom(deck, 1, 0.0);
    return true;
}

bool Engine::PlayCdFrom(int deck, int track, double seconds) {
    Deck& d = decks_[deck];
    if (d.kind != SourceKind::Cd) return false;
    StopReader(deck, true);
    // What the deck was ready to play is elsewhere on the disc.
    events_.deck[deck].deckReadyToPlay.Reset();
    cd_.SeekInTrack(deck, track, seconds);
    d.cdTrack = track;
    StartCdReader(deck);
    return true;
}

void Engine::StartCdReader(int deck) {
    Deck& d = decks_[deck];
    DeckEvents& ev = events_.deck[deck];
    d.readerThread.Join();  // a reader that ended with the disc
    ev.threadCdReadForwardDone.Reset();
    d.readerDone = &ev.threadCdReadForwardDone;
    d.readerFlags.running.exchange(1);
    d.readerThread.Start(platform::ThreadPriority::AboveNormal, [this, deck, &d, &ev] {
        CdBlockProducer producer(deck, cd_, mainWindow_);
        RunReaderLoop(deck, *d.ring, ev, ev.threadCdReadForwardDone, d.readerFlags, mainWindow_, producer);
    });
}

void Engine::OnCdTrackReachedPlayPoint(int deck, int track) {
    Deck& d = decks_[deck];
    d.cdTrack = track;
    if (d.link) d.link->OnCdTrackChanged(track, cd_.TrackLength(deck, track));
    if (playList_) playList_->CdTrackReachedPlayPoint(deck, track);
}

}  // namespace engine
