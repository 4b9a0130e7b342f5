#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace playlist {

// One track of the play list: a music file, or a track of an audio CD, and
// the deck it is meant for.
struct PlayListEntry {
    enum class Kind { CdTrack = 0, File = 2 };

    Kind kind = Kind::File;
    int deck = 0;
    uint32_t trackNumber = 0;  // CD tracks only
    QString path;
    QString title;         // from the list, the tag or the deck; empty when none is known
    double length = -1.0;  // seconds; -1 until known
    bool loaded = false;   // the one its deck holds now
    bool marked = false;
    bool current = false;  // holds the list's cursor
    bool unplayable = false;
};

// The ordered tracks a DJ prepares for the decks, by position from 0, with
// the texts shown for them, and play list files read into it and written from
// it. Positions outside the list are ignored, and asked about they answer
// nothing. UI thread only.
class PlayListModel {
public:
    enum class Flag { Loaded, Marked, Current, Unplayable };
    enum class LoadResult {
        Loaded,      // read, and its tracks appended
        NotRead,     // a list kind whose contents are not read (.orv, .cue)
        Unreadable,  // missing, unreadable, or not a list path
        NoHeader,    // a .pls without its [playlist] line
    };
    enum class SaveResult { Saved, NotAListPath, WriteError };

    // Told after every load that changed the list (or would have).
    void SetOnLoaded(std::function<void()> loaded) { onLoaded_ = std::move(loaded); }

    void AddFile(int deck, const QString& path, double length = -1.0, const QString& title = {});
    // Before the first entry at or after `firstPosition` whose path sorts
    // after `path`; at the end when there is none.
    void AddFileInPathOrder(int deck, const QString& path, double length, const QString& title,
                            int firstPosition);
    void AddCdTrack(int deck, const QString& path, double length, uint32_t trackNumber);
    void Remove(int position);
    void RemoveAll();
    // One place toward the top, or the bottom; false when it cannot move.
    bool MoveUp(int position);
    bool MoveDown(int position);

    int Count() const { return static_cast<int>(entries_.size()); }
    bool Contains(int position) const { return position >= 0 && position < Count(); }
    // Null outside the list.
    const PlayListEntry* Entry(int position) const;

    void SetDeck(int position, int deck);
    void SetTitle(int position, const QString& title);
    void SetLength(int position, double seconds);
    void SetFlag(int position, Flag flag, bool on);
    bool HasFlag(int position, Flag flag) const;
    // Clears the flag (Loaded or Marked) of every entry of the deck.
    void ClearFlagOfDeck(int deck, Flag flag);

    // "song" for /music/song.mp3; "Deck A CD Track 3" for a CD track.
    QString NameText(int position) const;
    QString PathText(int position) const;
    // The title, or the name when there is none.
    QString TagText(int position) const;
    // "3:05": minutes and seconds of the whole seconds; empty when unknown.
    QString TimeText(int position) const;
    static QString TimeText(double seconds);

    // Appends the tracks of an .m3u, .m3u8 or .pls list, all for deck A.
    LoadResult LoadListFile(const QString& path);
    // Writes the file entries (not the CD tracks) as the path's extension
    // says, .m3u, .m3u8 or .pls. The old file stays whole until the new one
    // is complete, and stays as it was when writing fails.
    SaveResult Save(const QString& path) const;
    // The title of the entry's ID3 version 1 tag, which then replaces the
    // stored one; the stored title when the file has no tag.
    QString ReadTagTitle(int position);

private:
    PlayListEntry* MutableEntry(int position);

    std::vector<PlayListEntry> entries_;
    std::function<void()> onLoaded_;
};

}  // namespace playlist
