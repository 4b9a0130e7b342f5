#include "platform/media/AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

namespace platform::media {
namespace {

static_assert(std::endian::native == std::endian::little,
              "Read hands out the host's 16-bit samples as they are");

constexpr int64_t kHundredNsPerSecond = 10'000'000;
constexpr int kBytesPerSample = 2;
// No call may take longer than this, whatever the file holds: FFmpeg's I/O is
// interrupted when the time is up.
constexpr int64_t kTimeLimitMicroseconds = 10'000'000;
// Seeks go this far before the target and decode forward from there: lossy
// decoders need a few frames (MP3's bit reservoir, overlapping transforms)
// before their output is right, and estimated seek points may land late. A
// target that is at most this far ahead is reached by decoding forward, which
// is never more work and is exact for every format.
constexpr double kSeekPrerollSeconds = 0.5;
// Each attempt that lands after the target doubles the preroll; after the last
// one the file is decoded from its start.
constexpr int kSeekAttempts = 3;
// Errors in a row from the decoder with no new input in between: the decoder
// is stuck rather than skipping damaged frames.
constexpr int kMaxErrorsWithoutInput = 16;

std::string FfmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// FFmpeg reports damaged input at length on stderr; our callers get ErrorText
// and damaged frames are skipped silently.
void QuietFfmpegLogOnce() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

}  // namespace

struct AudioDecoder::Impl {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* converter = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int streamIndex = -1;
    AVRational timeBase{0, 1};

    // The input the converter is set up for; a change mid-stream sets it up again.
    AVChannelLayout converterLayout{};
    int converterSampleFormat = -1;
    int converterSampleRate = 0;

    std::string path;
    AudioFormat outFormat;
    int64_t duration100ns = 0;
    std::string title;
    std::string error;

    // Converted samples not yet delivered: pending[pendingBegin, pendingEnd),
    // interleaved. Kept between reads so the steady state allocates nothing.
    std::vector<int16_t> pending;
    size_t pendingBegin = 0;
    size_t pendingEnd = 0;

    // Frame index of the next frame Read delivers (0 = first frame after Open).
    int64_t position = 0;
    // Timestamp of frame 0 in the stream's time base; AV_NOPTS_VALUE when the
    // file gives none (then seeks decode from the start).
    int64_t originTimestamp = AV_NOPTS_VALUE;
    // The stream's first timestamp: a seek whose preroll reaches back this far
    // reopens the file instead.
    int64_t startTimestamp = AV_NOPTS_VALUE;
    bool inputDone = false;  // the demuxer has no more packets; the decoder is draining
    bool ended = false;      // the decoder is drained too

    int64_t deadline = 0;  // av_gettime_relative() value after which FFmpeg I/O gives up

    ~Impl() { Release(); }

    static int Interrupted(void* opaque) {
        return av_gettime_relative() > static_cast<const Impl*>(opaque)->deadline ? 1 : 0;
    }
    void StartTimeLimit() { deadline = av_gettime_relative() + kTimeLimitMicroseconds; }

    bool Fail(std::string text) {
        error = std::move(text);
        return false;
    }

    void Release() {
        swr_free(&converter);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        av_packet_free(&packet);
        av_frame_free(&frame);
        av_channel_layout_uninit(&converterLayout);
        converterSampleFormat = -1;
        converterSampleRate = 0;
        streamIndex = -1;
        timeBase = {0, 1};
        path.clear();
        outFormat = {};
        duration100ns = 0;
        title.clear();
        pendingBegin = pendingEnd = 0;
        position = 0;
        originTimestamp = AV_NOPTS_VALUE;
        startTimestamp = AV_NOPTS_VALUE;
        inputDone = ended = false;
    }

