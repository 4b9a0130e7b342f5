#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "engine/CZelFileSource.h"
#include "engine/DiscBuffer.h"
#include "engine/OutputBlockLedger.h"
#include "engine/ReaderLoop.h"
#include "platform/Event.h"
#include "platform/WorkerThread.h"

namespace app {
struct EngineEvents;
}
namespace platform {
class MessagePort;
}

namespace engine {

class DeckLink;
class PlayListLink;

enum class SourceKind { None, File, Cd };

// The decks' playback engine: per deck the ring of decoded blocks, the file
// source with its open and reader threads, and the output-block ledger; for
// the program the track-length service. Everything is allocated once, when
// the engine is made. Its operations run on the user-interface thread.
class Engine {
public:
    Engine(app::EngineEvents& events, platform::MessagePort& mainWindow);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void SetDeckLink(int deck, DeckLink* link) { decks_[deck].link = link; }
    DeckLink* Link(int deck) const { return decks_[deck].link; }
    void SetPlayListLink(PlayListLink* link) { playList_ = link; }

    // Stops what the deck played and read, opens the file and starts reading
    // it into the ring. False when the file cannot be decoded.
    bool LoadFile(int deck, const std::string& path);
    // Stops and closes whatever the deck holds; the deck then holds nothing.
    void Unload(int deck);
    // Moves a loaded file to `fraction` of its length: stops the reader, seeks
    // and reads on from there, so the deck primes afresh. With `reopenPath`
    // the file is opened again first, for when the source has read to its
    // end or already went on into a queued next file. False when the file
    // can no longer be opened; the deck then holds nothing.
    bool SeekFile(int deck, double fraction, const std::string& reopenPath = {});
    // At the end of a file: opens the next one into the same source, so the
    // reader goes on into it without a gap.
    void QueueNextFile(int deck, const std::string& path);
    // The main window's handling of a source's end-of-track message.
    void OnEndOfTrack(int deck);
    void StopReader(int deck, bool clearLeds);
    bool ReaderRunning(int deck) const { return decks_[deck].readerFlags.running.load() == 1; }
    // The reader has finished its pass and waits to be woken.
    bool ReaderWaiting(int deck) const { return decks_[deck].readerFlags.waiting.load() == 1; }
    // The deck is primed: the reader drops to below-normal priority.
    void LowerReaderPriority(int deck);

    // Track lengths for the play list, measured on a thread of their own.
    void StartTrackLengthThread();
    bool TrackLengthBusy() const { return trackLength_.busy.load() != 0; }
    // Ignored while busy. The result arrives as a track-length message.
    bool RequestTrackLength(const std::string& path);
    // The track-length message's handler.
    void OnTrackLengthMeasured();
    std::string TrackLengthResultTitle() const { return trackLength_.resultTitle; }
    double TrackLengthResultSeconds() const { return trackLength_.resultLength; }

    DiscBuffer& Ring(int deck) { return *decks_[deck].ring; }
    OutputBlockLedger& Ledger(int deck) { return decks_[deck].ledger; }
    CZelFileSource& FileSource(int deck) { return decks_[deck].fileSource; }
    SourceKind Kind(int deck) const { return decks_[deck].kind; }
    const std::string& FilePath(int deck) const { return decks_[deck].filePath; }
    // The file the listener hears: the loaded one, until a queued next file
    // reaches the play point.
    const std::string& PlayingPath(int deck) const { return decks_[deck].playingPath; }
    void SetPlayingPath(int deck, const std::string& path) { decks_[deck].playingPath = path; }

    // Stops every thread; the engine must not be used afterwards.
    void Shutdown();

private:
    struct Deck {
        explicit Deck(platform::MessagePort& port) : fileSource(&port) {}
        std::unique_ptr<DiscBuffer> ring = std::make_unique<DiscBuffer>();
        OutputBlockLedger ledger;
        CZelFileSource fileSource;
        std::string filePath;
        std::string playingPath;
        SourceKind kind = SourceKind::None;
        DeckLink* link = nullptr;
        ReaderFlags readerFlags;
        platform::WorkerThread openThread;
        platform::WorkerThread readerThread;
    };

    struct TrackLengthService {
        std::atomic<int> busy{0};
        std::atomic<bool> run{false};
        std::string requestPath;
        std::string resultTitle;
        double resultLength = 0.0;
        platform::Event exited{platform::Event::Reset::Manual, true};
        platform::WorkerThread thread;
    };

    // Opens the deck's file path on a one-shot open thread and waits for it
    // while the window keeps dispatching messages.
    void OpenOnThread(int deck);
    void StartFileReader(int deck);

    app::EngineEvents& events_;
    platform::MessagePort& mainWindow_;
    std::array<Deck, 2> decks_;
    PlayListLink* playList_ = nullptr;
    TrackLengthService trackLength_;
};

}  // namespace engine
