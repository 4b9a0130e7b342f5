#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "dsp/MessageSink.h"
#include "engine/DeckLink.h"
#include "playlist/PlayListModel.h"

namespace playlist {

// Which deck a run of added files is for: all deck A, all deck B, or
// alternating, the deck flipping before each file from deck A (so the first
// goes to deck B).
enum class DeckChoice { DeckA = 0, DeckB = 1, Alternate = 2 };

class DeckPicker {
public:
    explicit DeckPicker(DeckChoice choice) : choice_(choice) {}
    int Next();

private:
    DeckChoice choice_;
    int deck_ = 0;
};

// The texts a row shows in its "Files" column.
enum class NameDisplay { Name = 0, Path = 1, Tag = 2 };
QString NameDisplayCaption(NameDisplay display);

// A row's icon, by index in the window's image list.
enum class RowIcon {
    LoadedA = 0,
    LoadedB = 1,
    DeckA = 2,
    DeckB = 3,
    CurrentA = 6,
    CurrentB = 7,
    Unplayable = 8
};
constexpr size_t kRowIconCount = 9;
RowIcon IconOf(const PlayListEntry& entry);

// The music files the program plays, by extension in any case: MP3, WAV and
// WMA first, then the other formats the decoder reads.
const QStringList& MusicExtensions();
bool IsMusicFile(const QString& path);
// Every music file in the folder and its subfolders, depth first, each
// folder's entries in name order. Gives up early once `cancel` is set.
QStringList CollectMusicFiles(const QString& folder, const std::atomic<bool>* cancel = nullptr);

// What the play list window decides, apart from its widgets: the cursor and
// the selection, the decks' loaded and queued entries, next and previous
// track, moves, deletes and deck swaps, finding, the rows' texts and icons,
// the files of a folder scan put in path order, and the track lengths to
// measure. The window shows rows through View and hands the user's actions
// here; the main window's requests are calls. UI thread only.
class PlayListPanel final : public engine::PlayListLink {
public:
    class View {
    public:
        virtual ~View() = default;
        // Every row is to be shown again from the model (added, removed or moved).
        virtual void RowsChanged() = 0;
        // Entries were added at the end; the rows before them stand.
        virtual void RowsAppended() = 0;
        // One row's texts and icon changed.
        virtual void RowChanged(int position) = 0;
        // The selection mark moved to the row (or to none, -1); keep it in view.
        virtual void ShowSelection(int position) = 0;
    };

    PlayListPanel(PlayListModel& model, View& view, dsp::MessageSink send);

    PlayListModel& Model() { return model_; }
    const PlayListModel& Model() const { return model_; }
    int Selected() const { return selected_; }
    NameDisplay Display() const { return display_; }
    // The row's "Files" and "Time" texts and its icon.
    QString FilesText(int position) const;
    QString TimeText(int position) const;

    // ---- The user ----
    // Files from the file dialog: lists are read, music files appended.
    // Returns whether any was handled; tells the main window the list changed.
    bool AddFiles(const QStringList& paths, DeckChoice choice);
    // A folder scan's files, put in path order among the entries added since
    // the scan began; `Step` takes up to `files` of them and says whether
    // any remain. The main window hears of the change when the last is in.
    // Files of a scan begun while another runs join it.
    void BeginScan(const QStringList& files, DeckChoice choice);
    bool StepScan(int files);
    bool Scanning() const { return scanNext_ < scanFiles_.size(); }
    int ScanDone() const { return static_cast<int>(scanNext_); }
    int ScanCount() const { return static_cast<int>(scanFiles_.size()); }
    void Click(int position);
    void DoubleClick(int position);
    // With `all`, every entry; otherwise the selected one.
    void Delete(bool all);
    void MoveSelectedUp();
    void MoveSelectedDown();
    void SwapSelectedDeck();
    void CycleNameDisplay();
    // The next row after the selection whose "Files" text holds the find
    // box's text, in any case; false when none does.
    void SetFindText(const QString& text) { findText_ = text; }
    bool FindNext();

    // ---- The main window ----
    void AddFileEntry(int deck, const QString& path, double length, const QString& title);
    void AddCdEntry(int deck, const QString& path, double length, uint32_t trackNumber);
    void RemoveCdEntries(int deck);
    void ClearLoaded(int deck);
    bool NextTrack(int deck);
    bool PreviousTrack(int deck);
    // Marks the deck's next entry after its loaded one and returns its path
    // (empty when there is none).
    QString QueueNext(int deck);
    void MarkQueuedLoaded(int deck);
    void MarkCdTrackLoaded(int deck, uint32_t trackNumber);
    std::optional<int> LoadedPosition(int deck) const;
    // The position after the deck's loaded entry; -1 when it has none.
    int PositionAfterLoaded(int deck) const;
    void SetLoadedLength(int deck, double seconds);
    // A length below zero (or not a number) marks the path's entries unplayable.
    void TakeTrackLength(const QString& path, const QString& title, double seconds);
    // The first entry whose length is still unknown (and not unplayable).
    std::optional<QString> NextLengthToMeasure() const;
    void MarkLoaded(int position);
    void MoveCursor(int position);
    // A deck could not open the entry's file.
    void MarkUnplayable(int position);

    // engine::PlayListLink
    std::optional<std::string> NextPathFor(int deck) override;
    void TrackLengthMeasured(const std::string& path, const std::string& title, double seconds) override;
    void QueuedFileReachedPlayPoint(int deck) override { MarkQueuedLoaded(deck); }
    void CdTrackReachedPlayPoint(int deck, int track) override {
        MarkCdTrackLoaded(deck, static_cast<uint32_t>(track));
    }

private:
    void Changed();
    std::optional<int> Find(int deck, PlayListModel::Flag flag) const;

    PlayListModel& model_;
    View& view_;
    dsp::MessageSink send_;
    int selected_ = -1;
    QString findText_;
    NameDisplay display_ = NameDisplay::Name;
    struct ScanFile {
        QString path;
        int deck;
    };
    std::vector<ScanFile> scanFiles_;
    size_t scanNext_ = 0;
    int scanStart_ = 0;
};

}  // namespace playlist
