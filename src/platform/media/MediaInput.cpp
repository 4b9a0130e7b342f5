#include "platform/media/MediaInput.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/time.h>
}

#include <cerrno>
#include <cstdio>

#include "platform/media/MediaFile.h"

namespace platform::media {
namespace {

// No run of calls may take longer than this, whatever the file holds.
constexpr int64_t kTimeLimitMicroseconds = 10'000'000;
// FFmpeg's own default for file reads.
constexpr int kBufferBytes = 32 * 1024;

std::string FfmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

MediaInput::~MediaInput() {
    Close();
}

void MediaInput::StartTimeLimit() {
    deadline_ = av_gettime_relative() + kTimeLimitMicroseconds;
}

bool MediaInput::TimeIsUp() const {
    return av_gettime_relative() > deadline_;
}

int MediaInput::Read(void* opaque, uint8_t* buffer, int size) {
    auto& self = *static_cast<MediaInput*>(opaque);
    if (self.TimeIsUp()) return AVERROR_EXIT;
    const int64_t got = self.file_->ReadAt(buffer, static_cast<size_t>(size), self.offset_);
    if (got < 0) return AVERROR(errno ? errno : EIO);
    if (got == 0) return AVERROR_EOF;
    self.offset_ += got;
    return static_cast<int>(got);
}

int64_t MediaInput::Seek(void* opaque, int64_t offset, int whence) {
    auto& self = *static_cast<MediaInput*>(opaque);
    if (whence & AVSEEK_SIZE) return self.file_->Size();
    int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = self.offset_ + offset;
            break;
        case SEEK_END: {
            const int64_t size = self.file_->Size();
            if (size < 0) return AVERROR(EIO);
            target = size + offset;
            break;
        }
        default:
            return AVERROR(EINVAL);
    }
    if (target < 0) return AVERROR(EINVAL);
    self.offset_ = target;
    return target;
}

int MediaInput::Interrupted(void* opaque) {
    return static_cast<const MediaInput*>(opaque)->TimeIsUp() ? 1 : 0;
}

bool MediaInput::Open(std::shared_ptr<MediaFile> file, std::string& error) {
    Close();
    if (!file) {
        error = "No file given";
        return false;
    }
    file_ = std::move(file);
    offset_ = 0;
    StartTimeLimit();

    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferBytes));
    if (buffer)
        io_ =
            avio_alloc_context(buffer, kBufferBytes, 0, this, &MediaInput::Read, nullptr, &MediaInput::Seek);
    if (!io_) av_free(buffer);
    format_ = io_ ? avformat_alloc_context() : nullptr;
    if (!format_) {
        Close();
        error = "Out of memory";
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->interrupt_callback = {&MediaInput::Interrupted, this};
    // The name only helps probing by extension; the data comes through io_. The
    // whitelist keeps playlists and the like from opening anything else.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int result = avformat_open_input(&format_, file_->Path().c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        Close();
        error = "Not a recognized media file (" + FfmpegError(result) + ")";
        return false;
    }
    result = avformat_find_stream_info(format_, nullptr);
    if (result < 0) {
        Close();
        error = "Cannot read the file's streams (" + FfmpegError(result) + ")";
        return false;
    }
    return true;
}

void MediaInput::Close() {
    avformat_close_input(&format_);  // leaves a custom io_ alone
    if (io_) {
        av_freep(&io_->buffer);  // FFmpeg may have replaced the buffer given
        avio_context_free(&io_);
    }
    file_.reset();
    offset_ = 0;
}

}  // namespace platform::media
