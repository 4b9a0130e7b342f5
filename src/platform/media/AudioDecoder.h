#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::media {

class MediaFile;

// What Read delivers: always 16-bit; 1 or 2 channels; the file's own rate or
// the output rate asked for at Open.
struct AudioFormat {
    int bitsPerSample = 16;
    int channels = 2;
    int sampleRate = 44100;
};

// Decodes the first audio stream of a music file (anything FFmpeg decodes)
// into interleaved signed 16-bit little-endian PCM, at the file's own sample
// rate or at one given at Open. Mono stays mono; more than two channels are
// mixed down to stereo (front pair at full level, centre and surrounds 3 dB
// down, LFE left out, peaks limited rather than clipped).
//
// The file is read through a MediaFile kept open, never by name after Open,
// so it plays on when deleted or moved.
//
// Sample 0 is the first sample Read delivers after Open; Seek and
// PositionFrames count from there, in output frames.
//
// Not thread-safe: one thread at a time may use an instance (any thread, but
// not two at once).
class AudioDecoder {
public:
    AudioDecoder();
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Closes what was open first. Only regular, readable, non-empty files are
    // opened, and only when at least one frame of audio decodes. outputRate 0
    // keeps the file's own rate; any other rate is converted to. On failure
    // ErrorText() says why and the decoder stays closed.
    bool Open(const std::string& utf8Path, int outputRate = 0);
    bool Open(std::shared_ptr<MediaFile> file, int outputRate = 0);
    void Close();
    bool IsOpen() const;
    // The file being decoded; nullptr when closed.
    std::shared_ptr<MediaFile> File() const;

    AudioFormat Format() const;
    // In 100-ns units: what SetDuration100ns gave, else what the file states;
    // 0 when unknown or closed. Stated lengths can be far off (VBR MP3 without
    // a seek table, truncated or damaged files): MeasureLength tells the truth.
    int64_t Duration100ns() const;
    // The owner's exact length (from MeasureLength); 0 forgets it. Seek then
    // clamps to it. Kept until the next Open or Close.
    void SetDuration100ns(int64_t duration100ns);
    // The container's "title" tag, else the audio stream's; "" when none.
    std::string Title() const;

    // Fills dest with whole frames; returns the bytes written. Fewer bytes than
    // asked for (rounded down to whole frames) only at the end of the stream,
    // and 0 on every call after that.
    size_t Read(uint8_t* dest, size_t bytes);

    // Moves so that the next Read starts at output frame
    // round(time100ns * rate / 1e7), clamped to [0, end] (the end as the audio
    // ends, or as SetDuration100ns gave; never a length the file merely
    // states). Exact for PCM and lossless formats; for formats whose demuxer
    // seeks by estimate (MP3, WMA) within one codec frame.
    bool Seek(int64_t time100ns);
    // Frames delivered since the start of the stream; after Seek, the target.
    int64_t PositionFrames() const;

    const std::string& ErrorText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::media
