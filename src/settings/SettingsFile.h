#pragma once

#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "settings/IniDocument.h"

namespace settings {

// One settings file as this session sees it, shared by every CZelSettings of
// that file. A value is looked up
//  1. among the values waiting for a deferred write,
//  2. among the values written this session that could not be saved,
//  3. in the file, read afresh for every look-up,
// so that what was written reads back whatever became of the write, and a
// failed write never hides the file's other values. Only a regular file of at
// most kMaxFileBytes is ever opened: anything else (a FIFO would hang the
// read, a huge file stall it) counts as damaged and is left alone.
//
// Errors are CZelSettings::kError... codes. User-interface thread only.
class SettingsFile {
public:
    using Value = IniDocument::Value;

    static constexpr qint64 kMaxFileBytes = qint64{1} << 20;
    // How long a deferred write waits for its value to stop changing.
    static constexpr std::chrono::milliseconds kQuietTime{300};

    // The one object for the file at `path`, made on first use.
    static std::shared_ptr<SettingsFile> ForPath(const QString& path);

    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;
    // Writes the values still waiting.
    ~SettingsFile();

    // The absolute path.
    const QString& Path() const { return path_; }

    struct Lookup {
        std::optional<Value> value;
        long error = 0;  // success exactly when there is a value
    };
    Lookup Find(const QString& name) const;

    // Writes the value, together with any earlier value that could not be
    // saved. On failure the value is kept for this session.
    long Write(const QString& name, Value value);
    // Keeps the value, readable at once, and writes it once no value has been
    // deferred for kQuietTime (a timer on this thread), or at
    // FlushPendingWrites(), whichever comes first.
    void WriteLater(const QString& name, Value value);
    // Writes every deferred value now, in one write.
    long FlushPendingWrites();

private:
    using Entry = std::pair<QString, Value>;
    enum class State { Missing, Readable, Unreadable, Damaged };
    struct Snapshot {
        State state = State::Missing;
        IniDocument document;
    };

    explicit SettingsFile(QString path);

    Snapshot Load() const;
    long Save(const std::vector<Entry>& entries);
    long WriteBytes(const QByteArray& bytes) const;

    const QString path_;
    std::vector<Entry> unsaved_;
    std::vector<Entry> pending_;
    QTimer quietTimer_;
};

}  // namespace settings
