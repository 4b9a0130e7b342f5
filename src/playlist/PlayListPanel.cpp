#include "playlist/PlayListPanel.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

#include "playlist/ListFiles.h"

namespace playlist {

using Flag = PlayListModel::Flag;
using platform::Message;

int DeckPicker::Next() {
    if (choice_ == DeckChoice::Alternate)
        deck_ = 1 - deck_;
    else
        deck_ = choice_ == DeckChoice::DeckB ? 1 : 0;
    return deck_;
}

QString NameDisplayCaption(NameDisplay display) {
    switch (display) {
        case NameDisplay::Path:
            return QStringLiteral("Path");
        case NameDisplay::Tag:
            return QStringLiteral("Tag");
        case NameDisplay::Name:
            break;
    }
    return QStringLiteral("Name");
}

RowIcon IconOf(const PlayListEntry& entry) {
    if (entry.unplayable) return RowIcon::Unplayable;
    const bool b = entry.deck == 1;
    if (entry.loaded) return b ? RowIcon::LoadedB : RowIcon::LoadedA;
    if (entry.current) return b ? RowIcon::CurrentB : RowIcon::CurrentA;
    return b ? RowIcon::DeckB : RowIcon::DeckA;
}

const QStringList& MusicExtensions() {
    static const QStringList extensions{"mp3",  "wav", "wma", "flac", "ogg", "oga",
                                        "opus", "m4a", "aac", "aif",  "aiff"};
    return extensions;
}

bool IsMusicFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return !suffix.isEmpty() && MusicExtensions().contains(suffix);
}

QStringList CollectMusicFiles(const QString& folder, const std::atomic<bool>* cancel) {
    QStringList found;
    const QDir dir(folder);
    // Links to folders are not followed, so a link back up cannot loop.
    for (const QFileInfo& info : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                                   QDir::Name | QDir::DirsFirst)) {
        if (cancel && cancel->load(std::memory_order_relaxed)) break;
        if (info.isDir()) {
            if (!info.isSymLink()) found += CollectMusicFiles(info.absoluteFilePath(), cancel);
        } else if (IsMusicFile(info.fileName())) {
            found += info.absoluteFilePath();
        }
    }
    return found;
}

PlayListPanel::PlayListPanel(PlayListModel& model, View& view, dsp::MessageSink send)
    : model_(model), view_(view), send_(std::move(send)) {}

QString PlayListPanel::FilesText(int position) const {
    switch (display_) {
        case NameDisplay::Path:
            return model_.PathText(position);
        case NameDisplay::Tag:
            return model_.TagText(position);
        case NameDisplay::Name:
            break;
    }
    return model_.NameText(position);
}

QString PlayListPanel::TimeText(int position) const {
    if (model_.HasFlag(position, Flag::Unplayable) && model_.Contains(position)) return QStringLiteral("???");
    return model_.TimeText(position);
}

void PlayListPanel::Changed() {
    view_.RowsChanged();
    if (send_) send_(Message::PlayListChanged, {});
}

bool PlayListPanel::AddFiles(const QStringList& paths, DeckChoice choice) {
    DeckPicker picker(choice);
    const int first = model_.Count();
    for (const QString& path : paths) {
        const int deck = picker.Next();
        if (IsListFile(path))
            model_.LoadListFile(path);
        else
            model_.AddFile(deck, path);
    }
    if (paths.isEmpty()) return false;
    view_.RowsAppended();
    MoveCursor(selected_ >= 0 ? selected_ : first);
    if (send_) send_(Message::PlayListChanged, {});
    return true;
}

void PlayListPanel::BeginScan(const QStringList& files, DeckChoice choice) {
    // A folder added while another is still going in joins that scan, so
    // neither loses files; each file's deck is settled now.
    if (!Scanning()) {
        scanFiles_.clear();
        scanNext_ = 0;
        scanStart_ = model_.Count();
    }
    DeckPicker picker(choice);
    for (const QString& file : files) scanFiles_.push_back({file, picker.Next()});
}

bool PlayListPanel::StepScan(int files) {
    if (!Scanning()) return false;
    for (int n = 0; n < files && Scanning(); ++n, ++scanNext_) {
        const ScanFile& file = scanFiles_[scanNext_];
        model_.AddFileInPathOrder(file.deck, file.path, -1.0, {}, scanStart_);
    }
    if (Scanning()) return true;
    scanFiles_.clear();
    scanNext_ = 0;
    Changed();
    return false;
}

