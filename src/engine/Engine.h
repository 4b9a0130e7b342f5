#pragma once

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "engine/CZelFileSource.h"
#include "engine/DiscBuffer.h"
#include "engine/LengthMeasurer.h"
#include "engine/OutputBlockLedger.h"
#include "engine/ReaderLoop.h"
#include "platform/Event.h"
#include "platform/WorkerThread.h"
#include "platform/cd/CZelCdSource.h"

namespace platform {
class MessagePort;
}

namespace engine {

struct EngineEvents;

class DeckLink;
class PlayListLink;

enum class SourceKind { None, File, Cd };

// The decks' playback engine: per deck the ring of decoded blocks, the file
// source with its open and reader threads, and the output-block ledger; for
// the program the track-length service. Everything is allocated once, when
// the engine is made. Its operations run on the user-interface thread.
class Engine {
public:
    Engine(EngineEvents& events, platform::MessagePort& mainWindow);
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

    // The drives and the discs open in the decks.
    platform::cd::CZelCdSource& Cd() { return cd_; }
    const platform::cd::CZelCdSource& Cd() const { return cd_; }
    // Stops what the deck played and read, opens the CD in drive `drive` (or,
    // with a drive below 0, the CD image at `image`) and reads it from the
    // start of track 1. False, with the reason in `error`, when no audio CD
    // can be read there: the deck then holds nothing.
    bool LoadCd(int deck, int drive, const std::string& image, std::string& error);
    // Reads the deck's CD on from `seconds` into `track`, so the deck primes
    // afresh there. False when the deck holds no CD.
    bool PlayCdFrom(int deck, int track, double seconds);
    // The CD track the listener hears (1 after loading).
    int CdTrack(int deck) const { return decks_[deck].cdTrack; }
    // The loaded CD's drive index (-1 for an image) and its drive's device
    // or image path; a play list entry of its tracks names the latter.
    int CdDrive(int deck) const { return decks_[deck].cdDrive; }
    const std::string& CdSourcePath(int deck) const { return decks_[deck].cdSource; }
    // The first block of another CD track has reached the play point.
    void OnCdTrackReachedPlayPoint(int deck, int track);
    // Moves a loaded file to `fraction` of its length: stops the reader, seeks
    // and reads on from there, so the deck primes afresh. A file the source
    // has finished, or left for a queued next one, is opened again first
    // from the handle kept since it was loaded. False when that fails (the
    // deck keeps its file; the caller tells the user).
    bool SeekFile(int deck, double fraction);
    // At the end of a file: the next one for the same source, so the reader
    // goes on into it without a gap. Returns at once; the reader opens it.
    void QueueNextFile(int deck, const std::string& path);
    // The main window's handling of a source's end-of-track message. It never
    // waits: the reader that sent it is blocked until it returns.
    void OnEndOfTrack(int deck);
    // A block reached the play point: the deck follows when it begins a
    // queued next file or another CD track.
    void OnBlockReachedPlayPoint(int deck, const TrackName& name, int32_t tag);
    // The first block of a queued next file has reached the play point.
    void OnNextFileReachedPlayPoint(int deck, const std::string& path);
    // The handling of a measured length (a LengthMeasured message).
    void OnLengthMeasured();
    // The best length known of a file of the deck: read to its end, else
    // measured, else as the file states it (0 when none is known).
    double KnownLength(int deck, const std::string& path) const;
    void StopReader(int deck, bool clearLeds);
    bool ReaderRunning(int deck) const { return decks_[deck].readerFlags.running.load() == 1; }
    // The reader has finished its pass and waits to be woken.
    bool ReaderWaiting(int deck) const { return decks_[deck].readerFlags.waiting.load() == 1; }
    // The deck is primed: the reader drops to below-normal priority.
    void LowerReaderPriority(int deck);

    // Track lengths for the play list, measured on a thread of their own.
    void StartTrackLengthThread();
    bool TrackLengthBusy() const { return trackLength_.busy.load() != 0; }
    // Refused (false) while a request is being served. The result arrives as
    // a track-length message.
    bool RequestTrackLength(const std::string& path);
    // The track-length message's handler.
    void OnTrackLengthMeasured();

    DiscBuffer& Ring(int deck) { return *decks_[deck].ring; }
    OutputBlockLedger& Ledger(int deck) { return decks_[deck].ledger; }
    CZelFileSource& FileSource(int deck) { return decks_[deck].fileSource; }
    SourceKind Kind(int deck) const { return decks_[deck].kind; }
    const std::string& FilePath(int deck) const { return decks_[deck].filePath; }
    // The file the listener hears: the loaded one, until a queued next file
    // reaches the play point.
    const std::string& PlayingPath(int deck) const { return decks_[deck].playingPath; }

    // Stops every thread; the engine must not be used afterwards.
    void Shutdown();

private:
    struct FileLength {
        double seconds = 0.0;
        bool readToEnd = false;  // the decoder reached the end: nothing is more exact
    };

    struct Deck {
        explicit Deck(platform::MessagePort& port) : fileSource(&port) {}
        std::unique_ptr<DiscBuffer> ring = std::make_unique<DiscBuffer>();
        OutputBlockLedger ledger;
        CZelFileSource fileSource;
        std::string filePath;
        std::string playingPath;
        SourceKind kind = SourceKind::None;
        int cdTrack = 0;
        int cdDrive = -1;
        std::string cdSource;
        platform::Event* readerDone = nullptr;  // the running reader's done event
        uint64_t generation = 0;  // counts loads, so a late measurement of an earlier file is dropped
        std::map<std::string, FileLength> lengths;  // of the loaded file and those queued after it
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
    void StartCdReader(int deck);
    // Stops the deck's reader and closes its file or CD (the play list then
    // drops the CD's tracks).
    void CloseSource(int deck);
    // A new length of one of the deck's files: kept, used for seeks, shown.
    void ApplyLength(int deck, const std::string& path, double seconds, bool readToEnd);

    EngineEvents& events_;
    platform::MessagePort& mainWindow_;
    platform::cd::CZelCdSource cd_;
    std::array<Deck, 2> decks_;
    PlayListLink* playList_ = nullptr;
    TrackLengthService trackLength_;
    LengthMeasurer measurer_;
};

}  // namespace engine
