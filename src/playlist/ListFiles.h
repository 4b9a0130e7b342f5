#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace playlist {

// What a play list path is, by its extension in any case. Only .m3u (and
// its UTF-8 form .m3u8) and .pls lists are read; an .orv or .cue path is a
// list too, but one whose contents are not read.
enum class ListFormat { None, M3u, M3u8, Pls, Unread };
ListFormat FormatOf(const QString& path);
inline bool IsListFile(const QString& path) {
    return FormatOf(path) != ListFormat::None;
}

// One track as a list file names it.
struct ListItem {
    QString path;
    QString title;
    double length = -1.0;  // seconds; -1 when the list does not say
    bool operator==(const ListItem&) const = default;
};

// A track line of a list, made a full path: "file://" addresses become local
// paths, backslashes folder separators, and a path that is not absolute is
// taken in `folder` (the list file's own folder). Empty for a blank line.
QString ResolveListPath(const QString& line, const QString& folder);

// The tracks of an .m3u list's text: #EXTINF lines give the next track's
// length and title; blank lines and other # lines are passed over.
std::vector<ListItem> ReadM3u(const QString& text, const QString& folder);
// The tracks of a .pls list's text, each a File line directly followed by
// its Title and Length lines; nothing without the [playlist] header.
std::optional<std::vector<ListItem>> ReadPls(const QString& text, const QString& folder);

// A track as it is saved: its number in the whole list (from 1), for .pls.
struct SavedItem {
    int number = 0;
    QString path;
    QString title;
    double length = -1.0;
};
// The list's text in the format, UTF-8 with CR LF line ends; lengths in
// whole seconds (-1 when unknown).
QByteArray WriteM3u(const std::vector<SavedItem>& items);
QByteArray WritePls(const std::vector<SavedItem>& items);

// The title in an ID3 version 1 tag, given a file's last 128 bytes: the 30
// bytes after "TAG", up to the first zero byte, trailing spaces removed.
std::optional<QString> Id3v1Title(const QByteArray& last128);
// The ID3 version 1 title of a file; none when it cannot be read or has no
// tag (a file of 128 bytes or less has none).
std::optional<QString> FileTagTitle(const QString& path);

}  // namespace playlist