void PlayListPanel::MoveCursor(int position) {
    if (!model_.Contains(position)) return;
    for (int row = 0; row < model_.Count(); ++row) {
        if (row != position && model_.HasFlag(row, Flag::Current)) {
            model_.SetFlag(row, Flag::Current, false);
            view_.RowChanged(row);
        }
    }
    model_.SetFlag(position, Flag::Current, true);
    view_.RowChanged(position);
    selected_ = position;
    view_.ShowSelection(position);
}

void PlayListPanel::MarkUnplayable(int position) {
    if (!model_.Contains(position)) return;
    model_.SetFlag(position, Flag::Unplayable, true);
    view_.RowChanged(position);
}

void PlayListPanel::Click(int position) {
    MoveCursor(position);
}

void PlayListPanel::MarkLoaded(int position) {
    const PlayListEntry* entry = model_.Entry(position);
    if (!entry) return;
    for (int row = 0; row < model_.Count(); ++row) {
        if (row != position && model_.Entry(row)->deck == entry->deck && model_.HasFlag(row, Flag::Loaded)) {
            model_.SetFlag(row, Flag::Loaded, false);
            view_.RowChanged(row);
        }
    }
    model_.SetFlag(position, Flag::Loaded, true);
    view_.RowChanged(position);
}

void PlayListPanel::DoubleClick(int position) {
    const PlayListEntry* entry = model_.Entry(position);
    if (!entry) return;
    MarkLoaded(position);
    if (send_) send_(Message::LoadPlayListEntry, platform::DeckArgs{entry->deck});
}

void PlayListPanel::Delete(bool all) {
    if (all) {
        model_.RemoveAll();
        selected_ = -1;
    } else {
        if (!model_.Contains(selected_)) return;
        model_.Remove(selected_);
        selected_ = model_.Contains(selected_) ? selected_ : model_.Count() - 1;
    }
    Changed();
    view_.ShowSelection(selected_);
}

void PlayListPanel::MoveSelectedUp() {
    if (!model_.MoveUp(selected_)) return;
    Changed();
    MoveCursor(selected_ - 1);
}

void PlayListPanel::MoveSelectedDown() {
    if (!model_.MoveDown(selected_)) return;
    Changed();
    MoveCursor(selected_ + 1);
}

void PlayListPanel::SwapSelectedDeck() {
    const PlayListEntry* entry = model_.Entry(selected_);
    if (!entry) return;
    model_.SetDeck(selected_, 1 - entry->deck);
    model_.SetFlag(selected_, Flag::Loaded, false);
    view_.RowChanged(selected_);
}

void PlayListPanel::CycleNameDisplay() {
    display_ = static_cast<NameDisplay>((static_cast<int>(display_) + 1) % 3);
    view_.RowsChanged();
}

bool PlayListPanel::FindNext() {
    for (int row = std::max(selected_ + 1, 0); row < model_.Count(); ++row) {
        if (FilesText(row).contains(findText_, Qt::CaseInsensitive)) {
            MoveCursor(row);
            return true;
        }
    }
    return false;
}

void PlayListPanel::AddFileEntry(int deck, const QString& path, double length, const QString& title) {
    model_.AddFile(deck, path, length, title);
    view_.RowsAppended();
}

void PlayListPanel::AddCdEntry(int deck, const QString& path, double length, uint32_t trackNumber) {
    model_.AddCdTrack(deck, path, length, trackNumber);
    view_.RowsAppended();
}

void PlayListPanel::RemoveCdEntries(int deck) {
    bool removed = false;
    for (int row = model_.Count() - 1; row >= 0; --row) {
        const PlayListEntry* entry = model_.Entry(row);
        if (entry->deck == deck && entry->kind == PlayListEntry::Kind::CdTrack) {
            model_.Remove(row);
            if (selected_ >= row) selected_ = selected_ == row ? -1 : selected_ - 1;
            removed = true;
        }
    }
    if (removed) view_.RowsChanged();
}

