// The play list's entries and texts, and its list files read and written,
// on files the tests write themselves.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>

#include <unistd.h>

#include "playlist/ListFiles.h"
#include "playlist/PlayListModel.h"

using playlist::ListItem;
using playlist::PlayListEntry;
using playlist::PlayListModel;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file of `size` bytes ending in an ID3 version 1 tag with the title.
QByteArray Tagged(const QByteArray& title, int size = 1000) {
    QByteArray tag = "TAG" + title.leftJustified(30, '\0') + QByteArray(95, ' ');
    return QByteArray(size - tag.size(), 'x') + tag;
}

std::vector<QString> Paths(const PlayListModel& list) {
    std::vector<QString> paths;
    for (int i = 0; i < list.Count(); ++i) paths.push_back(list.PathText(i));
    return paths;
}

}  // namespace

TEST(ListFiles, M3uLinesBecomeTracksInTheListsFolder) {
    // Without a header; the last line has no line end; Windows folders and
    // line ends; a blank line; an absolute path; a file address; a comment.
    const QString text =
        "music\\song.mp3\r\n"
        "#EXTINF:215,Artist - Song\r\n"
        "music\\other.mp3\r\n"
        "\r\n"
        "#EXTINF:,No Length\n"
        "/srv/abs.mp3\n"
        "#EXTINF:-1\n"
        "file:///srv/with%20space.flac\n"
        "#EXTVLCOPT:start-time=3\n"
        "last.wav";
    const auto items = playlist::ReadM3u(text, "/home/dj/lists");
    const std::vector<ListItem> expected{
        {"/home/dj/lists/music/song.mp3", "", -1.0},
        {"/home/dj/lists/music/other.mp3", "Artist - Song", 215.0},
        {"/srv/abs.mp3", "", -1.0},  // nothing between ":" and ",": no length, no title
        {"/srv/with space.flac", "", -1.0},
        {"/home/dj/lists/last.wav", "", -1.0},
    };
    EXPECT_EQ(items, expected);

    EXPECT_EQ(playlist::ReadM3u("#EXTM3U\n#EXTINF:12.7 ,A, B\n../up.mp3\n", "/l/x")[0],
              (ListItem{"/l/up.mp3", "A, B", 12.0}));
    EXPECT_TRUE(playlist::ReadM3u("", "/l").empty());
    EXPECT_TRUE(playlist::ReadM3u("#EXTM3U\n#EXTINF:5,Dangling", "/l").empty());
    // A line that looks like a Qt resource is a file beside the list.
    EXPECT_EQ(playlist::ReadM3u(":/../e.mp3\n", "/l/x")[0].path, "/l/x/e.mp3");
}

TEST(ListFiles, PlsTracksNeedTheHeaderAndTakeTitleAndLengthOnlyRightAfterTheirFile) {
    EXPECT_FALSE(playlist::ReadPls("File1=a.mp3\n", "/l")) << "no [playlist] header";
    const QString text =
        "[playlist]\r\n"
        "File7=a.mp3\r\nTitle7=Song A \r\nLength7=181\r\n"
        "File=skipped.mp3\r\n"
        "File2=b.mp3\r\nLength2=99\r\nTitle2=Too late\r\n"
        "NumberOfEntries=1\r\nVersion=2\r\n"
        "File3= c.mp3 \r\n";
    const auto items = playlist::ReadPls(text, "/l");
    ASSERT_TRUE(items);
    const std::vector<ListItem> expected{
        {"/l/a.mp3", "Song A ", 181.0},  // the title is not trimmed
        {"/l/b.mp3", "", -1.0},          // its two lines are taken, and neither fits
        {"/l/c.mp3", "", -1.0},
    };
    EXPECT_EQ(*items, expected);
}

