#pragma once

extern "C" {
#include <libavutil/rational.h>
}

#include <cstdint>
#include <memory>
#include <string>

#include "platform/media/MediaInput.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace platform::media {

class MediaFile;

// The first audio stream of a MediaFile, demuxed and decoded into FFmpeg
// frames (any sample format, layout and rate). Damaged packets are skipped.
//
// Not thread-safe: one thread at a time.
class AudioStream {
public:
    AudioStream();
    ~AudioStream();
    AudioStream(const AudioStream&) = delete;
    AudioStream& operator=(const AudioStream&) = delete;

    // Opens the file's best audio stream and decodes its first frame, which is
    // then in Frame(): a file counts as audio only when a frame really decodes.
    // On failure *error says why and the stream stays closed.
    bool Open(std::shared_ptr<MediaFile> file, std::string& error);
    void Close();
    bool IsOpen() const { return codec_ != nullptr; }

    void StartTimeLimit() { input_.StartTimeLimit(); }
    const std::shared_ptr<MediaFile>& File() const { return input_.File(); }
    AVStream* Stream() const;
    AVRational TimeBase() const { return timeBase_; }
    // The length the header states, in 100-ns units; 0 when it states none.
    int64_t HeaderDuration100ns() const;
    // The container's "title" tag, else the stream's; "" when none.
    std::string Title() const;

    // The frame the last successful DecodeFrame (or Open) left.
    AVFrame* Frame() const { return frame_; }
    // Decodes the next frame into Frame(); false at the end of the stream.
    bool DecodeFrame();

    // Moves the demuxer to a seek point at or before `timestamp` (in the
    // stream's time base) and empties the decoder.
    bool SeekTo(int64_t timestamp);

    // For measuring: the next packet of the stream, demuxed only (the decoder
    // sees none of them). False at the end of the file.
    bool ReadPacket(AVPacket*& packet);

private:
    void FeedDecoder();

    MediaInput input_;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int streamIndex_ = -1;
    AVRational timeBase_{0, 1};
    bool inputDone_ = false;  // the demuxer has no more packets; the decoder is draining
    bool ended_ = false;      // the decoder is drained too
};

}  // namespace platform::media
