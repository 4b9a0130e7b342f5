// A CD image in the whole program: opened from a deck's source chooser, its
// tracks listed in the play list, a track loaded from there, and a damaged
// image refused with a message while the deck stays empty.

#include <QComboBox>
#include <QMessageBox>

#include "app/SteppedDesk.h"
#include "playlist/CZelPlayList2.h"
#include "support/CdImages.h"

using engine::DeckTransport;
using testing_support::Find;
using testing_support::SteppedDesk;

namespace {

QStringList Entries(QComboBox& chooser) {
    QStringList texts;
    for (int i = 0; i < chooser.count(); ++i) texts += chooser.itemText(i);
    return texts;
}

}  // namespace

TEST(CdDesk, AnImageOpensFromTheChooserAndItsTracksComeFromThePlayList) {
    SteppedDesk desk;
    CZelDeck2& deck = desk.Deck(0);
    DeckTransport& t = deck.Transport();
    auto* chooser = Find<QComboBox>(deck, "sourceChooser");
    if (!desk.Window().Engine().Cd().Drives().empty()) GTEST_SKIP() << "this machine has a CD drive";
    EXPECT_EQ(Entries(*chooser), (QStringList{"Nothing Loaded", "Browse...", "Open CD Image..."}));

    const std::vector<std::vector<int16_t>> tracks = {
        fixtures::CdTone(440.0, 150), fixtures::CdTone(660.0, 151), fixtures::CdTone(990.0, 150)};
    const QString image = QString::fromStdString(fixtures::WriteCdImage(desk.files.Path(""), "disc", tracks));
    deck.SetCdImageChooser([&](QWidget*) { return image; });
    emit chooser->activated(t.OpenCdImageEntry());
    ASSERT_EQ(t.Kind(), DeckTransport::SourceKind::Cd);
    EXPECT_EQ(chooser->currentText(), image) << "the image's path is the loaded entry";
    EXPECT_EQ(t.TrackNumber(), 3) << "the track count first";
    EXPECT_NEAR(t.Position(), 451 * 2352 / 176'400.0, 1e-9) << "and the total length";
    EXPECT_NEAR(t.Length(), 2.0, 1e-9) << "track 1's";
    t.OnTimer(DeckTransport::Timer::CdLoaded);
    EXPECT_EQ(t.TrackNumber(), 1);
    EXPECT_EQ(t.Position(), 0.0);

    // Every track is listed for deck A, the first as the loaded one.
    CZelPlayList2& list = desk.Window().PlayList();
    const playlist::PlayListModel& model = list.Panel().Model();
    ASSERT_EQ(model.Count(), 3);
    EXPECT_EQ(model.NameText(2), "Deck A CD Track 3");
    EXPECT_EQ(model.Entry(1)->path, image);
    EXPECT_NEAR(model.Entry(1)->length, 151 * 2352 / 176'400.0, 1e-9);
    EXPECT_EQ(list.Panel().LoadedPosition(0), 0);

    // Played from track 1, the deck and the list move on to track 2 as it is heard.
    desk.Heard("Desk");
    t.TogglePlay(false);
    ASSERT_TRUE(desk.RenderUntil([&] { return t.TrackNumber() == 2; }));
    EXPECT_EQ(t.CdTrack(), 2);
    EXPECT_NEAR(t.Length(), 151 * 2352 / 176'400.0, 1e-9);
    EXPECT_EQ(list.Panel().LoadedPosition(0), 1);
    const auto first = desk.Heard("Desk");
    EXPECT_NEAR(
        fixtures::DominantFrequency(first.data() + first.size() - 2 * 8192, 8192, 2, 0, SteppedDesk::kRate),
        440.0, 10.0)
        << "track 1 was heard up to the change";
    t.TogglePlay(false);

    // A double click on track 3 plays track 3.
    list.Panel().DoubleClick(2);
    EXPECT_EQ(t.CdTrack(), 3);
    EXPECT_EQ(t.TrackNumber(), 3);
    desk.Heard("Desk");
    t.TogglePlay(false);
    desk.RenderSeconds(1.0);
    const auto heard = desk.Heard("Desk");
    EXPECT_NEAR(
        fixtures::DominantFrequency(heard.data() + heard.size() - 2 * 8192, 8192, 2, 0, SteppedDesk::kRate),
        990.0, 10.0);
    desk.Window().OnMessage(platform::Message::ReportQueuedBytes, platform::DeckArgs{0});
    EXPECT_NEAR(t.Position(), 1.0, 0.25) << "the time runs from the track's start";

    // Leaving the CD takes its tracks out of the list, here for a file that
    // turns out to be missing: that row, and only it, is marked unplayable.
    list.Panel().AddFileEntry(0, desk.files.Path("missing.wav").c_str(), -1.0, {});
    list.Panel().DoubleClick(3);
    EXPECT_EQ(t.Kind(), DeckTransport::SourceKind::None);
    ASSERT_EQ(model.Count(), 1);
    EXPECT_TRUE(model.Entry(0)->unplayable);

    // And so does choosing "Nothing Loaded".
    emit chooser->activated(t.OpenCdImageEntry());
    ASSERT_EQ(model.Count(), 4);
    emit chooser->activated(DeckTransport::kNothingLoadedEntry);
    EXPECT_EQ(t.Kind(), DeckTransport::SourceKind::None);
    EXPECT_EQ(model.Count(), 1);
}

TEST(CdDesk, AnImageThatCannotBeReadIsRefusedAndTheDeckStaysEmpty) {
    SteppedDesk desk;
    CZelDeck2& deck = desk.Deck(1);
    DeckTransport& t = deck.Transport();
    auto* chooser = Find<QComboBox>(deck, "sourceChooser");
    // A cue sheet whose .bin is missing.
    const std::string image =
        fixtures::WriteCdImage(desk.files.Path(""), "gone", {fixtures::CdTone(440.0, 75)});
    std::remove(desk.files.Path("gone.bin").c_str());
    deck.SetCdImageChooser([&](QWidget*) { return QString::fromStdString(image); });
    emit chooser->activated(t.OpenCdImageEntry());
    EXPECT_EQ(t.Kind(), DeckTransport::SourceKind::None);
    EXPECT_EQ(chooser->currentIndex(), DeckTransport::kNothingLoadedEntry);
    auto* box = deck.findChild<QMessageBox*>("cdUnreadable");
    ASSERT_NE(box, nullptr) << "the user is told why";
    EXPECT_FALSE(box->text().isEmpty());
    EXPECT_EQ(desk.Window().PlayList().Panel().Model().Count(), 0);
    // Play on an empty deck does nothing.
    t.TogglePlay(false);
    EXPECT_FALSE(t.Playing());
}