TEST(PlayListModel, EntriesTextsOrderAndFlags) {
    PlayListModel list;
    list.AddFile(0, "/m/b.mp3", 185.7, "");
    list.AddFile(1, "/m/d.mp3", 3725.0, "Dee");
    list.AddCdTrack(0, "/dev/cdrom 3", 59.99, 3);
    EXPECT_EQ(list.NameText(0), "b");
    EXPECT_EQ(list.TagText(0), "b") << "no title: the name";
    EXPECT_EQ(list.TagText(1), "Dee");
    EXPECT_EQ(list.NameText(2), "Deck A CD Track 3");
    EXPECT_EQ(list.TimeText(0), "3:05");
    EXPECT_EQ(list.TimeText(1), "62:05");
    EXPECT_EQ(list.TimeText(2), "0:59");
    EXPECT_EQ(PlayListModel::TimeText(600.0), "10:00");
    EXPECT_EQ(PlayListModel::TimeText(-1.0), "");
    EXPECT_EQ(list.NameText(3), "") << "outside the list: nothing";
    EXPECT_TRUE(list.HasFlag(-1, PlayListModel::Flag::Unplayable));
    EXPECT_FALSE(list.HasFlag(5, PlayListModel::Flag::Loaded));

    // In path order from a position: before the first greater path there.
    list.AddFileInPathOrder(0, "/m/c.mp3", -1.0, "", 0);
    list.AddFileInPathOrder(0, "/m/a.mp3", -1.0, "", 2);
    list.AddFileInPathOrder(0, "/m/z.mp3", -1.0, "", -4);
    EXPECT_EQ(Paths(list), (std::vector<QString>{"/m/b.mp3", "/m/c.mp3", "/m/a.mp3", "/m/d.mp3",
                                                 "/dev/cdrom 3", "/m/z.mp3"}));
    EXPECT_FALSE(list.MoveUp(0));
    EXPECT_FALSE(list.MoveDown(5));
    EXPECT_TRUE(list.MoveDown(0));
    EXPECT_TRUE(list.MoveUp(3));
    EXPECT_EQ(Paths(list).front(), "/m/c.mp3");
    EXPECT_EQ(Paths(list)[2], "/m/d.mp3");

    for (int i = 0; i < list.Count(); ++i) list.SetFlag(i, PlayListModel::Flag::Loaded, true);
    list.ClearFlagOfDeck(0, PlayListModel::Flag::Loaded);
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.HasFlag(i, PlayListModel::Flag::Loaded), list.Entry(i)->deck == 1) << i;
    list.Remove(0);
    list.Remove(99);
    EXPECT_EQ(list.Count(), 5);
    list.RemoveAll();
    EXPECT_EQ(list.Count(), 0);
}

