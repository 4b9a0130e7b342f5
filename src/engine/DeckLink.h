#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace engine {

// What the engine asks of a deck's window when it loads a file. The deck
// window implements it; until then the engine runs without one.
class DeckLink {
public:
    virtual ~DeckLink() = default;
    virtual bool IsPlaying() const = 0;
    virtual void Pause() = 0;
    // The load failed: the source chooser goes back to "Nothing Loaded".
    virtual void ShowNothingLoaded() = 0;
    // The load succeeded: the deck shows the file, its title and its length,
    // ends a pending track change and puts its position slide at 0.
    virtual void TakeLoadedFile(const std::string& path, const std::string& title, double lengthSeconds) = 0;
    // The turntable lamps get the deck's colours again.
    virtual void ResetLeds() = 0;

    // While the deck plays. Each has nothing to do until the deck's window shows it.
    // The deck's new buffers exist: its tempo applies to them.
    virtual void OnPrimed(uint32_t /*sampleRate*/) {}
    // The end of the track reached the play point: the deck stops itself (by a
    // posted stop, as this runs inside the play notification's handling).
    virtual void OnEndOfTrack() {}
    // A queued next file has begun to play.
    virtual void OnTrackChanged(const std::string& /*path*/, const std::string& /*title*/,
                                double /*length*/) {}
    // Another track of the deck's CD has begun to play.
    virtual void OnCdTrackChanged(int /*track*/, double /*lengthSeconds*/) {}
    // The playing file's true length is known (measured, or read to its end).
    virtual void OnLengthKnown(double /*seconds*/) {}
    virtual void AdvanceLeds() {}
    virtual void RetreatLeds() {}
    // Every third block: the time shown, given the bytes written ahead of the listener.
    virtual void RefreshTime(int /*bytesWrittenAhead*/) {}

    // What the main window's core asks of a deck besides the engine's news.
    virtual bool IsCueOn() const { return false; }
    virtual void TogglePlay() {}  // as the play button does
    virtual bool LoadPath(const std::string& /*path*/) { return false; }
    // A play list's CD track: the CD `source` (a drive's device, or an image)
    // is loaded unless the deck holds it, and read from the track's start.
    virtual bool LoadCdTrack(const std::string& /*source*/, int /*track*/) { return false; }
    virtual void OnTrackChangePending() {}  // the source moved on; earlier blocks still play
    virtual void ShowQueuedTime(int /*bytesWrittenAhead*/) {}  // the time display, from what is queued
};

// The mixer's part in playback: new buffers start at full volume, so the
// cross faders' gains are applied again.
// What the engine asks of the play list.
class PlayListLink {
public:
    virtual ~PlayListLink() = default;
    // The path of the deck's entry after its current one, if there is one.
    virtual std::optional<std::string> NextPathFor(int deck) = 0;
    // The result of a track-length request (length -1.0 when the file could not be read).
    virtual void TrackLengthMeasured(const std::string& path, const std::string& title,
                                     double lengthSeconds) = 0;
    // The deck's queued next file has begun to play: its entry is the loaded one.
    virtual void QueuedFileReachedPlayPoint(int /*deck*/) {}
    // Another track of the deck's CD has begun to play.
    virtual void CdTrackReachedPlayPoint(int /*deck*/, int /*track*/) {}
};

}  // namespace engine
