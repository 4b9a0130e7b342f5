#include "platform/media/AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/media/AudioStream.h"
#include "platform/media/MediaFile.h"
#include "platform/media/SampleConverter.h"

namespace platform::media {
namespace {

static_assert(std::endian::native == std::endian::little,
              "Read hands out the host's 16-bit samples as they are");

constexpr int64_t kHundredNsPerSecond = 10'000'000;
constexpr int kBytesPerSample = 2;
// Seeks go this far before the target and decode forward from there: lossy
// decoders need a few frames (MP3's bit reservoir, overlapping transforms)
// before their output is right, and estimated seek points may land late. A
// target that is at most this far ahead is reached by decoding forward, which
// is never more work and is exact for every format.
constexpr double kSeekPrerollSeconds = 0.5;
// Each attempt that lands after the target doubles the preroll; after the last
// one the file is decoded from its start.
constexpr int kSeekAttempts = 3;
// How far timestamps may stray from the sample count (ASF counts in whole ms).
constexpr double kTimestampSlackSeconds = 0.002;

// FFmpeg reports damaged input at length on stderr; our callers get ErrorText
// and damaged frames are skipped silently.
void QuietFfmpegLogOnce() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

}  // namespace

struct AudioDecoder::Impl {
    AudioStream stream;
    SampleConverter converter;
    int outputRate = 0;  // as asked for at Open: 0 = the file's own
    AudioFormat outFormat;
    int64_t statedDuration100ns = 0;
    int64_t ownerDuration100ns = 0;  // from SetDuration100ns; 0 = none
    std::string title;
    std::string error;

    // converter.Output() from here on is not delivered yet. Kept between reads
    // so the steady state allocates nothing.
    size_t pendingBegin = 0;

    // Output frame index of the next frame Read delivers (0 = first after Open).
    int64_t position = 0;
    // The unit of the stream's timestamps: its time base, unless they are
    // plainly counted in samples.
    AVRational timeBase{0, 1};
    // Timestamp of frame 0; AV_NOPTS_VALUE when the file gives no usable ones
    // (then seeks decode from the start).
    int64_t originTimestamp = AV_NOPTS_VALUE;
    // The stream's first timestamp: a seek whose preroll reaches back this far
    // opens the stream afresh instead.
    int64_t startTimestamp = AV_NOPTS_VALUE;
    bool flushed = false;  // the converter has handed out what it held at the end
    bool ended = false;    // nothing more to deliver

    bool IsOpen() const { return stream.IsOpen(); }
    bool Fail(std::string text) {
        error = std::move(text);
        return false;
    }
    void Release() {
        stream.Close();
        converter.Configure(2, 0);
        outFormat = {};
        statedDuration100ns = 0;
        title.clear();
        pendingBegin = 0;
        position = 0;
        timeBase = {0, 1};
        originTimestamp = startTimestamp = AV_NOPTS_VALUE;
        flushed = ended = false;
    }
    size_t PendingFrames() const {
        return (converter.OutputSamples() - pendingBegin) / static_cast<size_t>(outFormat.channels);
    }