TEST(PlayListModel, ListsSavedAndReadBackKeepTheirTracks) {
    QTemporaryDir dir;
    const QString tagged = dir.filePath("tagged.mp3");
    WriteFile(tagged, Tagged("Tag Title\xE9"));  // Windows-1252 e acute
    const QString small = dir.filePath("small.mp3");
    WriteFile(small, Tagged("Never read", 128));
    PlayListModel list;
    int loads = 0;
    list.SetOnLoaded([&] { ++loads; });
    list.AddFile(1, tagged, 200.9, "Stored");
    list.AddCdTrack(0, "cd 1", 100.0, 1);
    list.AddFile(0, small, -1.0, "Small \u00FCml");
    list.AddFile(0, dir.filePath("missing.mp3"), 61.0, "");

    ASSERT_EQ(list.Save(dir.filePath("set.M3U")), PlayListModel::SaveResult::Saved) << "capital extension";
    const QString m3u = QString::fromUtf8(ReadFile(dir.filePath("set.M3U")));
    EXPECT_EQ(m3u, "#EXTM3U\r\n#EXTINF:200,Tag Title\u00E9\r\n" + tagged +
                       "\r\n#EXTINF:-1,Small \u00FCml\r\n" + small + "\r\n#EXTINF:61,\r\n" +
                       dir.filePath("missing.mp3") + "\r\n");
    ASSERT_EQ(list.Save(dir.filePath("set.pls")), PlayListModel::SaveResult::Saved);
    const QString pls = QString::fromUtf8(ReadFile(dir.filePath("set.pls")));
    EXPECT_TRUE(pls.startsWith("[playlist]\r\nFile1=" + tagged +
                               "\r\nTitle1=Tag Title\u00E9\r\nLength1=200\r\nFile3="))
        << "numbered by position: the CD track leaves a gap";
    EXPECT_TRUE(pls.endsWith("NumberOfEntries=3\r\nVersion=2\r\n"));
    EXPECT_EQ(list.Save(dir.filePath("set.txt")), PlayListModel::SaveResult::NotAListPath);

    for (const char* name : {"set.M3U", "set.pls"}) {
        PlayListModel back;
        ASSERT_EQ(back.LoadListFile(dir.filePath(name)), PlayListModel::LoadResult::Loaded) << name;
        ASSERT_EQ(back.Count(), 3);
        EXPECT_EQ(Paths(back), (std::vector<QString>{tagged, small, dir.filePath("missing.mp3")}));
        EXPECT_EQ(back.Entry(0)->title, "Tag Title\u00E9");
        EXPECT_EQ(back.Entry(0)->length, 200.0);
        EXPECT_EQ(back.Entry(0)->deck, 0) << "read tracks are for deck A";
        EXPECT_EQ(back.Entry(1)->length, -1.0);
    }

    // A tag replaces the stored title; a file of 128 bytes has no tag.
    EXPECT_EQ(list.ReadTagTitle(0), "Tag Title\u00E9");
    EXPECT_EQ(list.ReadTagTitle(2), "Small \u00FCml");

    // Old Windows lists read as Windows-1252; .m3u8 as UTF-8.
    WriteFile(dir.filePath("old.m3u"), "#EXTINF:10,Caf\xE9 \x80\r\nx.mp3\r\n");
    WriteFile(dir.filePath("new.m3u8"), "#EXTINF:10,Caf\xC3\xA9\nx.mp3\n");
    PlayListModel texts;
    texts.LoadListFile(dir.filePath("old.m3u"));
    texts.LoadListFile(dir.filePath("new.m3u8"));
    ASSERT_EQ(texts.Count(), 2);
    EXPECT_EQ(texts.Entry(0)->title, "Caf\u00E9 \u20AC");
    EXPECT_EQ(texts.Entry(1)->title, "Caf\u00E9");

    EXPECT_EQ(list.LoadListFile(dir.filePath("absent.m3u")), PlayListModel::LoadResult::Unreadable);
    WriteFile(dir.filePath("bad.pls"), "File1=a.mp3\n");
    EXPECT_EQ(list.LoadListFile(dir.filePath("bad.pls")), PlayListModel::LoadResult::NoHeader);
    EXPECT_EQ(list.LoadListFile(dir.filePath("set.orv")), PlayListModel::LoadResult::NotRead);
    EXPECT_EQ(loads, 1) << "only the .orv load says the list changed";
    EXPECT_EQ(list.Count(), 4);
}

TEST(PlayListModel, AFailedSaveLeavesTheOldListWhole) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/set.m3u";
    WriteFile(path, "old contents\n");
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    PlayListModel list;
    list.AddFile(0, "/m/a.mp3");
    const auto result = list.Save(path);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (geteuid() == 0) {
        // root writes into any folder: the save works, and replaces the list whole.
        EXPECT_EQ(result, PlayListModel::SaveResult::Saved);
        EXPECT_EQ(ReadFile(path), "#EXTM3U\r\n#EXTINF:-1,\r\n/m/a.mp3\r\n");
    } else {
        EXPECT_EQ(result, PlayListModel::SaveResult::WriteError);
        EXPECT_EQ(ReadFile(path), "old contents\n");
    }
    // A folder that is not there.
    EXPECT_EQ(list.Save(dir.filePath("nowhere/set.pls")), PlayListModel::SaveResult::WriteError);
}
