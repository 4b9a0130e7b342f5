#include "engine/Engine.h"

#include "engine/DeckLink.h"
#include "engine/EngineEvents.h"
#include "platform/MessagePort.h"
#include "platform/media/MeasuredLength.h"

namespace engine {

using platform::ThreadPriority;

namespace {

// Feeds the reader loop from a deck's file source. Each block is named after
// the file it came from; the name is made once per file, not per block.
class FileBlockProducer final : public BlockProducer {
public:
    FileBlockProducer(int deck, CZelFileSource& source) : deck_(deck), source_(source) {}

    Result Produce(SampleBlock& block, TrackName& name, int32_t& tag) override {
        int bytes = 0;
        bool endOfFile = false;
        // A closed source will give nothing more: the reader ends (and primes
        // the deck, so a start waiting for it is not left waiting).
        if (source_.ReadBlock(deck_, block, bytes, endOfFile) != kOk) return {false, !source_.IsOpen()};
        // A next file opened at the end of the last one changes the name from
        // the block that runs over into it.
        if (!name_ || openCount_ != source_.OpenCount()) {
            openCount_ = source_.OpenCount();
            name_ = std::make_shared<const std::string>(source_.Path());
        }
        name = name_;
        tag = kNoTag;
        return {true, endOfFile};
    }

private:
    int deck_;
    CZelFileSource& source_;
    TrackName name_;
    uint32_t openCount_ = 0;
};

}  // namespace

Engine::Engine(EngineEvents& events, platform::MessagePort& mainWindow)
    : events_(events),
      mainWindow_(mainWindow),
      decks_{{Deck(mainWindow), Deck(mainWindow)}},
      measurer_(mainWindow) {
    for (int deck = 0; deck < 2; ++deck)
        cd_.SetDiscBuffer(deck, decks_[deck].ring->Bytes(), kDiscBlocks * kBlockBytes);
}

Engine::~Engine() {
    Shutdown();
}

bool Engine::LoadFile(int deck, const std::string& path) {
    Deck& d = decks_[deck];
    if (d.link && d.link->IsPlaying()) d.link->Pause();
    // Whatever the deck was ready to play is gone: play now waits for the
    // new file's priming.
    Unload(deck);
    d.filePath = path;
    OpenOnThread(deck);
    if (!d.fileSource.IsOpen()) {
        if (d.link) d.link->ShowNothingLoaded();
        return false;
    }
    if (d.link) d.link->TakeLoadedFile(path, d.fileSource.Title(), d.fileSource.LengthSeconds());
    d.kind = SourceKind::File;
    d.playingPath = path;
    // The length the file states may be wrong: measure the one that plays,
    // through the file as opened (it may be gone by name in a moment).
    measurer_.Measure(deck, d.generation, d.fileSource.File(), path);
    StartFileReader(deck);
    return true;
}

void Engine::Unload(int deck) {
    Deck& d = decks_[deck];
    CloseSource(deck);
    events_.deck[deck].deckReadyToPlay.Reset();
    ++d.generation;
    d.lengths.clear();
    measurer_.Forget(deck);
    d.filePath.clear();
    d.playingPath.clear();
}

void Engine::CloseSource(int deck) {
    Deck& d = decks_[deck];
    StopReader(deck, true);
    d.fileSource.Close();
    if (d.kind == SourceKind::Cd) {
        cd_.CloseCd(deck);
        d.cdTrack = 0;
        d.cdDrive = -1;
        d.cdSource.clear();
        mainWindow_.Send(platform::Message::CdClosed, platform::DeckArgs{deck});
    }
    d.kind = SourceKind::None;
}

bool Engine::SeekFile(int deck, double fraction) {
    Deck& d = decks_[deck];
    if (d.kind != SourceKind::File) return false;
    StopReader(deck, true);
    // A reader that had finished its file left the deck ready; play must now
    // wait for the priming from the new place.
    events_.deck[deck].deckReadyToPlay.Reset();
    // The source may have read to the end of the file and closed it, or gone
    // on into a queued next file: the file the listener hears is opened again
    // from the handle kept since it was loaded, never by its name.
    if (!d.fileSource.IsOpen() || d.fileSource.Path() != d.playingPath) {
        if (!d.fileSource.Reopen(d.playingPath)) return false;
        d.filePath = d.playingPath;
    }
    // A fraction of the length that plays, as the deck shows it.
    if (auto known = d.lengths.find(d.playingPath); known != d.lengths.end())
        d.fileSource.SetLengthSeconds(d.playingPath, known->second.seconds);
    d.fileSource.SeekFraction(fraction);
    StartFileReader(deck);
    return true;
}

void Engine::QueueNextFile(int deck, const std::string& path) {
    // The reader, waiting for this message's handling, opens the file itself
    // once it is free again: nothing here waits for a thread that waits for us.
    Deck& d = decks_[deck];
    d.fileSource.QueueNext(path);
    d.filePath = path;
    measurer_.Measure(deck, d.generation, nullptr, path);
}

void Engine::OnEndOfTrack(int deck) {
    Deck& d = decks_[deck];
    if (d.kind != SourceKind::File) return;
    // The decoder has reached the real end: the file is as long as what it gave.
    if (d.fileSource.IsOpen()) ApplyLength(deck, d.fileSource.Path(), d.fileSource.PositionSeconds(), true);
    if (!playList_) return;
    if (auto next = playList_->NextPathFor(deck)) QueueNextFile(deck, *next);
}

void Engine::OnBlockReachedPlayPoint(int deck, const TrackName& name, int32_t tag) {
    const Deck& d = decks_[deck];
    if (d.kind == SourceKind::File && name && *name != d.playingPath) OnNextFileReachedPlayPoint(deck, *name);
    if (d.kind == SourceKind::Cd && tag != kNoTag && tag != d.cdTrack) OnCdTrackReachedPlayPoint(deck, tag);
}

void Engine::OnNextFileReachedPlayPoint(int deck, const std::string& path) {
    Deck& d = decks_[deck];
    d.playingPath = path;
    const std::string title = d.fileSource.Path() == path ? d.fileSource.Title() : std::string();
    if (d.link) d.link->OnTrackChanged(path, title, KnownLength(deck, path));
    if (playList_) playList_->QueuedFileReachedPlayPoint(deck);
}

void Engine::OnLengthMeasured() {
    for (const LengthMeasurer::Result& result : measurer_.TakeResults()) {
        if (result.generation != decks_[result.deck].generation) continue;  // for a file no longer loaded
        ApplyLength(result.deck, result.path, result.seconds, false);
    }
}

double Engine::KnownLength(int deck, const std::string& path) const {
    const Deck& d = decks_[deck];
    if (auto it = d.lengths.find(path); it != d.lengths.end()) return it->second.seconds;
    return d.fileSource.Path() == path ? d.fileSource.LengthSeconds() : 0.0;
}

void Engine::ApplyLength(int deck, const std::string& path, double seconds, bool readToEnd) {
    Deck& d = decks_[deck];
    if (path.empty() || seconds <= 0.0) return;
    FileLength& known = d.lengths[path];
    if (known.readToEnd && !readToEnd) return;
    known = {seconds, readToEnd};
    d.fileSource.SetLengthSeconds(path, seconds);
    if (path == d.playingPath && d.link) d.link->OnLengthKnown(seconds);
}

void Engine::OpenOnThread(int deck) {
    Deck& d = decks_[deck];
    platform::Event& done = events_.deck[deck].fileOpenDone;
    done.Reset();
    d.openThread.Start(ThreadPriority::Normal, [&d, &done, path = d.filePath] {
        d.fileSource.Open(path);
        done.Set();
    });
    platform::WaitDispatching(done);
    d.openThread.Join();
}

void Engine::StartFileReader(int deck) {
    Deck& d = decks_[deck];
    engine::DeckEvents& ev = events_.deck[deck];
    d.readerThread.Join();  // a reader that ended with its file
    // Marked running before the thread starts, so a stop right after the
    // start still finds it.
    ev.threadFileReadForwardDone.Reset();
    d.readerDone = &ev.threadFileReadForwardDone;
    d.readerFlags.running.exchange(1);
    d.readerThread.Start(ThreadPriority::AboveNormal, [this, deck, &d, &ev] {
        FileBlockProducer producer(deck, d.fileSource);
        RunReaderLoop(deck, *d.ring, ev, ev.threadFileReadForwardDone, d.readerFlags, mainWindow_, producer);
    });
}

void Engine::StopReader(int deck, bool clearLeds) {
    Deck& d = decks_[deck];
    engine::DeckEvents& ev = events_.deck[deck];
    if (d.readerFlags.running.load() == 1) {
        ev.deckReadyToPlay.Reset();
        d.readerFlags.running.exchange(0);
        ev.discReadForward.Set();
        platform::WaitDispatching(d.readerDone ? *d.readerDone : ev.threadFileReadForwardDone);
        if (clearLeds && d.link) d.link->ResetLeds();
    }
    d.readerThread.Join();
}

void Engine::LowerReaderPriority(int deck) {
    decks_[deck].readerThread.SetPriority(ThreadPriority::BelowNormal);
}

void Engine::StartTrackLengthThread() {
    if (trackLength_.run.exchange(true)) return;
    trackLength_.exited.Reset();
    trackLength_.thread.Start(ThreadPriority::BelowNormal, [this] {
        while (trackLength_.run.load()) {
            events_.trackLengthLoad.Wait();
            if (!trackLength_.run.load()) break;
            {
                CZelFileSource source;
                if (source.Open(trackLength_.requestPath)) {
                    trackLength_.resultTitle = source.Title();
                    // What plays, not what the header says.
                    const platform::media::MeasuredLength measured =
                        platform::media::MeasureLength(source.File());
                    trackLength_.resultLength = measured.ok ? measured.seconds : source.LengthSeconds();
                    source.Close();
                } else {
                    trackLength_.resultTitle.clear();
                    trackLength_.resultLength = -1.0;
                }
            }
            mainWindow_.Send(platform::Message::TrackLengthMeasured);
            trackLength_.busy.exchange(0);
        }
        trackLength_.exited.Set();
    });
}

bool Engine::RequestTrackLength(const std::string& path) {
    if (!trackLength_.run.load()) return false;
    // Marked busy here, before the path is written, so that a second request
    // cannot overwrite the path the thread is about to read.
    int idle = 0;
    if (!trackLength_.busy.compare_exchange_strong(idle, 1)) return false;
    trackLength_.requestPath = path;
    events_.trackLengthLoad.Set();
    return true;
}

void Engine::OnTrackLengthMeasured() {
    if (playList_)
        playList_->TrackLengthMeasured(trackLength_.requestPath, trackLength_.resultTitle,
                                       trackLength_.resultLength);
}

void Engine::Shutdown() {
    measurer_.Stop();
    for (int deck = 0; deck < 2; ++deck) {
        StopReader(deck, false);
        decks_[deck].openThread.Join();
        decks_[deck].fileSource.Close();
        cd_.CloseCd(deck);
    }
    if (trackLength_.run.exchange(false)) {
        events_.trackLengthLoad.Set();
        // The thread may be sending its result to the window: keep dispatching.
        platform::WaitDispatching(trackLength_.exited);
        trackLength_.thread.Join();
    }
}

}  // namespace engine