    bool OpenStream(std::shared_ptr<MediaFile> file);
    void CheckTimestamps(int64_t second, int firstSamples, int firstRate);
    bool Refill();
    void DiscardTo(int64_t target);
    bool SeekByTimestamp(int64_t target);
};

bool AudioDecoder::Impl::OpenStream(std::shared_ptr<MediaFile> file) {
    Release();
    if (!stream.Open(std::move(file), error)) return false;
    const AVFrame* frame = stream.Frame();
    outFormat.bitsPerSample = 16;
    outFormat.channels = frame->ch_layout.nb_channels == 1 ? 1 : 2;
    outFormat.sampleRate = outputRate > 0 ? outputRate : frame->sample_rate;
    converter.Configure(outFormat.channels, outFormat.sampleRate);
    timeBase = stream.TimeBase();
    originTimestamp = frame->best_effort_timestamp;
    const int firstSamples = frame->nb_samples;
    const int firstRate = frame->sample_rate;
    if (!converter.Convert(frame, 0, error)) return false;
    // The second frame shows whether the timestamps can place a seek.
    if (originTimestamp != AV_NOPTS_VALUE && stream.DecodeFrame()) {
        CheckTimestamps(stream.Frame()->best_effort_timestamp, firstSamples, firstRate);
        if (!converter.Convert(stream.Frame(), 0, error)) return false;
    }
    if (originTimestamp != AV_NOPTS_VALUE) {
        startTimestamp = originTimestamp;
        const int64_t streamStart = stream.Stream()->start_time;
        if (streamStart != AV_NOPTS_VALUE && av_cmp_q(timeBase, stream.TimeBase()) == 0)
            startTimestamp = std::min(startTimestamp, streamStart);
    }
    statedDuration100ns = stream.HeaderDuration100ns();
    title = stream.Title();
    return true;
}

// Seeks are placed by timestamps only when the second frame starts where the
// first one's length says. A FLAC file that lost its header counts timestamps
// in samples under FFmpeg's default 90 kHz time base: then samples it is.
// Anything else (no timestamp, a jump) leaves seeks to decoding from the start.
void AudioDecoder::Impl::CheckTimestamps(int64_t second, int firstSamples, int firstRate) {
    const int64_t step = second - originTimestamp;
    const double expected = static_cast<double>(firstSamples) / firstRate;
    if (second != AV_NOPTS_VALUE && std::abs(static_cast<double>(step) * av_q2d(timeBase) - expected) <=
                                        kTimestampSlackSeconds + expected / 100)
        return;
    if (second != AV_NOPTS_VALUE && step == firstSamples) {
        timeBase = AVRational{1, firstRate};
        return;
    }
    originTimestamp = AV_NOPTS_VALUE;
}

// Decodes and converts until there is something to deliver; false at the end
// of the stream, once the converter has handed out what it held.
bool AudioDecoder::Impl::Refill() {
    converter.ClearOutput();
    pendingBegin = 0;
    while (!ended && stream.DecodeFrame()) {
        if (!converter.Convert(stream.Frame(), 0, error)) ended = true;
        if (converter.OutputSamples() > 0) return true;
    }
    if (!flushed) {
        flushed = true;
        converter.Flush();
    }
    ended = true;
    return converter.OutputSamples() > 0;
}

// Drops frames until `position` reaches target or the stream ends.
void AudioDecoder::Impl::DiscardTo(int64_t target) {
    while (position < target) {
        if (PendingFrames() == 0 && !Refill()) return;
        const size_t frames = std::min(PendingFrames(), static_cast<size_t>(target - position));
        pendingBegin += frames * static_cast<size_t>(outFormat.channels);
        position += static_cast<int64_t>(frames);
    }
}

// Seeks the demuxer before the target and decodes forward to it, placing the
// first decoded frame by its timestamp. False when that cannot be done (the
// caller then decodes from the start).
bool AudioDecoder::Impl::SeekByTimestamp(int64_t target) {
    const AVRational frameTime{1, outFormat.sampleRate};
    const int64_t targetTimestamp = originTimestamp + av_rescale_q(target, frameTime, timeBase);
    const auto prerollFrames = static_cast<int64_t>(kSeekPrerollSeconds * outFormat.sampleRate);
    for (int attempt = 0; attempt < kSeekAttempts; ++attempt) {
        const int64_t preroll = av_rescale_q(prerollFrames << attempt, frameTime, timeBase);
        const int64_t seekTimestamp = targetTimestamp - preroll;
        // Near the start the caller opens the stream afresh instead: demuxers
        // disagree on where a seek to the start lands (before or after priming
        // packets), and a flushed decoder is not quite a fresh one.
        if (seekTimestamp <= startTimestamp) return false;
        if (!stream.SeekTo(seekTimestamp)) return false;
        converter.Reset();
        converter.ClearOutput();
        pendingBegin = 0;
        flushed = ended = false;
        if (!stream.DecodeFrame()) return false;
        const AVFrame* frame = stream.Frame();
        if (frame->best_effort_timestamp == AV_NOPTS_VALUE) return false;
        // When resampling, the new start is moved onto an input sample that
        // falls exactly on an output sample, so the output from here is the
        // output a decode from the start gives.
        const int inputRate = frame->sample_rate;
        const int64_t inputIndex = av_rescale_q_rnd(
            frame->best_effort_timestamp - originTimestamp, timeBase, AVRational{1, inputRate},
            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
        int64_t skip = converter.AlignmentSkip(inputIndex, inputRate);
        const int64_t frameIndex = converter.OutputIndex(inputIndex + skip, inputRate);
        if (frameIndex > target) continue;  // landed after the target: go back further
        while (skip >= frame->nb_samples) {
            skip -= frame->nb_samples;
            if (!stream.DecodeFrame()) return false;
        }
        if (!converter.Convert(frame, static_cast<int>(skip), error)) return false;
        position = frameIndex;
        DiscardTo(target);
        return true;
    }
    return false;
}

AudioDecoder::AudioDecoder() : impl_(std::make_unique<Impl>()) {
    QuietFfmpegLogOnce();
}

AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::Open(const std::string& utf8Path, int outputRate) {
    Close();
    impl_->error.clear();
    std::shared_ptr<MediaFile> file = MediaFile::Open(utf8Path, &impl_->error);
    return file && Open(std::move(file), outputRate);
}

bool AudioDecoder::Open(std::shared_ptr<MediaFile> file, int outputRate) {
    Close();
    impl_->error.clear();
    impl_->outputRate = std::max(outputRate, 0);
    if (impl_->OpenStream(std::move(file))) return true;
    std::string error = std::move(impl_->error);
    Close();
    impl_->error = std::move(error);
    return false;
}

void AudioDecoder::Close() {
    impl_->Release();
    impl_->ownerDuration100ns = 0;
}

bool AudioDecoder::IsOpen() const {
    return impl_->IsOpen();
}

std::shared_ptr<MediaFile> AudioDecoder::File() const {
    return impl_->stream.File();
}

AudioFormat AudioDecoder::Format() const {
    return impl_->outFormat;
}

int64_t AudioDecoder::Duration100ns() const {
    if (!IsOpen()) return 0;
    return impl_->ownerDuration100ns > 0 ? impl_->ownerDuration100ns : impl_->statedDuration100ns;
}

void AudioDecoder::SetDuration100ns(int64_t duration100ns) {
    if (IsOpen()) impl_->ownerDuration100ns = std::max<int64_t>(duration100ns, 0);
}

std::string AudioDecoder::Title() const {
    return impl_->title;
}

size_t AudioDecoder::Read(uint8_t* dest, size_t bytes) {
    Impl& d = *impl_;
    if (!IsOpen() || dest == nullptr) return 0;
    d.stream.StartTimeLimit();
    const size_t frameBytes = static_cast<size_t>(d.outFormat.channels) * kBytesPerSample;
    const size_t wanted = bytes / frameBytes;
    size_t done = 0;
    while (done < wanted) {
        if (d.PendingFrames() == 0 && !d.Refill()) break;
        const size_t frames = std::min(wanted - done, d.PendingFrames());
        std::memcpy(dest + done * frameBytes, d.converter.Output() + d.pendingBegin, frames * frameBytes);
        d.pendingBegin += frames * static_cast<size_t>(d.outFormat.channels);
        done += frames;
    }
    d.position += static_cast<int64_t>(done);
    return done * frameBytes;
}

bool AudioDecoder::Seek(int64_t time100ns) {
    Impl& d = *impl_;
    if (!IsOpen()) return false;
    d.stream.StartTimeLimit();
    const int64_t rate = d.outFormat.sampleRate;
    int64_t target =
        av_rescale_rnd(std::max<int64_t>(time100ns, 0), rate, kHundredNsPerSecond, AV_ROUND_NEAR_INF);
    // Only a length the owner measured limits the target: a stated one may be
    // short of the real end.
    if (d.ownerDuration100ns > 0) {
        target = std::min(target,
                          av_rescale_rnd(d.ownerDuration100ns, rate, kHundredNsPerSecond, AV_ROUND_NEAR_INF));
    }
    const auto prerollFrames = static_cast<int64_t>(kSeekPrerollSeconds * static_cast<double>(rate));
    if (target >= d.position && target - d.position <= prerollFrames) {
        d.DiscardTo(target);
        return true;
    }
    if (d.originTimestamp != AV_NOPTS_VALUE && d.SeekByTimestamp(target)) return true;

    // Near the start, or without usable timestamps: open the stream afresh from
    // the same file, which gives exactly the samples Open gave, and decode up to
    // the target.
    std::shared_ptr<MediaFile> file = d.stream.File();
    if (!d.OpenStream(std::move(file))) {
        std::string error = std::move(d.error);
        Close();
        d.error = std::move(error);
        return false;
    }
    d.stream.StartTimeLimit();
    d.DiscardTo(target);
    return true;
}

int64_t AudioDecoder::PositionFrames() const {
    return impl_->position;
}

const std::string& AudioDecoder::ErrorText() const {
    return impl_->error;
}

}  // namespace platform::media
