// What the play list window decides, driven as the user and the main window
// drive it, on a recording view.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "dsp/SentMessages.h"
#include "playlist/FolderCollector.h"
#include "playlist/PlayListPanel.h"
#include "support/Waits.h"

using platform::Message;
using playlist::DeckChoice;
using playlist::PlayListPanel;
using playlist::RowIcon;
using testing_support::Sent;
using testing_support::SentMessages;

namespace {

struct RecordingView final : PlayListPanel::View {
    void RowsChanged() override { ++rebuilds; }
    void RowsAppended() override { ++appends; }
    void RowChanged(int position) override { changed.push_back(position); }
    void ShowSelection(int position) override { shown = position; }
    int rebuilds = 0;
    int appends = 0;
    std::vector<int> changed;
    int shown = -2;
};

class PlayList : public ::testing::Test {
protected:
    std::vector<int> Decks() const {
        std::vector<int> decks;
        for (int i = 0; i < model.Count(); ++i) decks.push_back(model.Entry(i)->deck);
        return decks;
    }
    std::vector<QString> Files() const {
        std::vector<QString> texts;
        for (int i = 0; i < model.Count(); ++i) texts.push_back(panel.FilesText(i));
        return texts;
    }
    playlist::PlayListModel model;
    RecordingView view;
    SentMessages messages;
    PlayListPanel panel{model, view, messages.Sink()};
};

}  // namespace

TEST_F(PlayList, AddedFilesGoToTheChosenDecksAndTheCursorToTheFirst) {
    EXPECT_TRUE(
        panel.AddFiles({"/m/1.mp3", "/m/2.mp3", "/m/3.mp3", "/m/4.mp3", "/m/5.mp3"}, DeckChoice::Alternate));
    EXPECT_EQ(Decks(), (std::vector<int>{1, 0, 1, 0, 1}));
    EXPECT_EQ(panel.Selected(), 0);
    EXPECT_EQ(playlist::IconOf(*model.Entry(0)), RowIcon::CurrentB);
    panel.AddFiles({"/m/6.mp3"}, DeckChoice::DeckA);
    panel.AddFiles({"/m/7.mp3", "/m/8.mp3"}, DeckChoice::DeckB);
    EXPECT_EQ(Decks(), (std::vector<int>{1, 0, 1, 0, 1, 0, 1, 1}));
    EXPECT_EQ(panel.Selected(), 0) << "the selection stays where it was";
    EXPECT_FALSE(panel.AddFiles({}, DeckChoice::DeckA));
    EXPECT_EQ(messages.sent, (std::vector<Sent>(3, Sent{Message::PlayListChanged, 0, -1})));
}

TEST_F(PlayList, NextPreviousAndQueuedTracksOfADeck) {
    panel.AddFiles({"/m/b1.mp3", "/m/a1.mp3", "/m/b2.mp3", "/m/a2.mp3", "/m/b3.mp3"}, DeckChoice::Alternate);
    // Decks B A B A B: deck A holds rows 1 and 3.
    messages.sent.clear();
    EXPECT_FALSE(panel.PreviousTrack(0)) << "nothing loaded";
    EXPECT_EQ(panel.PositionAfterLoaded(0), -1);
    EXPECT_TRUE(panel.NextTrack(0)) << "nothing loaded: from the first row";
    EXPECT_EQ(panel.LoadedPosition(0), 1);
    EXPECT_EQ(playlist::IconOf(*model.Entry(1)), RowIcon::LoadedA);
    EXPECT_TRUE(panel.NextTrack(0));
    EXPECT_EQ(panel.LoadedPosition(0), 3);
    EXPECT_EQ(panel.PositionAfterLoaded(0), 4);
    EXPECT_FALSE(model.Entry(1)->loaded) << "one loaded entry a deck";
    EXPECT_FALSE(panel.NextTrack(0)) << "no later deck A entry";
    EXPECT_TRUE(panel.PreviousTrack(0));
    EXPECT_EQ(panel.LoadedPosition(0), 1);
    EXPECT_FALSE(panel.PreviousTrack(0));
    EXPECT_EQ(messages.sent, (std::vector<Sent>(3, Sent{Message::LoadPlayListEntry, 0, -1})));

    // The end of deck B's track: its next entry is queued, then heard.
    panel.DoubleClick(2);
    EXPECT_EQ(messages.sent.back(), (Sent{Message::LoadPlayListEntry, 1, -1}));
    EXPECT_EQ(panel.QueueNext(1), "/m/b3.mp3");
    EXPECT_TRUE(model.Entry(4)->marked);
    EXPECT_EQ(panel.LoadedPosition(1), 2) << "still playing the one before";
    panel.MarkQueuedLoaded(1);
    EXPECT_EQ(panel.LoadedPosition(1), 4);
    EXPECT_EQ(panel.QueueNext(1), "") << "the last row";
    panel.ClearLoaded(1);
    EXPECT_EQ(panel.LoadedPosition(1), std::nullopt);

    // CD tracks leave with their deck's disc.
    panel.AddCdEntry(1, "cd 1", 60.0, 1);
    panel.AddCdEntry(1, "cd 2", 60.0, 2);
    panel.MarkCdTrackLoaded(1, 2);
    EXPECT_EQ(panel.LoadedPosition(1), 6);
    EXPECT_EQ(model.NameText(6), "Deck B CD Track 2");
    panel.RemoveCdEntries(1);
    EXPECT_EQ(model.Count(), 5);
}

