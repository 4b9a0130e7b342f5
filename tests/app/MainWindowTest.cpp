// The main window's mixer controls as a user works them.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "app/COrvo2Dlg.h"
#include "app/CZelCommandLineInfo.h"
#include "engine/EngineEvents.h"
#include "engine/EngineHarness.h"
#include "engine/Playback.h"
#include "output/CZelCrossFader.h"
#include "output/CZelMixerControls.h"
#include "output/CZelOutput.h"
#include "platform/sound/OfflineBackend.h"
#include "platform/sound/SoundSystem.h"
#include "settings/CZelSettings.h"
#include "ui/CZelToolWindow.h"
#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/CZelSlide.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    MainWindow()
        : sound_(std::make_unique<platform::sound::OfflineBackend>(
              std::vector<platform::sound::OfflineBackend::Device>{{"Desk", 2}, {"Phones", 2}})),
          settings_(dir_.path() + "/settings.ini") {
        settings_.WriteShowTipOfTheDay(false);
    }

    // Opens the window on what the settings hold and waits for its start-up.
    COrvo2Dlg& Open() {
        dialog_ = std::make_unique<COrvo2Dlg>(events_, commandLine_, sound_, settings_);
        EXPECT_TRUE(
            testing_support::EngineHarness::WaitUntil([&] { return dialog_->MainOutput().IsOpen(); }));
        return *dialog_;
    }
    template <typename Control>
    Control* Find(const char* name) {
        Control* control = dialog_->findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    void TearDown() override {
        if (dialog_) dialog_->done(0);
    }

    QTemporaryDir dir_;
    engine::EngineEvents events_;
    app::CZelCommandLineInfo commandLine_;
    platform::sound::SoundSystem sound_;
    CZelSettings settings_;
    std::unique_ptr<COrvo2Dlg> dialog_;
};

TEST_F(MainWindow, MovingDeckBLevelSavesItAndLeavesDeckA) {
    settings_.WriteLevel(0, 0.6f);
    settings_.WriteLevel(1, 0.8f);
    Open();
    auto* levelA = Find<CZelSlide>("levelDeckA");
    auto* levelB = Find<CZelSlide>("levelDeckB");
    EXPECT_FLOAT_EQ(static_cast<float>(levelA->Value()), 0.6f) << "the slides start from the settings";
    EXPECT_FLOAT_EQ(static_cast<float>(levelB->Value()), 0.8f);

    // The level as the file holds it, as its bit pattern's decimal text.
    auto saved = [&] {
        QFile file(settings_.FileName());
        if (!file.open(QIODevice::ReadOnly)) return std::nan("");
        const auto match = QRegularExpression("levelDeckB=(\\d+)").match(QString::fromUtf8(file.readAll()));
        return match.hasMatch() ? static_cast<double>(std::bit_cast<float>(match.captured(1).toUInt()))
                                : std::nan("");
    };
    for (int tick = 0; tick < 10; ++tick) QTest::keyClick(levelB, Qt::Key_Down);
    EXPECT_NEAR(levelB->Value(), 0.70, 1e-6);
    EXPECT_FLOAT_EQ(settings_.Level(1).value, static_cast<float>(levelB->Value())) << "read back at once";
    EXPECT_FLOAT_EQ(settings_.Level(0).value, 0.6f);
    EXPECT_DOUBLE_EQ(dialog_->Mixer().Level(1), levelB->Value()) << "the new level reaches the mix";
    EXPECT_FLOAT_EQ(static_cast<float>(saved()), 0.8f) << "not written at every tick";
    QTest::mouseClick(levelB, Qt::LeftButton, {}, levelB->rect().center());
    EXPECT_FLOAT_EQ(static_cast<float>(saved()), static_cast<float>(levelB->Value()))
        << "written when let go";
}

TEST_F(MainWindow, TheSavedOutputLatencyIsWhatTheSoundAsksFor) {
    settings_.WriteOutputLatencyMs(12);
    Open();
    EXPECT_EQ(sound_.OutputLatency(), 12);
}

TEST_F(MainWindow, RightReleaseOnCurveStraightensItAndTheGraphFollows) {
    settings_.WriteCrossFaderCurvePosition(1.0f);
    Open();
    auto* curve = Find<CZelSlide>("crossFaderCurve");
    auto* graph = Find<CZelGraph>("crossFaderGraph");
    const int plotB = graph->PlotIndex("Plot-2");
    ASSERT_GE(plotB, 0);
    ASSERT_GE(graph->PlotIndex("Plot-1"), 0);
    EXPECT_DOUBLE_EQ(curve->Value(), 1.0);
    // The fast cut: Deck B is at full gain half way along.
    EXPECT_DOUBLE_EQ(graph->PlotY(plotB).at(49), 1.0);

    QTest::mouseRelease(curve, Qt::RightButton);
    EXPECT_DOUBLE_EQ(curve->Value(), 0.0);
    EXPECT_FLOAT_EQ(settings_.CrossFaderCurvePosition().value, 0.0f);
    const auto& x = output::CZelCrossFader::GraphX();
    const std::vector<double> expectedX(x.begin(), x.end());
    EXPECT_EQ(graph->PlotX(plotB), expectedX);
    EXPECT_DOUBLE_EQ(graph->PlotY(plotB).at(49), 49.0 / 99.0) << "the graph shows the straight line";
    EXPECT_DOUBLE_EQ(graph->PlotY(graph->PlotIndex("Plot-1")).at(0), 98.0 / 99.0);
}