    bool OpenFile(const std::string& utf8Path);
    void ReadMetadata();
    void FeedDecoder();
    bool DecodeFrame();
    bool ConvertFrame();
    bool Refill();
    void DiscardTo(int64_t target);
    void ResetDecoding();
    bool SeekByTimestamp(int64_t target);
    int64_t FrameIndexOf(int64_t timestamp) const {
        return av_rescale_q_rnd(timestamp - originTimestamp, timeBase, AVRational{1, outFormat.sampleRate},
                                static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    }
    size_t PendingFrames() const {
        return (pendingEnd - pendingBegin) / static_cast<size_t>(outFormat.channels);
    }
};

bool AudioDecoder::Impl::OpenFile(const std::string& utf8Path) {
    if (utf8Path.empty()) return Fail("No file name given");
    // Only regular files: opening a FIFO or a device could block for ever.
    struct stat info {};
    if (stat(utf8Path.c_str(), &info) != 0) {
        return Fail("Cannot open the file: " + std::generic_category().message(errno));
    }
    if (!S_ISREG(info.st_mode)) return Fail("Not a regular file");
    if (info.st_size == 0) return Fail("The file is empty");
    if (access(utf8Path.c_str(), R_OK) != 0) return Fail("No permission to read the file");

    StartTimeLimit();
    format = avformat_alloc_context();
    if (!format) return Fail("Out of memory");
    format->interrupt_callback = {&Impl::Interrupted, this};
    // "file:" keeps a name with a colon from being taken for another protocol;
    // the whitelist keeps playlists and the like from reaching elsewhere.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const std::string url = "file:" + utf8Path;
    int result = avformat_open_input(&format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) return Fail("Not a recognized media file (" + FfmpegError(result) + ")");
    result = avformat_find_stream_info(format, nullptr);
    if (result < 0) return Fail("Cannot read the file's streams (" + FfmpegError(result) + ")");

    const AVCodec* decoder = nullptr;
    streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex == AVERROR_DECODER_NOT_FOUND) return Fail("No decoder for the file's audio");
    if (streamIndex < 0) return Fail("The file holds no audio");
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex) format->streams[i]->discard = AVDISCARD_ALL;
    }
    AVStream* stream = format->streams[streamIndex];
    timeBase = stream->time_base;

    codec = avcodec_alloc_context3(decoder);
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (!codec || !packet || !frame) return Fail("Out of memory");
    result = avcodec_parameters_to_context(codec, stream->codecpar);
    if (result < 0) return Fail("Cannot set up the decoder (" + FfmpegError(result) + ")");
    // With the packet time base known, the samples a decoder drops at the start
    // (encoder delay) move the frame timestamps along, so timestamps stay exact.
    codec->pkt_timebase = stream->time_base;
    result = avcodec_open2(codec, decoder, nullptr);
    if (result < 0) return Fail("Cannot open the decoder (" + FfmpegError(result) + ")");

    // Decode ahead: a file counts as audio only when a frame really decodes.
    if (!DecodeFrame()) return Fail("No audio could be decoded from the file");
    if (frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0)
        return Fail("The audio has no valid format");
    outFormat.bitsPerSample = 16;
    outFormat.channels = frame->ch_layout.nb_channels == 1 ? 1 : 2;
    outFormat.sampleRate = frame->sample_rate;
    originTimestamp = frame->best_effort_timestamp;
    if (originTimestamp != AV_NOPTS_VALUE) {
        startTimestamp = originTimestamp;
        if (stream->start_time != AV_NOPTS_VALUE)
            startTimestamp = std::min(startTimestamp, stream->start_time);
    }
    if (!ConvertFrame()) return false;
    position = 0;
    path = utf8Path;

    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        duration100ns = av_rescale_q(stream->duration, timeBase, AVRational{1, kHundredNsPerSecond});
    } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        duration100ns = av_rescale_q(format->duration, AV_TIME_BASE_Q, AVRational{1, kHundredNsPerSecond});
    }
    ReadMetadata();
    return true;
}

void AudioDecoder::Impl::ReadMetadata() {
    for (const AVDictionary* tags :
         {static_cast<const AVDictionary*>(format->metadata),
          static_cast<const AVDictionary*>(format->streams[streamIndex]->metadata)}) {
        const AVDictionaryEntry* entry = av_dict_get(tags, "title", nullptr, 0);
        if (entry && entry->value && entry->value[0] != '\0') {
            title = entry->value;
            return;
        }
    }
}