TEST_F(PlayList, FolderScansAddOnlyMusicInPathOrder) {
    QTemporaryDir dir;
    for (const char* name : {"song.MP3", "notes.txt", "noext", "b/zeta.flac", "b/alpha.Wav", "a/mid.ogg"}) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    }
    QFile::link(dir.path(), dir.filePath("b/loop"));  // a link back up is not followed
    const QStringList found = playlist::CollectMusicFiles(dir.path());
    EXPECT_EQ(found, (QStringList{dir.filePath("a/mid.ogg"), dir.filePath("b/alpha.Wav"),
                                  dir.filePath("b/zeta.flac"), dir.filePath("song.MP3")}));

    panel.AddFiles({"/z/already.mp3"}, DeckChoice::DeckA);
    messages.sent.clear();
    panel.BeginScan({"/m/c.mp3", "/m/a.mp3", "/m/b.mp3"}, DeckChoice::Alternate);
    EXPECT_TRUE(panel.StepScan(2));
    EXPECT_EQ(panel.ScanDone(), 2);
    EXPECT_TRUE(messages.sent.empty()) << "the change is told once the scan is over";
    // A second folder added before the first is in joins the scan, with its
    // own choice of deck.
    panel.BeginScan({"/m/ab.mp3", "/m/d.mp3"}, DeckChoice::DeckA);
    EXPECT_EQ(panel.ScanCount(), 5);
    EXPECT_TRUE(panel.StepScan(2));
    EXPECT_FALSE(panel.StepScan(2));
    EXPECT_EQ(Files(), (std::vector<QString>{"already", "a", "ab", "b", "c", "d"}))
        << "sorted after what was there";
    EXPECT_EQ(Decks(), (std::vector<int>{0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(messages.sent, (std::vector<Sent>{{Message::PlayListChanged, 0, -1}}));
}

TEST_F(PlayList, FindMovesDeleteSwapAndTexts) {
    panel.AddFiles({"/m/Intro.mp3", "/m/Mix One.mp3", "/m/mix two.mp3", "/m/outro.mp3"}, DeckChoice::DeckA);
    panel.Click(1);
    panel.SetFindText("MIX");
    EXPECT_TRUE(panel.FindNext()) << "in any case, after the selection";
    EXPECT_EQ(panel.Selected(), 2);
    panel.SetFindText("mix");
    EXPECT_FALSE(panel.FindNext()) << "nothing after it";
    EXPECT_EQ(panel.Selected(), 2);
    EXPECT_FALSE(model.Entry(1)->current) << "one cursor";

    panel.MoveSelectedUp();
    EXPECT_EQ(Files(), (std::vector<QString>{"Intro", "mix two", "Mix One", "outro"}));
    EXPECT_EQ(panel.Selected(), 1);
    panel.MoveSelectedUp();
    panel.MoveSelectedUp();
    EXPECT_EQ(panel.Selected(), 0) << "the top row stays";
    panel.SwapSelectedDeck();
    EXPECT_EQ(model.Entry(0)->deck, 1);

    panel.TakeTrackLength("/m/outro.mp3", "Outro Title", 185.7);
    panel.TakeTrackLength("/m/Intro.mp3", "", -1.0);
    EXPECT_EQ(panel.TimeText(3), "3:05");
    EXPECT_EQ(panel.TimeText(1), "???");
    EXPECT_EQ(playlist::IconOf(*model.Entry(1)), RowIcon::Unplayable);
    EXPECT_EQ(panel.NextLengthToMeasure(), "/m/mix two.mp3");
    panel.CycleNameDisplay();
    EXPECT_EQ(panel.FilesText(3), "/m/outro.mp3");
    panel.CycleNameDisplay();
    EXPECT_EQ(panel.FilesText(3), "Outro Title");
    EXPECT_EQ(panel.FilesText(0), "mix two") << "no title: the name";
    EXPECT_EQ(playlist::NameDisplayCaption(panel.Display()), "Tag");

    panel.Delete(false);
    EXPECT_EQ(model.Count(), 3);
    panel.Delete(true);
    EXPECT_EQ(model.Count(), 0);
    EXPECT_EQ(panel.Selected(), -1);
    panel.Delete(false);  // nothing selected: nothing happens
}

// Folders are listed on a thread of their own and handed back in the order
// asked; one still being listed when the collector goes is dropped.
TEST(FolderCollector, ListsFoldersInTurnOffTheWindowsThread) {
    QTemporaryDir dir;
    for (const char* name : {"one/a.mp3", "one/sub/b.wav", "two/c.flac", "two/d.txt"}) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    }
    std::vector<std::pair<QStringList, DeckChoice>> done;
    {
        playlist::FolderCollector collector(
            [&](const QStringList& files, DeckChoice choice) { done.emplace_back(files, choice); });
        collector.Collect(dir.filePath("one"), DeckChoice::DeckB);
        collector.Collect(dir.filePath("two"), DeckChoice::Alternate);
        EXPECT_TRUE(collector.Busy());
        ASSERT_TRUE(testing_support::WaitUntil([&] {
            collector.Poll();
            return !collector.Busy();
        }));
        collector.Collect(dir.path(), DeckChoice::DeckA);  // gone before it is handed back
    }
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].first, (QStringList{dir.filePath("one/sub/b.wav"), dir.filePath("one/a.mp3")}));
    EXPECT_EQ(done[0].second, DeckChoice::DeckB);
    EXPECT_EQ(done[1].first, QStringList{dir.filePath("two/c.flac")});
    EXPECT_EQ(done[1].second, DeckChoice::Alternate);
}
