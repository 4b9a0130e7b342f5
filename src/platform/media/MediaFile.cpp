#include "platform/media/MediaFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace platform::media {

std::shared_ptr<MediaFile> MediaFile::Open(const std::string& utf8Path, std::string* error) {
    const auto fail = [error](std::string text) {
        if (error) *error = std::move(text);
        return std::shared_ptr<MediaFile>();
    };
    if (utf8Path.empty()) return fail("No file name given");
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    // What is not a regular file is refused below, before anything is read.
    const int descriptor = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        if (errno == EACCES || errno == EPERM) return fail("No permission to read the file");
        return fail("Cannot open the file: " + std::generic_category().message(errno));
    }
    std::shared_ptr<MediaFile> file(new MediaFile(descriptor, utf8Path));
    struct stat info {};
    if (fstat(descriptor, &info) != 0)
        return fail("Cannot open the file: " + std::generic_category().message(errno));
    if (!S_ISREG(info.st_mode)) return fail("Not a regular file");
    if (info.st_size == 0) return fail("The file is empty");
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags >= 0) fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

MediaFile::MediaFile(int descriptor, std::string path) : descriptor_(descriptor), path_(std::move(path)) {}

MediaFile::~MediaFile() {
    ::close(descriptor_);
}

int64_t MediaFile::Size() const {
    struct stat info {};
    return fstat(descriptor_, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

int64_t MediaFile::ReadAt(void* dest, size_t bytes, int64_t offset) const {
    for (;;) {
        const ssize_t got = ::pread(descriptor_, dest, bytes, static_cast<off_t>(offset));
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

}  // namespace platform::media
