#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVIOContext;

namespace platform::media {

class MediaFile;

// An FFmpeg demuxer reading a MediaFile through its descriptor (a custom
// AVIOContext with its own offset, seekable, sized by fstat), never by name.
// Several inputs may read one MediaFile at once.
//
// Every read gives up once the time limit set by StartTimeLimit has passed, so
// no call into FFmpeg can hang on a stuck disc or a network share.
//
// Not thread-safe; the address must not change while open (FFmpeg keeps it).
class MediaInput {
public:
    MediaInput() = default;
    ~MediaInput();
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    // Probes the container and its streams. On failure *error says why and the
    // input stays closed.
    bool Open(std::shared_ptr<MediaFile> file, std::string& error);
    void Close();

    AVFormatContext* Context() const { return format_; }
    const std::shared_ptr<MediaFile>& File() const { return file_; }

    // Starts the time the next calls into FFmpeg may take together.
    void StartTimeLimit();

private:
    static int Read(void* opaque, uint8_t* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    static int Interrupted(void* opaque);
    bool TimeIsUp() const;

    std::shared_ptr<MediaFile> file_;
    int64_t offset_ = 0;    // where the next read starts
    int64_t deadline_ = 0;  // av_gettime_relative() value after which reads fail
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
};

}  // namespace platform::media
