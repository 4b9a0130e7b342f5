// The play list window in the program: files added through it are listed,
// a double click loads a row into its deck, and a playing deck runs from its
// entry into the next one of its deck without a gap, the list following.

#include <QTreeWidget>

#include "app/SteppedDesk.h"
#include "playlist/CZelPlayList2.h"

using testing_support::SteppedDesk;

TEST(PlayListDesk, RowsLoadIntoTheirDeckAndADeckRunsIntoItsNextEntry) {
    SteppedDesk desk;
    CZelPlayList2& window = desk.Window().PlayList();
    playlist::PlayListPanel& panel = window.Panel();
    const auto firstSound = fixtures::Noise(2 * SteppedDesk::kRate, 2, 21, 0.4);
    const auto secondSound = fixtures::Noise(2 * SteppedDesk::kRate, 2, 22, 0.4);
    const QString first = QString::fromStdString(desk.files.Wav("first.wav", firstSound));
    const QString other = QString::fromStdString(desk.files.Wav("other.wav", secondSound));
    const QString second = QString::fromStdString(desk.files.Wav("second.wav", secondSound));
    window.SetFileChooser([&](QWidget*, const QString&) { return QStringList{other, first, other, second}; });
    window.SetDeckChooser([](QWidget*) { return playlist::DeckChoice::Alternate; });
    window.AddFiles();  // decks B, A, B, A
    ASSERT_TRUE(testing_support::WaitUntil([&] { return window.RefillDone(); }));
    ASSERT_EQ(window.List().topLevelItemCount(), 4);
    EXPECT_EQ(window.List().topLevelItem(1)->text(0), "first");

    // Deck A takes row 1 by double click, then plays into row 3, its next.
    panel.DoubleClick(1);
    engine::DeckTransport& deck = desk.Deck(0).Transport();
    ASSERT_EQ(deck.Path(), first.toStdString());
    desk.Heard("Desk");
    deck.TogglePlay(false);
    std::vector<int16_t> heard;
    ASSERT_TRUE(desk.RenderUntil([&] {
        const auto more = desk.Heard("Desk");
        heard.insert(heard.end(), more.begin(), more.end());
        return !deck.Playing();
    }));
    EXPECT_EQ(deck.Path(), second.toStdString()) << "the deck follows its next entry";
    EXPECT_EQ(panel.LoadedPosition(0), 3) << "and the list follows the deck";
    EXPECT_EQ(panel.LoadedPosition(1), std::nullopt);
    const size_t start = testing_support::FirstSound(heard);
    EXPECT_GE(heard.size() / 2 - start, static_cast<size_t>(3.8 * SteppedDesk::kRate)) << "both tracks heard";
    const std::vector<int16_t> both(heard.begin(),
                                    heard.begin() + 2 * (start + 38 * SteppedDesk::kRate / 10));
    EXPECT_LT(testing_support::LongestSilence(both, start), 64u) << "no gap at the join";

    // Deck B asks for its next track: with none loaded, its first row.
    desk.Window().OnMessage(platform::Message::NextTrack, platform::DeckArgs{1});
    EXPECT_EQ(desk.Deck(1).Transport().Path(), other.toStdString());
    EXPECT_EQ(panel.LoadedPosition(1), 0);
}
