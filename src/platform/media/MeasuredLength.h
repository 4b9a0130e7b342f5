#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::media {

class MediaFile;

// The exact length of a file's audio, as AudioDecoder delivers it.
struct MeasuredLength {
    bool ok = false;         // measured to the end of the audio
    bool cancelled = false;  // stopped early because *cancel became true
    // Frames Read delivers from Open to the end at the file's own rate.
    int64_t frames = 0;
    int sampleRate = 0;  // the file's own
    double seconds = 0;
    std::string error;  // why not ok, when not cancelled

    // For AudioDecoder::SetDuration100ns.
    int64_t Duration100ns() const;
    // The frames Read delivers when the decoder converts to outputRate (0 = the
    // file's own rate).
    int64_t FramesAt(int outputRate) const;
};

// Measures what the header of a file only states. Where every packet carries a
// timestamp and a duration and they follow on without gaps, the file is only
// demuxed to the end and its last second decoded (a 5-minute MP3 takes about a
// tenth of the time decoding it would); otherwise it is decoded and counted.
//
// Reads through the MediaFile, so it may run on any thread while a decoder
// plays the same file. `cancel`, when given, is polled often; once true the
// measurement stops soon with cancelled set.
MeasuredLength MeasureLength(const std::shared_ptr<MediaFile>& file,
                             const std::atomic<bool>* cancel = nullptr);

}  // namespace platform::media
