// The deck window's binding to its transport: the user's clicks reach the
// transport, and its state shows in the controls. The decisions themselves
// are tested on the transport alone.

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include "app/SteppedDesk.h"
#include "deck/LedRing.h"
#include "engine/Engine.h"
#include "engine/StreamTime.h"
#include "ui/controls/CZelDualTextIndicator.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelTextIndicator.h"

using engine::DeckTransport;
using testing_support::Find;

namespace {

class DeckWindow : public ::testing::Test {
protected:
    // Picks "Browse..." in the chooser, and the files in the file dialog.
    void Browse(const QStringList& files) {
        deck.SetFileChooser([files](QWidget*, const QString&) { return files; });
        emit chooser->activated(DeckTransport::kBrowseEntry);
    }
    void Click(const char* button) { QTest::mouseClick(Find<CZelButton>(deck, button), Qt::LeftButton); }

    testing_support::SteppedDesk desk;
    CZelDeck2& deck = desk.Deck(0);
    DeckTransport& t = deck.Transport();
    QComboBox* chooser = Find<QComboBox>(deck, "sourceChooser");
    const QString noise =
        QString::fromStdString(desk.files.Wav("noise.wav", fixtures::Noise(882'000, 2, 3, 0.4)));
};

}  // namespace

TEST_F(DeckWindow, TheChooserShowsTheLoadedFileAndTellsOfABadOne) {
    EXPECT_EQ(deck.windowTitle(), "Deck A");
    EXPECT_EQ(desk.Deck(1).windowTitle(), "Deck B");
    EXPECT_EQ(CZelDeck2::FileFilter(), "Files (*.mp3 *.wav *.wma);;All Files (*)");
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");
    Click("playPause");
    Click("cue");
    EXPECT_FALSE(t.Playing() || t.IsCueOn()) << "nothing to play or cue";
    // Of the files chosen the first is loaded; a cancelled dialog keeps it.
    Browse({noise, QString::fromStdString(desk.files.Wav("other.wav", fixtures::Noise(44'100, 2, 4)))});
    Browse({});
    EXPECT_EQ(t.Kind(), DeckTransport::SourceKind::File);
    EXPECT_EQ(chooser->count(), t.PathEntry() + 1) << "its path follows \"Open CD Image...\"";
    EXPECT_EQ(chooser->itemText(t.OpenCdImageEntry()), "Open CD Image...");
    EXPECT_EQ(chooser->currentText(), noise);

    // A file that is not audio: the window's message box tells the user, and the deck holds nothing.
    QFile bad(noise + ".notes.mp3");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write(QByteArray(50'000, 'x')) && bad.flush());
    QString told;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            told = box->text(), box->accept();
    });
    answer.start(10);
    Browse({bad.fileName()});
    answer.stop();
    EXPECT_EQ(told, "File Not Recognized");
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");
    EXPECT_EQ(chooser->count(), t.PathEntry()) << "no path";

    Browse({noise});
    deck.close();
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded") << "closing the window unloads the deck";
    EXPECT_EQ(desk.Window().Engine().Kind(0), engine::SourceKind::None);
}

TEST_F(DeckWindow, ButtonsSlidesAndTheDialReachTheTransportAndShowItsState) {
    Browse({noise});
    auto* slide = Find<CZelSlide>(deck, "positionSlide");
    QTest::mouseClick(slide, Qt::LeftButton, {}, slide->rect().center());
    EXPECT_NEAR(t.Slide(), 0.5, 0.1) << "a click on the slide seeks";
    EXPECT_DOUBLE_EQ(t.Position(), t.Slide() * t.Length());
    const double cueAt = t.Position();

    Click("cue");
    EXPECT_TRUE(t.IsCueOn() && slide->IsSecondPointerVisible());
    auto* time = Find<CZelDualTextIndicator>(deck, "time");
    EXPECT_EQ(time->SecondText().toStdString(), engine::FormatTime(cueAt));
    Find<CZelKnob>(deck, "jogDial")->SetValue(0.1);
    EXPECT_NEAR(t.CuePoint(), cueAt + 0.1, 1e-9) << "the dial moves the cue";

    auto* play = Find<CZelButton>(deck, "playPause");
    Click("playPause");
    EXPECT_TRUE(t.Playing() && play->Value());
    auto* reverse = Find<CZelButton>(deck, "reversePlay");
    ASSERT_TRUE(reverse->isEnabled());
    desk.RenderSeconds(1.0);
    QTest::mousePress(reverse, Qt::LeftButton);
    EXPECT_TRUE(t.Reversing());
    QTest::mouseRelease(reverse, Qt::LeftButton);
    EXPECT_FALSE(t.Reversing());
    Click("playPause");
    EXPECT_FALSE(play->Value() || reverse->isEnabled());
    EXPECT_NEAR(slide->Value(), (cueAt + 0.1) / t.Length(), 1e-9) << "the slide shows the return to the cue";
    EXPECT_EQ(time->Shown(), 1) << "and the time display the cue time";

    // Holding fast forward winds the slide by the window's timer.
    auto* forward = Find<CZelButton>(deck, "fastForward");
    const double before = t.Slide();
    QTest::mousePress(forward, Qt::LeftButton);
    EXPECT_TRUE(testing_support::WaitUntil([&] { return slide->Value() > before; }));
    QTest::mouseRelease(forward, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(t.Position(), slide->Value() * t.Length()) << "the release seeks";

    Find<CZelSlide>(deck, "tempoSlide")->SetValue(5.0);
    EXPECT_DOUBLE_EQ(t.Tempo(), 5.0);
    EXPECT_EQ(Find<CZelTextIndicator>(deck, "tempoPercent")->Text(), "5.0%");
    t.ShowTrackNumber(7);
    EXPECT_EQ(Find<CZelTextIndicator>(deck, "trackNumber")->Text(), "7");
    auto lamp = [&](int k) {
        return Find<CZelLed>(deck, ("turntableLed" + std::to_string(k)).c_str())->IsOn();
    };
    const int lit = t.LitLamp();
    t.AdvanceLeds();
    EXPECT_TRUE(!lamp(lit) && lamp(deck::NextLed(lit))) << "the next lamp is lit";
}
