#include "platform/media/AudioStream.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

#include <cerrno>
#include <initializer_list>

#include "platform/media/MediaFile.h"

namespace platform::media {
namespace {

constexpr int64_t kHundredNsPerSecond = 10'000'000;
// Errors in a row from the decoder with no new input in between: the decoder
// is stuck rather than skipping damaged frames.
constexpr int kMaxErrorsWithoutInput = 16;

std::string FfmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

AudioStream::AudioStream() = default;

AudioStream::~AudioStream() {
    Close();
}

void AudioStream::Close() {
    avcodec_free_context(&codec_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    input_.Close();
    streamIndex_ = -1;
    timeBase_ = {0, 1};
    inputDone_ = ended_ = false;
}

bool AudioStream::Open(std::shared_ptr<MediaFile> file, std::string& error) {
    Close();
    const auto fail = [&](std::string text) {
        Close();
        error = std::move(text);
        return false;
    };
    if (!input_.Open(std::move(file), error)) return fail(error);
    AVFormatContext* format = input_.Context();

    const AVCodec* decoder = nullptr;
    streamIndex_ = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex_ == AVERROR_DECODER_NOT_FOUND) return fail("No decoder for the file's audio");
    if (streamIndex_ < 0) return fail("The file holds no audio");
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex_) format->streams[i]->discard = AVDISCARD_ALL;
    }
    AVStream* stream = format->streams[streamIndex_];
    timeBase_ = stream->time_base;

    codec_ = avcodec_alloc_context3(decoder);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!codec_ || !packet_ || !frame_) return fail("Out of memory");
    int result = avcodec_parameters_to_context(codec_, stream->codecpar);
    if (result < 0) return fail("Cannot set up the decoder (" + FfmpegError(result) + ")");
    // With the packet time base known, the samples a decoder drops at the start
    // (encoder delay) move the frame timestamps along, so timestamps stay exact.
    codec_->pkt_timebase = stream->time_base;
    result = avcodec_open2(codec_, decoder, nullptr);
    if (result < 0) return fail("Cannot open the decoder (" + FfmpegError(result) + ")");

    if (!DecodeFrame()) return fail("No audio could be decoded from the file");
    if (frame_->sample_rate <= 0 || frame_->ch_layout.nb_channels <= 0)
        return fail("The audio has no valid format");
    return true;
}

AVStream* AudioStream::Stream() const {
    return IsOpen() ? input_.Context()->streams[streamIndex_] : nullptr;
}

int64_t AudioStream::HeaderDuration100ns() const {
    const AVStream* stream = Stream();
    if (!stream) return 0;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return av_rescale_q(stream->duration, timeBase_, AVRational{1, kHundredNsPerSecond});
    const AVFormatContext* format = input_.Context();
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return av_rescale_q(format->duration, AV_TIME_BASE_Q, AVRational{1, kHundredNsPerSecond});
    return 0;
}

std::string AudioStream::Title() const {
    if (!IsOpen()) return {};
    for (const AVDictionary* tags : {static_cast<const AVDictionary*>(input_.Context()->metadata),
                                     static_cast<const AVDictionary*>(Stream()->metadata)}) {
        const AVDictionaryEntry* entry = av_dict_get(tags, "title", nullptr, 0);
        if (entry && entry->value && entry->value[0] != '\0') return entry->value;
    }
    return {};
}

// Sends the decoder the next packet of our stream, or the flush packet when the
// input ends (end of file, a read error, or the time limit).
void AudioStream::FeedDecoder() {
    for (;;) {
        const int result = av_read_frame(input_.Context(), packet_);
        if (result < 0) {
            inputDone_ = true;
            avcodec_send_packet(codec_, nullptr);
            return;
        }
        if (packet_->stream_index != streamIndex_) {
            av_packet_unref(packet_);
            continue;
        }
        // A packet the decoder rejects is damaged: it is dropped and decoding
        // goes on with the next one.
        avcodec_send_packet(codec_, packet_);
        av_packet_unref(packet_);
        return;
    }
}

bool AudioStream::DecodeFrame() {
    if (!IsOpen()) return false;
    av_frame_unref(frame_);
    int errorsWithoutInput = 0;
    while (!ended_) {
        const int result = avcodec_receive_frame(codec_, frame_);
        if (result >= 0) {
            if (frame_->nb_samples > 0) return true;
            av_frame_unref(frame_);
        } else if (result == AVERROR(EAGAIN)) {
            if (inputDone_) break;  // the flush packet was refused: nothing more will come
            FeedDecoder();
            errorsWithoutInput = 0;
        } else if (result == AVERROR_EOF || result == AVERROR(ENOMEM) ||
                   ++errorsWithoutInput > kMaxErrorsWithoutInput) {
            break;
        }
        // Any other error is a damaged frame: skip it.
    }
    ended_ = true;
    return false;
}

bool AudioStream::SeekTo(int64_t timestamp) {
    if (!IsOpen()) return false;
    if (av_seek_frame(input_.Context(), streamIndex_, timestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(codec_);
    av_frame_unref(frame_);
    inputDone_ = ended_ = false;
    return true;
}

bool AudioStream::ReadPacket(AVPacket*& packet) {
    if (!IsOpen()) return false;
    av_packet_unref(packet_);
    while (av_read_frame(input_.Context(), packet_) >= 0) {
        if (packet_->stream_index == streamIndex_) {
            packet = packet_;
            return true;
        }
        av_packet_unref(packet_);
    }
    return false;
}

}  // namespace platform::media
