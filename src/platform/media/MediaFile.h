#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::media {

// A music file opened once and kept open. Everything that reads the file
// (decoders, length measurement) reads through this descriptor, never by name
// again, so a file deleted, moved or renamed while it is loaded stays readable.
//
// Thread-safe: reads give their own offset (pread) and move no shared
// position, so decoders on several threads can share one MediaFile.
class MediaFile {
public:
    // Opens only regular, readable, non-empty files; a FIFO or a device is
    // refused without blocking. nullptr on failure, with the reason in *error.
    static std::shared_ptr<MediaFile> Open(const std::string& utf8Path, std::string* error = nullptr);

    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    // The name the file was opened by (it may no longer lead to the file).
    const std::string& Path() const { return path_; }
    // The file's size now; -1 when it cannot be told.
    int64_t Size() const;
    // Reads up to `bytes` from `offset`. Returns the bytes read, 0 at the end
    // of the file, -1 on a read error.
    int64_t ReadAt(void* dest, size_t bytes, int64_t offset) const;

private:
    MediaFile(int descriptor, std::string path);

    int descriptor_;
    std::string path_;
};

}  // namespace platform::media