void PlayListPanel::ClearLoaded(int deck) {
    for (int row = 0; row < model_.Count(); ++row) {
        if (model_.Entry(row)->deck == deck && model_.HasFlag(row, Flag::Loaded)) {
            model_.SetFlag(row, Flag::Loaded, false);
            view_.RowChanged(row);
        }
    }
}

std::optional<int> PlayListPanel::Find(int deck, Flag flag) const {
    for (int row = 0; row < model_.Count(); ++row)
        if (model_.Entry(row)->deck == deck && model_.HasFlag(row, flag)) return row;
    return std::nullopt;
}

std::optional<int> PlayListPanel::LoadedPosition(int deck) const {
    return Find(deck, Flag::Loaded);
}

int PlayListPanel::PositionAfterLoaded(int deck) const {
    const auto loaded = LoadedPosition(deck);
    return loaded ? *loaded + 1 : -1;
}

bool PlayListPanel::NextTrack(int deck) {
    const auto loaded = LoadedPosition(deck);
    for (int row = loaded ? *loaded + 1 : 0; row < model_.Count(); ++row) {
        if (model_.Entry(row)->deck != deck) continue;
        MarkLoaded(row);
        if (send_) send_(Message::LoadPlayListEntry, platform::DeckArgs{deck});
        return true;
    }
    return false;
}

bool PlayListPanel::PreviousTrack(int deck) {
    const auto loaded = LoadedPosition(deck);
    if (!loaded) return false;
    for (int row = *loaded - 1; row >= 0; --row) {
        if (model_.Entry(row)->deck != deck) continue;
        MarkLoaded(row);
        if (send_) send_(Message::LoadPlayListEntry, platform::DeckArgs{deck});
        return true;
    }
    return false;
}

QString PlayListPanel::QueueNext(int deck) {
    model_.ClearFlagOfDeck(deck, Flag::Marked);
    const auto loaded = LoadedPosition(deck);
    for (int row = loaded ? *loaded + 1 : 0; row < model_.Count(); ++row) {
        if (model_.Entry(row)->deck != deck) continue;
        // A file does not run on into a CD track: the deck stops there.
        if (model_.Entry(row)->kind == PlayListEntry::Kind::CdTrack) return {};
        model_.SetFlag(row, Flag::Marked, true);
        return model_.PathText(row);
    }
    return {};
}

void PlayListPanel::MarkQueuedLoaded(int deck) {
    if (const auto marked = Find(deck, Flag::Marked)) MarkLoaded(*marked);
}

void PlayListPanel::MarkCdTrackLoaded(int deck, uint32_t trackNumber) {
    for (int row = 0; row < model_.Count(); ++row) {
        const PlayListEntry* entry = model_.Entry(row);
        if (entry->deck == deck && entry->kind == PlayListEntry::Kind::CdTrack &&
            entry->trackNumber == trackNumber) {
            MarkLoaded(row);
            return;
        }
    }
}

void PlayListPanel::SetLoadedLength(int deck, double seconds) {
    if (const auto loaded = LoadedPosition(deck)) {
        model_.SetLength(*loaded, seconds);
        view_.RowChanged(*loaded);
    }
}

void PlayListPanel::TakeTrackLength(const QString& path, const QString& title, double seconds) {
    for (int row = 0; row < model_.Count(); ++row) {
        if (model_.PathText(row) != path) continue;
        if (!(seconds >= 0.0)) {
            model_.SetFlag(row, Flag::Unplayable, true);
        } else {
            if (!title.isEmpty()) model_.SetTitle(row, title);
            model_.SetLength(row, seconds);
        }
        view_.RowChanged(row);
    }
}

std::optional<std::string> PlayListPanel::NextPathFor(int deck) {
    const QString path = QueueNext(deck);
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

void PlayListPanel::TrackLengthMeasured(const std::string& path, const std::string& title, double seconds) {
    TakeTrackLength(QString::fromStdString(path), QString::fromStdString(title), seconds);
}

std::optional<QString> PlayListPanel::NextLengthToMeasure() const {
    for (int row = 0; row < model_.Count(); ++row) {
        const PlayListEntry* entry = model_.Entry(row);
        if (entry->kind == PlayListEntry::Kind::File && entry->length < 0.0 && !entry->unplayable)
            return entry->path;
    }
    return std::nullopt;
}

}  // namespace playlist
