#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::cd {

constexpr int32_t kSectorBytes = 2'352;
constexpr int32_t kBytesPerSecond = 176'400;
constexpr int32_t kBlockBytes = 11'760;          // 5 sectors, 1/15 s
constexpr int32_t kDiscBufferBytes = 1'999'200;  // 170 blocks

// The CD drives and the discs open in the two decks. One object for the
// program.
//
// A deck's disc is a drive's or a CD image's (.cue with its .bin, .toc, .nrg);
// its audio tracks are laid end to end, and a byte position runs over them:
// 16-bit stereo 44.1 kHz PCM, 176,400 bytes a second.
//
// Threads: the user-interface thread (or a one-shot open thread of the deck)
// opens and closes, the deck's reader thread calls Read, and the getters may
// be called from the user-interface thread while the reader reads. Decks are
// independent. A deck's disc is never closed while its reader runs.
class CZelCdSource {
public:
    struct Drive {
        std::string device;  // e.g. /dev/sr0
        std::string name;    // what the user sees: vendor and model, else the device path
    };
    static constexpr int kDecks = 2;

    CZelCdSource();   // lists the drives
    ~CZelCdSource();  // closes both decks' discs
    CZelCdSource(const CZelCdSource&) = delete;
    CZelCdSource& operator=(const CZelCdSource&) = delete;

    // The drives libcdio finds (never one named "Image Recorder"); empty
    // without any. User-interface thread.
    const std::vector<Drive>& Drives() const;
    void RefreshDrives();

    // Close the deck's disc first, then open drive `drive` (an index into
    // Drives()) or a CD image file (.cue, .toc, .nrg, or the .bin of a .cue).
    // False, with one sentence for the user in `error`, when there is no disc,
    // no audio track, a damaged or truncated image, a .cue naming a missing
    // file, or anything else; the deck then has no disc. Byte position 0 after
    // opening. Any thread, one deck at a time.
    bool OpenCd(int deck, int drive, std::string& error);
    bool OpenImage(int deck, const std::string& path, std::string& error);
    void CloseCd(int deck);
    bool IsOpen(int deck) const;
    // The drive's name, or the image path, while a disc is open; else empty.
    const std::string& Name(int deck) const;

    // Where Read delivers for the deck: `bytes` is the deck's disc buffer,
    // `size` bytes long (a multiple of kBlockBytes). Set once; stays valid
    // while the source lives.
    void SetDiscBuffer(int deck, uint8_t* bytes, int32_t size);
    // The next byte delivered goes here (0 when a reader starts).
    void SetWriteOffset(int deck, int32_t offset);
    int32_t WriteOffset(int deck) const;
    // Extracts `bytes` (a multiple of kBlockBytes) from the byte position and
    // delivers them in order into the disc buffer at the write offset, wrapping
    // at its end to offset 0; the write offset and the byte position advance
    // by `bytes`. Audio past the end of the last audio track, and sectors a
    // drive cannot read even with paranoia's repairs, are delivered as silence.
    // False only when no disc is open. Reader thread; does not allocate.
    bool Read(int deck, int32_t bytes);

    // The table of contents: audio tracks only, numbered from 1 in disc
    // order. A track runs to the next one's start (a pregap belongs to the
    // track before), the last to the end of the audio. Seconds = bytes / 176,400.
    int TrackCount(int deck) const;
    double TrackLength(int deck, int track) const;  // 0 for a track that does not exist
    double TotalLength(int deck) const;
    int64_t TrackStartByte(int deck, int track) const;  // sum of the bytes of tracks 1 .. track-1
    int64_t TotalBytes(int deck) const;
    // The track the byte position lies in (a position exactly at a track's
    // end is in the next track); TrackCount + 1 past the last track, 0 without
    // a disc.
    int CurrentTrack(int deck) const;
    // Seconds into CurrentTrack.
    double PositionInTrack(int deck) const;
    int64_t BytePosition(int deck) const;
    // Byte position = the start of track n (the end of the audio for a track
    // past the last).
    void SeekTrackStart(int deck, int track);
    // Byte position = start of `track` + seconds x 176,400 (truncated),
    // rounded down to a whole sector, at most the end of the audio.
    void SeekInTrack(int deck, int track, double seconds);

private:
    struct Deck;
    Deck* DeckAt(int deck) const;

    std::vector<Drive> drives_;
    std::array<std::unique_ptr<Deck>, kDecks> decks_;
};

}  // namespace platform::cd
