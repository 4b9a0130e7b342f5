#include "playlist/PlayListModel.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

#include "playlist/ListFiles.h"
#include "playlist/ListText.h"

namespace playlist {

namespace {

// A play list file larger than this is not a play list.
constexpr qint64 kLargestListBytes = 64LL * 1024 * 1024;

template <typename Entry>
auto& FlagOf(Entry& entry, PlayListModel::Flag flag) {
    switch (flag) {
        case PlayListModel::Flag::Loaded:
            return entry.loaded;
        case PlayListModel::Flag::Marked:
            return entry.marked;
        case PlayListModel::Flag::Current:
            return entry.current;
        case PlayListModel::Flag::Unplayable:
            break;
    }
    return entry.unplayable;
}

}  // namespace

void PlayListModel::AddFile(int deck, const QString& path, double length, const QString& title) {
    PlayListEntry entry;
    entry.deck = deck;
    entry.path = path;
    entry.length = length;
    entry.title = title;
    entries_.push_back(std::move(entry));
}

void PlayListModel::AddFileInPathOrder(int deck, const QString& path, double length, const QString& title,
                                       int firstPosition) {
    const auto from = entries_.begin() + std::clamp(firstPosition, 0, Count());
    const auto at = std::find_if(from, entries_.end(), [&](const PlayListEntry& e) { return e.path > path; });
    PlayListEntry entry;
    entry.deck = deck;
    entry.path = path;
    entry.length = length;
    entry.title = title;
    entries_.insert(at, std::move(entry));
}

void PlayListModel::AddCdTrack(int deck, const QString& path, double length, uint32_t trackNumber) {
    PlayListEntry entry;
    entry.kind = PlayListEntry::Kind::CdTrack;
    entry.deck = deck;
    entry.path = path;
    entry.length = length;
    entry.trackNumber = trackNumber;
    entries_.push_back(std::move(entry));
}

void PlayListModel::Remove(int position) {
    if (Contains(position)) entries_.erase(entries_.begin() + position);
}

void PlayListModel::RemoveAll() {
    entries_.clear();
}

bool PlayListModel::MoveUp(int position) {
    if (!Contains(position) || position == 0) return false;
    std::swap(entries_[position], entries_[position - 1]);
    return true;
}

bool PlayListModel::MoveDown(int position) {
    if (!Contains(position) || position == Count() - 1) return false;
    std::swap(entries_[position], entries_[position + 1]);
    return true;
}

const PlayListEntry* PlayListModel::Entry(int position) const {
    return Contains(position) ? &entries_[position] : nullptr;
}

PlayListEntry* PlayListModel::MutableEntry(int position) {
    return Contains(position) ? &entries_[position] : nullptr;
}

void PlayListModel::SetDeck(int position, int deck) {
    if (PlayListEntry* entry = MutableEntry(position)) entry->deck = deck;
}

void PlayListModel::SetTitle(int position, const QString& title) {
    if (PlayListEntry* entry = MutableEntry(position)) entry->title = title;
}

void PlayListModel::SetLength(int position, double seconds) {
    if (PlayListEntry* entry = MutableEntry(position)) entry->length = seconds;
}

void PlayListModel::SetFlag(int position, Flag flag, bool on) {
    if (PlayListEntry* entry = MutableEntry(position)) FlagOf(*entry, flag) = on;
}

bool PlayListModel::HasFlag(int position, Flag flag) const {
    // An entry that is not there cannot be played.
    if (!Contains(position)) return flag == Flag::Unplayable;
    return FlagOf(entries_[position], flag);
}

void PlayListModel::ClearFlagOfDeck(int deck, Flag flag) {
    for (PlayListEntry& entry : entries_)
        if (entry.deck == deck) FlagOf(entry, flag) = false;
}

QString PlayListModel::NameText(int position) const {
    const PlayListEntry* entry = Entry(position);
    if (!entry) return {};
    if (entry->kind == PlayListEntry::Kind::CdTrack)
        return QStringLiteral("Deck %1 CD Track %2")
            .arg(entry->deck == 0 ? QLatin1Char('A') : QLatin1Char('B'))
            .arg(entry->trackNumber);
    return QFileInfo(entry->path).completeBaseName();
}

QString PlayListModel::PathText(int position) const {
    const PlayListEntry* entry = Entry(position);
    return entry ? entry->path : QString();
}

QString PlayListModel::TagText(int position) const {
    const PlayListEntry* entry = Entry(position);
    if (!entry) return {};
    return entry->title.isEmpty() ? NameText(position) : entry->title;
}

QString PlayListModel::TimeText(int position) const {
    const PlayListEntry* entry = Entry(position);
    return entry ? TimeText(entry->length) : QString();
}

QString PlayListModel::TimeText(double seconds) {
    if (seconds == -1.0 || !std::isfinite(seconds) || seconds < 0.0) return {};
    const auto whole = static_cast<long long>(std::min(std::trunc(seconds), 1e12));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

PlayListModel::LoadResult PlayListModel::LoadListFile(const QString& path) {
    const ListFormat format = FormatOf(path);
    if (format == ListFormat::None) return LoadResult::Unreadable;
    if (format == ListFormat::Unread) {
        if (onLoaded_) onLoaded_();
        return LoadResult::NotRead;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestListBytes) return LoadResult::Unreadable;
    const QByteArray bytes = file.read(kLargestListBytes);
    QString text;
    if (format == ListFormat::M3u8) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        text = utf8.decode(bytes);
    } else {
        text = DecodeListText(bytes);
    }
    const QString folder = QFileInfo(path).absolutePath();
    std::vector<ListItem> items;
    if (format == ListFormat::Pls) {
        auto read = ReadPls(text, folder);
        if (!read) return LoadResult::NoHeader;
        items = std::move(*read);
    } else {
        items = ReadM3u(text, folder);
    }
    for (const ListItem& item : items) AddFile(0, item.path, item.length, item.title);
    if (onLoaded_) onLoaded_();
    return LoadResult::Loaded;
}

PlayListModel::SaveResult PlayListModel::Save(const QString& path) const {
    const ListFormat format = FormatOf(path);
    if (format != ListFormat::M3u && format != ListFormat::M3u8 && format != ListFormat::Pls)
        return SaveResult::NotAListPath;
    std::vector<SavedItem> items;
    for (int position = 0; position < Count(); ++position) {
        const PlayListEntry& entry = entries_[position];
        if (entry.kind != PlayListEntry::Kind::File) continue;
        items.push_back(
            {position + 1, entry.path, FileTagTitle(entry.path).value_or(entry.title), entry.length});
    }
    // Written beside the old list and put in its place once complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return SaveResult::WriteError;
    file.write(format == ListFormat::Pls ? WritePls(items) : WriteM3u(items));
    return file.commit() ? SaveResult::Saved : SaveResult::WriteError;
}

QString PlayListModel::ReadTagTitle(int position) {
    PlayListEntry* entry = MutableEntry(position);
    if (!entry) return {};
    if (const auto title = FileTagTitle(entry->path)) entry->title = *title;
    return entry->title;
}

}  // namespace playlist
