#include "platform/media/MeasuredLength.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
}

#include <vector>

#include "platform/media/AudioDecoder.h"
#include "platform/media/AudioStream.h"
#include "platform/media/MediaFile.h"

namespace platform::media {
namespace {

constexpr int64_t kHundredNsPerSecond = 10'000'000;
// The stretch at the end that is decoded, not just demuxed: the last packets
// may be cut short or damaged, and only the decoder knows what they give.
constexpr int64_t kDecodedTail100ns = kHundredNsPerSecond;
// Packets between looks at the cancel flag (and fresh time limits).
constexpr int kPacketsPerCheck = 256;
constexpr size_t kReadBytes = size_t{64} * 1024;

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load(std::memory_order_relaxed);
}

// Demuxes the rest of the stream. Returns the end timestamp when every packet
// has a timestamp and a duration and each starts where the one before ended;
// AV_NOPTS_VALUE otherwise (and when cancelled).
int64_t DemuxedEnd(AudioStream& stream, const std::atomic<bool>* cancel) {
    int64_t end = AV_NOPTS_VALUE;
    AVPacket* packet = nullptr;
    for (int count = 1; stream.ReadPacket(packet); ++count) {
        if (count % kPacketsPerCheck == 0) {
            if (Cancelled(cancel)) return AV_NOPTS_VALUE;
            stream.StartTimeLimit();
        }
        const int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (start == AV_NOPTS_VALUE || packet->duration <= 0) return AV_NOPTS_VALUE;
        if (end != AV_NOPTS_VALUE && start != end) return AV_NOPTS_VALUE;
        end = start + packet->duration;
    }
    return end;
}

}  // namespace

int64_t MeasuredLength::Duration100ns() const {
    return sampleRate > 0 ? av_rescale_rnd(frames, kHundredNsPerSecond, sampleRate, AV_ROUND_NEAR_INF) : 0;
}

int64_t MeasuredLength::FramesAt(int outputRate) const {
    if (outputRate <= 0 || outputRate == sampleRate || sampleRate <= 0) return frames;
    // The resampler delivers every output frame whose instant lies before the
    // end of the input.
    return av_rescale_rnd(frames, outputRate, sampleRate, AV_ROUND_UP);
}

MeasuredLength MeasureLength(const std::shared_ptr<MediaFile>& file, const std::atomic<bool>* cancel) {
    MeasuredLength result;
    int64_t tailStart100ns = 0;  // from here on the audio is decoded and counted
    {
        AudioStream stream;
        if (!stream.Open(file, result.error)) return result;
        result.sampleRate = stream.Frame()->sample_rate;
        const int64_t origin = stream.Frame()->best_effort_timestamp;
        if (origin != AV_NOPTS_VALUE) {
            const int64_t end = DemuxedEnd(stream, cancel);
            if (Cancelled(cancel)) {
                result.cancelled = true;
                return result;
            }
            if (end != AV_NOPTS_VALUE) {
                tailStart100ns =
                    av_rescale_q(end - origin, stream.TimeBase(), AVRational{1, kHundredNsPerSecond}) -
                    kDecodedTail100ns;
            }
        }
    }

    AudioDecoder decoder;
    if (!decoder.Open(file)) {
        result.error = decoder.ErrorText();
        return result;
    }
    if (tailStart100ns > 0 && !decoder.Seek(tailStart100ns)) {
        result.error = decoder.ErrorText();
        return result;
    }
    std::vector<uint8_t> block(kReadBytes);
    while (decoder.Read(block.data(), block.size()) > 0) {
        if (Cancelled(cancel)) {
            result.cancelled = true;
            return result;
        }
    }
    result.frames = decoder.PositionFrames();
    result.seconds = static_cast<double>(result.frames) / result.sampleRate;
    result.ok = true;
    return result;
}

}  // namespace platform::media
