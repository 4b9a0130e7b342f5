// The play list window in the program: files added through it are listed,
// a double click loads a row into its deck, and a playing deck runs from its
// entry into the next one of its deck without a gap, the list following.

#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "app/SteppedDesk.h"
#include "platform/keyboard/KeyboardEnabled.h"
#include "playlist/CZelPlayList2.h"

using testing_support::Find;
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

// What the user does in the window itself: find by typing, Shift+Delete,
// and the keys belonging to the list while it is active.
TEST(PlayListDesk, FindDeleteAndTheKeyboardWhileActive) {
    SteppedDesk desk;
    CZelPlayList2& window = desk.Window().PlayList();
    playlist::PlayListPanel& panel = window.Panel();
    panel.AddFiles({"/m/Intro.mp3", "/m/Beat It.mp3", "/m/beat two.mp3", "/m/Outro.mp3"},
                   playlist::DeckChoice::DeckA);
    panel.Click(0);

    // Enter in the find box goes through the main window to the next match.
    auto* find = testing_support::Find<QLineEdit>(window, "findBox");
    QTest::keyClicks(find, "BEAT");
    QTest::keyClick(find, Qt::Key_Return);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return panel.Selected() == 1; }));
    QTest::keyClick(find, Qt::Key_Return);
    ASSERT_TRUE(testing_support::WaitUntil([&] { return panel.Selected() == 2; }));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return window.RefillDone(); }));
    EXPECT_EQ(window.List().currentItem(), window.List().topLevelItem(2)) << "the list shows the cursor";

    // Delete Track: a right click does nothing, Shift with Ctrl deletes the
    // selected row only, Shift alone empties the list.
    auto* remove = testing_support::Find<CZelButton>(window, "deleteTrack");
    QTest::mouseClick(remove, Qt::RightButton);
    EXPECT_EQ(panel.Model().Count(), 4);
    QTest::mouseClick(remove, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(panel.Model().Count(), 3);
    QTest::mouseClick(remove, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(panel.Model().Count(), 0);

    // The shortcuts rest while the list is the active window, and while the
    // program is in the background.
    QEvent activate(QEvent::WindowActivate), deactivate(QEvent::WindowDeactivate);
    desk.Window().Desk().SetInBackground(false);
    QCoreApplication::sendEvent(&window, &deactivate);
    EXPECT_TRUE(platform::keyboard::KeyboardEnabled());
    QCoreApplication::sendEvent(&window, &activate);
    EXPECT_FALSE(platform::keyboard::KeyboardEnabled());
    QCoreApplication::sendEvent(&window, &deactivate);
    EXPECT_TRUE(platform::keyboard::KeyboardEnabled());
    desk.Window().Desk().SetInBackground(true);
    EXPECT_FALSE(platform::keyboard::KeyboardEnabled());
    desk.Window().Desk().SetInBackground(false);
    EXPECT_TRUE(platform::keyboard::KeyboardEnabled());
}

// Folders are listed off the window's thread; one added while another is
// still going in loses nothing.
TEST(PlayListDesk, FoldersAddedOneAfterAnotherAreAllListed) {
    SteppedDesk desk;
    CZelPlayList2& window = desk.Window().PlayList();
    QTemporaryDir dir;
    for (const char* name : {"one/song.MP3", "one/notes.txt", "one/deep/b.flac", "two/a.wav", "two/c.ogg"}) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    }
    QStringList folders{dir.filePath("one"), dir.filePath("two")};
    window.SetFolderChooser([&](QWidget*) { return folders.takeFirst(); });
    window.SetDeckChooser([](QWidget*) { return playlist::DeckChoice::Alternate; });
    window.AddFolder();
    window.AddFolder();
    EXPECT_TRUE(Find<QWidget>(window, "scanProgress")->isVisibleTo(&window));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !window.ScanUnderWay() && window.RefillDone(); }));
    EXPECT_FALSE(Find<QWidget>(window, "scanProgress")->isVisibleTo(&window));
    EXPECT_TRUE(Find<QWidget>(window, "findBox")->isVisibleTo(&window));
    const playlist::PlayListModel& model = window.Panel().Model();
    ASSERT_EQ(model.Count(), 4);
    EXPECT_EQ(model.Entry(0)->path, dir.filePath("one/deep/b.flac"));
    EXPECT_EQ(model.Entry(1)->path, dir.filePath("one/song.MP3"));
    EXPECT_EQ(model.Entry(2)->path, dir.filePath("two/a.wav"));
    EXPECT_EQ(model.Entry(3)->path, dir.filePath("two/c.ogg"));
    // Each folder alternates from deck B.
    EXPECT_EQ(model.Entry(0)->deck, 1);
    EXPECT_EQ(model.Entry(1)->deck, 0);
    EXPECT_EQ(model.Entry(2)->deck, 1);
    EXPECT_EQ(model.Entry(3)->deck, 0);
}

// From the smallest window to a large one the controls stay inside and apart,
// and every button's caption fits as drawn.
TEST(PlayListDesk, WindowFitsEverySize) {
    SteppedDesk desk;
    CZelPlayList2& window = desk.Window().PlayList();
    window.show();
    for (const QSize size : {window.minimumSize(), QSize(322, 140), QSize(452, 300), QSize(640, 230),
                             QSize(284, 185), QSize(1000, 700)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        window.resize(size);
        QCoreApplication::processEvents();
        QList<QWidget*> controls;
        for (QWidget* control : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (control->isVisible() && !control->isWindow()) controls.push_back(control);
        ASSERT_GE(controls.size(), 10);
        for (qsizetype i = 0; i < controls.size(); ++i) {
            EXPECT_TRUE(window.rect().contains(controls[i]->geometry()))
                << controls[i]->objectName().toStdString();
            for (qsizetype j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                    << controls[i]->objectName().toStdString() << " and "
                    << controls[j]->objectName().toStdString();
        }
        for (CZelButton* button : window.findChildren<CZelButton*>()) {
            const CZelButton::CaptionFit fit = button->FitCaption(button->CaptionRect().size());
            EXPECT_TRUE(CZelButton::Fits(fit, button->CaptionRect().size())) << fit.text.toStdString();
        }
        const QTreeWidget& list = window.List();
        EXPECT_EQ(list.columnWidth(1), 46);
        EXPECT_LE(list.columnWidth(0) + list.columnWidth(1), list.viewport()->width() + 1);
    }
}
