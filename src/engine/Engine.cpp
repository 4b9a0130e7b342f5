#include "engine/Engine.h"

#include "app/EngineEvents.h"
#include "engine/DeckLink.h"
#include "platform/MessagePort.h"

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
        if (source_.ReadBlock(deck_, block, bytes, endOfFile) != kOk) return {};
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

Engine::Engine(app::EngineEvents& events, platform::MessagePort& mainWindow)
    : events_(events), mainWindow_(mainWindow), decks_{{Deck(mainWindow), Deck(mainWindow)}} {}

Engine::~Engine() { Shutdown(); }

bool Engine::LoadFile(int deck, const std::string& path) {
    Deck& d = decks_[deck];
    if (d.link && d.link->IsPlaying()) d.link->Pause();
    if (d.kind == SourceKind::File || ReaderRunning(deck)) {
        StopReader(deck, true);
        d.fileSource.Close();
    }
    d.kind = SourceKind::None;

    d.filePath = path;
    d.playingPath.clear();
    OpenOnThread(deck);
    if (!d.fileSource.IsOpen()) {
        if (d.link) d.link->ShowNothingLoaded();
        return false;
    }
    if (d.link) d.link->TakeLoadedFile(path, d.fileSource.Title(), d.fileSource.LengthSeconds());
    d.kind = SourceKind::File;
    d.playingPath = path;
    StartFileReader(deck);
    return true;
}

void Engine::Unload(int deck) {
    Deck& d = decks_[deck];
    StopReader(deck, true);
    d.fileSource.Close();
    d.kind = SourceKind::None;
    d.filePath.clear();
    d.playingPath.clear();
}

bool Engine::SeekFile(int deck, double fraction, const std::string& reopenPath) {
    Deck& d = decks_[deck];
    if (d.kind != SourceKind::File) return false;
    StopReader(deck, true);
    // A reader that had finished its file left the deck ready; play must now
    // wait for the priming from the new place.
    events_.deck[deck].deckReadyToPlay.Reset();
    if (!reopenPath.empty()) {
        d.fileSource.Close();
        d.filePath = reopenPath;
        OpenOnThread(deck);
        if (!d.fileSource.IsOpen()) {
            d.kind = SourceKind::None;
            d.filePath.clear();
            d.playingPath.clear();
            if (d.link) d.link->ShowNothingLoaded();
            return false;
        }
        d.playingPath = reopenPath;
    }
    d.fileSource.SeekFraction(fraction);
    StartFileReader(deck);
    return true;
}

void Engine::QueueNextFile(int deck, const std::string& path) {
    Deck& d = decks_[deck];
    d.filePath = path;
    OpenOnThread(deck);
    if (d.fileSource.IsOpen()) {
        d.fileSource.SetContinue(true);
    } else {
        d.filePath.clear();
        d.fileSource.SetContinue(false);
    }
}

void Engine::OnEndOfTrack(int deck) {
    if (decks_[deck].kind != SourceKind::File || !playList_) return;
    if (auto next = playList_->NextPathFor(deck)) QueueNextFile(deck, *next);
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
    app::DeckEvents& ev = events_.deck[deck];
    d.readerThread.Join();  // a reader that ended with its file
    // Marked running before the thread starts, so a stop right after the
    // start still finds it.
    ev.threadFileReadForwardDone.Reset();
    d.readerFlags.running.exchange(1);
    d.readerThread.Start(ThreadPriority::AboveNormal, [this, deck, &d, &ev] {
        FileBlockProducer producer(deck, d.fileSource);
        RunReaderLoop(deck, *d.ring, ev, ev.threadFileReadForwardDone, d.readerFlags, mainWindow_, producer);
    });
}

void Engine::StopReader(int deck, bool clearLeds) {
    Deck& d = decks_[deck];
    app::DeckEvents& ev = events_.deck[deck];
    if (d.readerFlags.running.load() == 1) {
        ev.deckReadyToPlay.Reset();
        d.readerFlags.running.exchange(0);
        ev.discReadForward.Set();
        platform::WaitDispatching(ev.threadFileReadForwardDone);
        if (clearLeds && d.link) d.link->ResetLeds();
    }
    d.readerThread.Join();
}

void Engine::LowerReaderPriority(int deck) { decks_[deck].readerThread.SetPriority(ThreadPriority::BelowNormal); }

void Engine::StartTrackLengthThread() {
    if (trackLength_.run.exchange(true)) return;
    trackLength_.exited.Reset();
    trackLength_.thread.Start(ThreadPriority::BelowNormal, [this] {
        while (trackLength_.run.load()) {
            events_.trackLengthLoad.Wait();
            if (!trackLength_.run.load()) break;
            trackLength_.busy.exchange(1);
            {
                CZelFileSource source;
                if (source.Open(trackLength_.requestPath)) {
                    trackLength_.resultTitle = source.Title();
                    trackLength_.resultLength = source.LengthSeconds();
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
    if (TrackLengthBusy() || !trackLength_.run.load()) return false;
    trackLength_.requestPath = path;
    events_.trackLengthLoad.Set();
    return true;
}

void Engine::OnTrackLengthMeasured() {
    if (playList_)
        playList_->TrackLengthMeasured(trackLength_.requestPath, trackLength_.resultTitle, trackLength_.resultLength);
}

void Engine::Shutdown() {
    for (int deck = 0; deck < 2; ++deck) {
        StopReader(deck, false);
        decks_[deck].openThread.Join();
        decks_[deck].fileSource.Close();
    }
    if (trackLength_.run.exchange(false)) {
        events_.trackLengthLoad.Set();
        // The thread may be sending its result to the window: keep dispatching.
        platform::WaitDispatching(trackLength_.exited);
        trackLength_.thread.Join();
    }
}

}  // namespace engine