TEST_F(MainWindow, ControlsCarryTheirHelpTexts) {
    Open();
    auto* mainFader = Find<CZelSlide>("mainCrossFader");
    const CZelHelpTexts::Entry* entry = dialog_->HelpTexts().Find(mainFader);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->title, "Main Cross Fader:");
    EXPECT_EQ(entry->description, "Cross fader for the main sound device.");
    EXPECT_EQ(mainFader->toolTip(), "main cross fader");
    const CZelHelpTexts::Entry* analyzer =
        dialog_->HelpTexts().Find(dialog_->findChild<QWidget*>("showAnalyzer"));
    ASSERT_NE(analyzer, nullptr);
    EXPECT_EQ(analyzer->description, "Shows the Analyzer.  Right click to reset its size and position.");
    // Every mixer control, the CPU indicator and its caption, and the seven buttons.
    EXPECT_EQ(dialog_->HelpTexts().Count(), 19);
}

TEST_F(MainWindow, GraphCursorsFollowTheMainFaderAndTheCueSwitch) {
    Open();
    auto* graph = Find<CZelGraph>("crossFaderGraph");
    auto* cueOn = Find<CZelControl>("crossFaderCueOn");
    EXPECT_DOUBLE_EQ(graph->CursorX(0), -1.0);
    EXPECT_FALSE(graph->IsCursorVisible(1)) << "the cue mark shows only while the cue is on";
    QTest::mouseClick(cueOn, Qt::LeftButton);
    EXPECT_TRUE(graph->IsCursorVisible(1));
    EXPECT_TRUE(dialog_->Mixer().IsCueOn());
    Find<CZelSlide>("mainCrossFader")->SetValue(0.25);
    EXPECT_DOUBLE_EQ(graph->CursorX(0), 0.25);
    EXPECT_DOUBLE_EQ(dialog_->Mixer().MainPosition(), 0.25);
}

TEST_F(MainWindow, VolumeAndBalanceSlidesDriveTheirOutputs) {
    Open();
    auto* master = Find<CZelSlide>("masterVolume");
    auto* headphones = Find<CZelSlide>("headphonesVolume");
    auto* balance = Find<CZelSlide>("balance");
    ASSERT_TRUE(master->isEnabled() && headphones->isEnabled()) << "two devices: both volumes are free";
    master->SetValue(0.4);
    headphones->SetValue(0.7);
    EXPECT_DOUBLE_EQ(dialog_->MainOutput().Level().MasterVolume(), 0.4);
    EXPECT_DOUBLE_EQ(dialog_->MainOutput().Level().WaveVolume(), 0.4);
    EXPECT_DOUBLE_EQ(dialog_->HeadphonesOutput().Level().MasterVolume(), 0.7);
    EXPECT_DOUBLE_EQ(dialog_->HeadphonesOutput().Level().WaveVolume(), 0.7);

    balance->SetValue(-0.5);
    for (output::CZelOutput* out : {&dialog_->MainOutput(), &dialog_->HeadphonesOutput()}) {
        EXPECT_DOUBLE_EQ(out->Level().MasterBalance(), -0.5);
        EXPECT_DOUBLE_EQ(out->Level().WaveBalance(), -0.5);
    }
    QTest::mouseRelease(balance, Qt::RightButton);
    EXPECT_DOUBLE_EQ(balance->Value(), 0.0);
    EXPECT_DOUBLE_EQ(dialog_->MainOutput().Level().MasterBalance(), 0.0) << "the centred balance is applied";
}

}  // namespace

TEST_F(MainWindow, MinimisingWritesFurtherAheadAndRestoringComesBack) {
    Open();
    dialog_->show();
    EXPECT_EQ(dialog_->Playback().BufferLead(), 20);
    dialog_->setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(dialog_->Playback().BufferLead(), 60);
    dialog_->setWindowState(Qt::WindowNoState);
    EXPECT_EQ(dialog_->Playback().BufferLead(), 20);
}

TEST_F(MainWindow, ShowButtonsFollowTheirWindowsAndARightReleasePutsOneBack) {
    Open();
    const auto tools = dialog_->findChildren<CZelToolWindow*>();
    CZelToolWindow* analyzer = nullptr;
    CZelToolWindow* effects[2] = {nullptr, nullptr};
    for (CZelToolWindow* tool : tools) {
        if (tool->windowTitle() == "Analyzer") analyzer = tool;
        if (tool->windowTitle() == "Deck A Effects") effects[0] = tool;
        if (tool->windowTitle() == "Deck B Effects") effects[1] = tool;
    }
    ASSERT_TRUE(analyzer && effects[0] && effects[1]);
    auto* showAnalyzer = Find<CZelButton>("showAnalyzer");
    EXPECT_TRUE(analyzer->isVisible()) << "start-up arranges and shows the windows";
    EXPECT_TRUE(showAnalyzer->Value());

    analyzer->close();  // the user closes it with its own close box
    EXPECT_FALSE(analyzer->isVisible());
    EXPECT_FALSE(showAnalyzer->Value());
    showAnalyzer->SetValue(true);
    EXPECT_TRUE(analyzer->isVisible());

    const QRect placedB = effects[1]->geometry();
    effects[0]->setGeometry(10, 10, 300, 200);
    effects[1]->setGeometry(20, 20, 300, 200);
    QTest::mouseRelease(Find<CZelButton>("showDeckBEffects"), Qt::RightButton);
    EXPECT_EQ(effects[1]->geometry(), placedB) << "Deck B's effects window is back in its place";
    EXPECT_EQ(effects[0]->geometry(), QRect(10, 10, 300, 200)) << "Deck A's is left alone";
}