// Sends the decoder the next packet of our stream, or the flush packet when the
// input ends (end of file, a read error, or the time limit).
void AudioDecoder::Impl::FeedDecoder() {
    for (;;) {
        const int result = av_read_frame(format, packet);
        if (result < 0) {
            inputDone = true;
            avcodec_send_packet(codec, nullptr);
            return;
        }
        if (packet->stream_index != streamIndex) {
            av_packet_unref(packet);
            continue;
        }
        // A packet the decoder rejects is damaged: it is dropped and decoding
        // goes on with the next one.
        avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        return;
    }
}

// Leaves the next decoded frame in `frame`; false at the end of the stream.
bool AudioDecoder::Impl::DecodeFrame() {
    int errorsWithoutInput = 0;
    while (!ended) {
        const int result = avcodec_receive_frame(codec, frame);
        if (result >= 0) {
            if (frame->nb_samples > 0) return true;
            av_frame_unref(frame);
        } else if (result == AVERROR(EAGAIN)) {
            if (inputDone) break;  // the flush packet was refused: nothing more will come
            FeedDecoder();
            errorsWithoutInput = 0;
        } else if (result == AVERROR_EOF || result == AVERROR(ENOMEM) ||
                   ++errorsWithoutInput > kMaxErrorsWithoutInput) {
            break;
        }
        // Any other error is a damaged frame: skip it.
    }
    ended = true;
    return false;
}

