// The deck window's binding to its transport: the user's clicks reach the
// transport, and its state shows in the controls. The decisions themselves
// are tested on the transport alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/SteppedDesk.h"
#include "deck/CZelDeck2.h"
#include "deck/LedRing.h"
#include "engine/Engine.h"
#include "engine/EngineHarness.h"
#include "engine/StreamTime.h"
#include "support/AudioFixtures.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelDualTextIndicator.h"
#include "ui/controls/CZelKnob.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/CZelTextIndicator.h"

using engine::DeckTransport;
using testing_support::EngineHarness;
using testing_support::SteppedDesk;

namespace {

constexpr int kRate = SteppedDesk::kRate;

class DeckWindow : public ::testing::Test {
protected:
    template <typename Control>
    Control* Find(const char* name) {
        auto* control = deck.findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    // Picks "Browse..." in the chooser, and the files in the file dialog.
    void Browse(const QStringList& files) {
        deck.SetFileChooser([files](QWidget*, const QString&) { return files; });
        emit chooser->activated(DeckTransport::kBrowseEntry);
    }
    void Click(const char* button) { QTest::mouseClick(Find<CZelButton>(button), Qt::LeftButton); }

    SteppedDesk desk;
    CZelDeck2& deck = desk.Deck(0);
    DeckTransport& t = deck.Transport();
    QComboBox* chooser = Find<QComboBox>("sourceChooser");
};

}  // namespace

TEST_F(DeckWindow, TheChooserShowsTheLoadedFileAndTellsOfABadOne) {
    EXPECT_EQ(deck.windowTitle(), "Deck A");
    EXPECT_EQ(desk.Deck(1).windowTitle(), "Deck B");
    EXPECT_EQ(CZelDeck2::FileFilter(), "Files (*.mp3 *.wav *.wma);;All Files (*)");
    EXPECT_EQ(chooser->count(), 2);
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");

    const std::string a = desk.Track("a.wav", fixtures::Noise(kRate * 3, 2, 1));
    Browse({QString::fromStdString(a)});
    EXPECT_EQ(t.Kind(), DeckTransport::SourceKind::File);
    EXPECT_EQ(chooser->count(), 3);
    EXPECT_EQ(chooser->currentText().toStdString(), a);

    // A file that is not audio: the window's message box tells the user, and the deck holds nothing.
    const QString bad = QString::fromStdString(a) + ".notes.mp3";
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(50'000, 'x'));
    file.close();
    QString told;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            told = box->text(), box->accept();
    });
    answer.start(10);
    Browse({bad});
    answer.stop();
    EXPECT_EQ(told, "File Not Recognized");
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");
    EXPECT_EQ(chooser->count(), 2);

    // Closing the window unloads the deck.
    Browse({QString::fromStdString(a)});
    deck.close();
    EXPECT_EQ(chooser->currentText(), "Nothing Loaded");
    EXPECT_EQ(desk.Window().Engine().Kind(0), engine::SourceKind::None);
}

TEST_F(DeckWindow, ButtonsSlidesAndTheDialReachTheTransportAndShowItsState) {
    Browse({QString::fromStdString(desk.Track("noise.wav", fixtures::Noise(kRate * 20, 2, 3, 0.4)))});
    auto* slide = Find<CZelSlide>("positionSlide");
    QTest::mouseClick(slide, Qt::LeftButton, {}, slide->rect().center());
    EXPECT_NEAR(t.Slide(), 0.5, 0.1) << "a click on the slide seeks";
    EXPECT_DOUBLE_EQ(t.Position(), t.Slide() * t.Length());
    const double cueAt = t.Position();

    Click("cue");
    EXPECT_TRUE(t.IsCueOn());
    auto* time = Find<CZelDualTextIndicator>("time");
    EXPECT_EQ(time->SecondText().toStdString(), engine::FormatTime(cueAt));
    EXPECT_TRUE(slide->IsSecondPointerVisible());
    Find<CZelKnob>("jogDial")->SetValue(0.1);
    EXPECT_NEAR(t.CuePoint(), cueAt + 0.1, 1e-9) << "the dial moves the cue";

    Click("playPause");
    EXPECT_TRUE(t.Playing());
    EXPECT_TRUE(Find<CZelButton>("playPause")->Value());
    auto* reverse = Find<CZelButton>("reversePlay");
    ASSERT_TRUE(reverse->isEnabled());
    desk.RenderSeconds(1.0);
    QTest::mousePress(reverse, Qt::LeftButton);
    EXPECT_TRUE(t.Reversing());
    QTest::mouseRelease(reverse, Qt::LeftButton);
    EXPECT_FALSE(t.Reversing());
    Click("playPause");
    EXPECT_FALSE(Find<CZelButton>("playPause")->Value());
    EXPECT_FALSE(reverse->isEnabled());
    EXPECT_NEAR(slide->Value(), (cueAt + 0.1) / t.Length(), 1e-9) << "the slide shows the return to the cue";
    EXPECT_EQ(time->Shown(), 1) << "and the time display the cue time";

    // Holding fast forward winds the slide by the window's timer.
    auto* forward = Find<CZelButton>("fastForward");
    const double before = t.Slide();
    QTest::mousePress(forward, Qt::LeftButton);
    EXPECT_TRUE(EngineHarness::WaitUntil([&] { return slide->Value() > before; }));
    QTest::mouseRelease(forward, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(t.Position(), slide->Value() * t.Length()) << "the release seeks";

    Find<CZelSlide>("tempoSlide")->SetValue(5.0);
    EXPECT_DOUBLE_EQ(t.Tempo(), 5.0);
    EXPECT_EQ(Find<CZelTextIndicator>("tempoPercent")->Text(), "5.0%");
    t.ShowTrackNumber(7);
    EXPECT_EQ(Find<CZelTextIndicator>("trackNumber")->Text(), "7");
    auto lamp = [&](int k) { return Find<CZelLed>(("turntableLed" + std::to_string(k)).c_str())->IsOn(); };
    const int lit = t.LitLamp();
    t.AdvanceLeds();
    EXPECT_TRUE(!lamp(lit) && lamp(deck::NextLed(lit))) << "the next lamp is lit";
}
