#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "settings/CZelSettings.h"

namespace settings {
namespace {

bool IsSane(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_size <= SettingsFile::kMaxFileBytes;
}

const SettingsFile::Value* FindIn(const std::vector<std::pair<QString, SettingsFile::Value>>& entries,
                                  const QString& name) {
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == name; });
    return it == entries.end() ? nullptr : &it->second;
}

void SetIn(std::vector<std::pair<QString, SettingsFile::Value>>& entries, const QString& name,
           SettingsFile::Value value) {
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == name; });
    if (it != entries.end()) {
        it->second = std::move(value);
    } else {
        entries.emplace_back(name, std::move(value));
    }
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::shared_ptr<SettingsFile> SettingsFile::ForPath(const QString& path) {
    // Weak: the object goes, and writes what waits, with its last user.
    static std::map<QString, std::weak_ptr<SettingsFile>> files;
    std::erase_if(files, [](const auto& entry) { return entry.second.expired(); });
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    std::weak_ptr<SettingsFile>& slot = files[absolute];
    if (auto existing = slot.lock()) return existing;
    std::shared_ptr<SettingsFile> file(new SettingsFile(absolute));
    slot = file;
    return file;
}

SettingsFile::SettingsFile(QString path) : path_(std::move(path)) {
    quietTimer_.setSingleShot(true);
    quietTimer_.setInterval(kQuietTime);
    QObject::connect(&quietTimer_, &QTimer::timeout, &quietTimer_, [this] { FlushPendingWrites(); });
}

SettingsFile::~SettingsFile() {
    FlushPendingWrites();
}

SettingsFile::Snapshot SettingsFile::Load() const {
    const QByteArray name = QFile::encodeName(path_);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        return {errno == EACCES ? State::Unreadable : State::Missing, {}};
    if (!IsSane(status)) return {State::Damaged, {}};
    // Non-blocking, and checked again once open: should the path have turned
    // into a FIFO meanwhile, neither the open nor the reads wait for a writer.
    const FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) return {errno == ENOENT || errno == ENOTDIR ? State::Missing : State::Unreadable, {}};
    if (::fstat(fd.Get(), &status) != 0) return {State::Unreadable, {}};
    if (!IsSane(status)) return {State::Damaged, {}};

    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(status.st_size));
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {State::Unreadable, {}};
        if (n == 0) break;
        bytes.append(chunk, n);
        // It grew while we read it.
        if (bytes.size() > kMaxFileBytes) return {State::Damaged, {}};
    }
    return {State::Readable, IniDocument::Parse(bytes)};
}

SettingsFile::Lookup SettingsFile::Find(const QString& name) const {
    if (const Value* value = FindIn(pending_, name)) return {*value, CZelSettings::kErrorSuccess};
    if (const Value* value = FindIn(unsaved_, name)) return {*value, CZelSettings::kErrorSuccess};
    const Snapshot file = Load();
    switch (file.state) {
        case State::Missing:
            return {std::nullopt, CZelSettings::kErrorFileNotFound};
        case State::Unreadable:
            return {std::nullopt, CZelSettings::kErrorAccessDenied};
        case State::Damaged:
            return {std::nullopt, CZelSettings::kErrorBadDb};
        case State::Readable:
            break;
    }
    if (const Value* value = file.document.Find(name)) return {*value, CZelSettings::kErrorSuccess};
    return {std::nullopt, CZelSettings::kErrorFileNotFound};
}

long SettingsFile::Write(const QString& name, Value value) {
    // A value written now replaces one still waiting.
    std::erase_if(pending_, [&](const Entry& e) { return e.first == name; });
    return Save({{name, std::move(value)}});
}

void SettingsFile::WriteLater(const QString& name, Value value) {
    SetIn(pending_, name, std::move(value));
    quietTimer_.start();  // restarts: the write waits for the last change
}

long SettingsFile::FlushPendingWrites() {
    quietTimer_.stop();
    if (pending_.empty()) return CZelSettings::kErrorSuccess;
    const std::vector<Entry> entries = std::move(pending_);
    pending_.clear();
    return Save(entries);
}

long SettingsFile::Save(const std::vector<Entry>& entries) {
    const Snapshot file = Load();
    long error = CZelSettings::kErrorSuccess;
    if (file.state == State::Damaged) {
        error = CZelSettings::kErrorBadDb;
    } else if (file.state == State::Unreadable) {
        error = CZelSettings::kErrorAccessDenied;  // writing would lose the values we cannot see
    } else {
        IniDocument document = file.document;
        for (const auto& [name, value] : unsaved_) document.Set(name, value);
        for (const auto& [name, value] : entries) document.Set(name, value);
        error = WriteBytes(document.ToBytes());
    }
    if (error == CZelSettings::kErrorSuccess) {
        unsaved_.clear();
    } else {
        for (const auto& [name, value] : entries) SetIn(unsaved_, name, value);
    }
    return error;
}

long SettingsFile::WriteBytes(const QByteArray& bytes) const {
    // A file we would not read back is not written.
    if (bytes.size() > kMaxFileBytes) return CZelSettings::kErrorInvalidParameter;
    const QByteArray name = QFile::encodeName(path_);
    struct stat status {};
    if (::stat(name.constData(), &status) == 0) {
        if (!IsSane(status)) return CZelSettings::kErrorBadDb;
        // Nobody may write it: the user made it read-only, which holds even
        // for a user the system would let write it.
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return CZelSettings::kErrorAccessDenied;
    } else if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        return CZelSettings::kErrorAccessDenied;
    }
    // A new file replaces the old one whole, so a crash mid-write loses nothing.
    QSaveFile out(path_);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly)) return CZelSettings::kErrorAccessDenied;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return CZelSettings::kErrorAccessDenied;
    }
    return out.commit() ? CZelSettings::kErrorSuccess : CZelSettings::kErrorAccessDenied;
}

}  // namespace settings