// Converts `frame` into the (empty) pending buffer.
bool AudioDecoder::Impl::ConvertFrame() {
    AVChannelLayout input{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&input, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&input, &frame->ch_layout) < 0) {
        return Fail("Out of memory");
    }
    if (!converter || frame->format != converterSampleFormat || frame->sample_rate != converterSampleRate ||
        av_channel_layout_compare(&input, &converterLayout) != 0) {
        swr_free(&converter);
        AVChannelLayout output{};
        av_channel_layout_default(&output, outFormat.channels);
        int result =
            swr_alloc_set_opts2(&converter, &output, AV_SAMPLE_FMT_S16, outFormat.sampleRate, &input,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        if (result >= 0) result = swr_init(converter);
        av_channel_layout_uninit(&output);
        if (result < 0) {
            av_channel_layout_uninit(&input);
            swr_free(&converter);
            return Fail("Cannot convert the audio (" + FfmpegError(result) + ")");
        }
        av_channel_layout_uninit(&converterLayout);
        converterLayout = input;  // takes over what input owns
        input = {};
        converterSampleFormat = frame->format;
        converterSampleRate = frame->sample_rate;
    }
    av_channel_layout_uninit(&input);

    const int capacity = swr_get_out_samples(converter, frame->nb_samples);
    if (capacity < 0) return Fail("Cannot convert the audio");
    const size_t needed = static_cast<size_t>(capacity) * static_cast<size_t>(outFormat.channels);
    if (pending.size() < needed) pending.resize(needed);
    auto* out = reinterpret_cast<uint8_t*>(pending.data());
    const int converted = swr_convert(converter, &out, capacity,
                                      const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    av_frame_unref(frame);
    pendingBegin = 0;
    pendingEnd = converted > 0 ? static_cast<size_t>(converted) * static_cast<size_t>(outFormat.channels) : 0;
    return converted >= 0 || Fail("Cannot convert the audio (" + FfmpegError(converted) + ")");
}

// Decodes and converts the next frame; false at the end of the stream.
bool AudioDecoder::Impl::Refill() {
    while (DecodeFrame()) {
        if (!ConvertFrame()) {
            ended = true;
            return false;
        }
        if (pendingEnd > pendingBegin) return true;
    }
    return false;
}

// Drops frames until `position` reaches target or the stream ends.
void AudioDecoder::Impl::DiscardTo(int64_t target) {
    while (position < target) {
        if (pendingBegin == pendingEnd && !Refill()) return;
        const size_t frames = std::min(PendingFrames(), static_cast<size_t>(target - position));
        pendingBegin += frames * static_cast<size_t>(outFormat.channels);
        position += static_cast<int64_t>(frames);
    }
}

void AudioDecoder::Impl::ResetDecoding() {
    avcodec_flush_buffers(codec);
    pendingBegin = pendingEnd = 0;
    inputDone = ended = false;
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
        // Near the start the caller reopens the file instead: demuxers disagree on
        // where a seek to the start lands (before or after priming packets), and
        // a flushed decoder is not quite a fresh one.
        if (seekTimestamp <= startTimestamp) return false;
        if (av_seek_frame(format, streamIndex, seekTimestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
        ResetDecoding();
        if (!DecodeFrame() || frame->best_effort_timestamp == AV_NOPTS_VALUE) return false;
        const int64_t frameIndex = FrameIndexOf(frame->best_effort_timestamp);
        if (frameIndex > target) {
            av_frame_unref(frame);  // landed after the target: go back further
            continue;
        }
        if (!ConvertFrame()) return false;
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

bool AudioDecoder::Open(const std::string& utf8Path) {
    Close();
    impl_->error.clear();
    if (impl_->OpenFile(utf8Path)) return true;
    std::string error = std::move(impl_->error);
    Close();
    impl_->error = std::move(error);
    return false;
}

void AudioDecoder::Close() {
    impl_->Release();
}

bool AudioDecoder::IsOpen() const {
    return impl_->format != nullptr && impl_->streamIndex >= 0 && !impl_->path.empty();
}

AudioFormat AudioDecoder::Format() const {
    return impl_->outFormat;
}

int64_t AudioDecoder::Duration100ns() const {
    return impl_->duration100ns;
}

std::string AudioDecoder::Title() const {
    return impl_->title;
}

size_t AudioDecoder::Read(uint8_t* dest, size_t bytes) {
    Impl& d = *impl_;
    if (!IsOpen() || dest == nullptr) return 0;
    d.StartTimeLimit();
    const size_t frameBytes = static_cast<size_t>(d.outFormat.channels) * kBytesPerSample;
    const size_t wanted = bytes / frameBytes;
    size_t done = 0;
    while (done < wanted) {
        if (d.pendingBegin == d.pendingEnd && !d.Refill()) break;
        const size_t frames = std::min(wanted - done, d.PendingFrames());
        std::memcpy(dest + done * frameBytes, d.pending.data() + d.pendingBegin, frames * frameBytes);
        d.pendingBegin += frames * static_cast<size_t>(d.outFormat.channels);
        done += frames;
    }
    d.position += static_cast<int64_t>(done);
    return done * frameBytes;
}

bool AudioDecoder::Seek(int64_t time100ns) {
    Impl& d = *impl_;
    if (!IsOpen()) return false;
    d.StartTimeLimit();
    const int64_t rate = d.outFormat.sampleRate;
    int64_t target =
        av_rescale_rnd(std::max<int64_t>(time100ns, 0), rate, kHundredNsPerSecond, AV_ROUND_NEAR_INF);
    if (d.duration100ns > 0) {
        target =
            std::min(target, av_rescale_rnd(d.duration100ns, rate, kHundredNsPerSecond, AV_ROUND_NEAR_INF));
    }
    const auto prerollFrames = static_cast<int64_t>(kSeekPrerollSeconds * static_cast<double>(rate));
    if (target >= d.position && target - d.position <= prerollFrames) {
        d.DiscardTo(target);
        return true;
    }
    if (d.originTimestamp != AV_NOPTS_VALUE && d.SeekByTimestamp(target)) return true;

    // Near the start, or without usable timestamps: open the file afresh, which
    // gives exactly the samples Open gave, and decode up to the target.
    const std::string path = d.path;
    if (!Open(path)) return false;
    d.StartTimeLimit();
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
