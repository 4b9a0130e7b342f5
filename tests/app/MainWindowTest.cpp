// The main window's mixer controls and tool windows as a user works them.

#include <QFile>
#include <QRegularExpression>

#include <array>
#include <bit>
#include <map>

#include "app/SteppedDesk.h"
#include "output/CZelCrossFader.h"
#include "output/CZelMixerControls.h"
#include "ui/CZelToolWindow.h"
#include "ui/controls/CZelGraph.h"

using testing_support::Find;

TEST(MainWindow, TheMixerStartsFromTheSettingsAndSavesWhatTheUserSets) {
    testing_support::SteppedDesk desk({{"Desk", 2}, {"Phones", 2}}, [](CZelSettings& settings) {
        settings.WriteLevel(0, 0.6f);
        settings.WriteLevel(1, 0.8f);
        settings.WriteOutputLatencyMs(12);
        settings.WriteCrossFaderCurvePosition(1.0f);
    });
    COrvo2Dlg& window = desk.Window();
    CZelSettings& settings = desk.Settings();
    EXPECT_EQ(desk.Sound().OutputLatency(), 12) << "the saved latency is what the sound asks for";
    auto* levelB = Find<CZelSlide>(window, "levelDeckB");
    EXPECT_FLOAT_EQ(static_cast<float>(Find<CZelSlide>(window, "levelDeckA")->Value()), 0.6f);
    EXPECT_FLOAT_EQ(static_cast<float>(levelB->Value()), 0.8f);

    // Deck B's level as the file holds it, as its bit pattern's decimal text.
    auto saved = [&] {
        QFile file(settings.FileName());
        const auto match =
            file.open(QIODevice::ReadOnly)
                ? QRegularExpression("levelDeckB=(\\d+)").match(QString::fromUtf8(file.readAll()))
                : QRegularExpressionMatch();
        return match.hasMatch() ? std::bit_cast<float>(match.captured(1).toUInt()) : std::nanf("");
    };
    for (int tick = 0; tick < 10; ++tick) QTest::keyClick(levelB, Qt::Key_Down);
    EXPECT_NEAR(levelB->Value(), 0.70, 1e-6);
    EXPECT_FLOAT_EQ(settings.Level(1).value, static_cast<float>(levelB->Value())) << "read back at once";
    EXPECT_FLOAT_EQ(settings.Level(0).value, 0.6f);
    EXPECT_DOUBLE_EQ(window.Mixer().Level(1), levelB->Value()) << "the new level reaches the mix";
    EXPECT_FLOAT_EQ(saved(), 0.8f) << "not written at every tick";
    QTest::mouseClick(levelB, Qt::LeftButton, {}, levelB->rect().center());
    EXPECT_FLOAT_EQ(saved(), static_cast<float>(levelB->Value())) << "written when let go";

    // The fast cut: deck B at full gain half way along; a right release
    // straightens the curve, and the graph shows the straight line.
    auto* curve = Find<CZelSlide>(window, "crossFaderCurve");
    auto* graph = Find<CZelGraph>(window, "crossFaderGraph");
    const int plotA = graph->PlotIndex("Plot-1"), plotB = graph->PlotIndex("Plot-2");
    ASSERT_TRUE(plotA >= 0 && plotB >= 0);
    EXPECT_DOUBLE_EQ(graph->PlotY(plotB).at(49), 1.0);
    QTest::mouseRelease(curve, Qt::RightButton);
    EXPECT_DOUBLE_EQ(curve->Value(), 0.0);
    EXPECT_FLOAT_EQ(settings.CrossFaderCurvePosition().value, 0.0f);
    const auto& x = output::CZelCrossFader::GraphX();
    EXPECT_EQ(graph->PlotX(plotB), std::vector<double>(x.begin(), x.end()));
    EXPECT_DOUBLE_EQ(graph->PlotY(plotB).at(49), 49.0 / 99.0);
    EXPECT_DOUBLE_EQ(graph->PlotY(plotA).at(0), 98.0 / 99.0);

    // The graph's cursors follow the main fader and the cue switch.
    EXPECT_DOUBLE_EQ(graph->CursorX(0), -1.0);
    EXPECT_FALSE(graph->IsCursorVisible(1)) << "the cue mark shows only while the cue is on";
    QTest::mouseClick(Find<CZelControl>(window, "crossFaderCueOn"), Qt::LeftButton);
    EXPECT_TRUE(graph->IsCursorVisible(1));
    EXPECT_TRUE(window.Mixer().IsCueOn());
    Find<CZelSlide>(window, "mainCrossFader")->SetValue(0.25);
    EXPECT_DOUBLE_EQ(graph->CursorX(0), 0.25);
    EXPECT_DOUBLE_EQ(window.Mixer().MainPosition(), 0.25);
}

TEST(MainWindow, OutputSlidesToolWindowsHelpTextsAndTheLeadWhenMinimised) {
    testing_support::SteppedDesk desk;
    COrvo2Dlg& window = desk.Window();
    auto *master = Find<CZelSlide>(window, "masterVolume"),
         *headphones = Find<CZelSlide>(window, "headphonesVolume");
    auto* balance = Find<CZelSlide>(window, "balance");
    ASSERT_TRUE(master->isEnabled() && headphones->isEnabled()) << "two devices: both volumes are free";
    master->SetValue(0.4);
    headphones->SetValue(0.7);
    balance->SetValue(-0.5);
    for (auto [out, volume] :
         {std::pair{&window.MainOutput(), 0.4}, std::pair{&window.HeadphonesOutput(), 0.7}}) {
        const auto& level = out->Level();
        EXPECT_THAT((std::array{level.MasterVolume(), level.WaveVolume(), level.MasterBalance(),
                                level.WaveBalance()}),
                    testing::ElementsAre(volume, volume, -0.5, -0.5));
    }
    QTest::mouseRelease(balance, Qt::RightButton);
    EXPECT_DOUBLE_EQ(balance->Value(), 0.0);
    EXPECT_DOUBLE_EQ(window.MainOutput().Level().MasterBalance(), 0.0) << "the centred balance is applied";

    // A show button follows its window; a right release puts a window back in its place.
    std::map<QString, CZelToolWindow*> tools;
    for (CZelToolWindow* tool : window.findChildren<CZelToolWindow*>()) tools[tool->windowTitle()] = tool;
    CZelToolWindow *analyzer = tools["Analyzer"], *effectsA = tools["Deck A Effects"],
                   *effectsB = tools["Deck B Effects"];
    ASSERT_TRUE(analyzer && effectsA && effectsB);
    auto* showAnalyzer = Find<CZelButton>(window, "showAnalyzer");
    EXPECT_TRUE(analyzer->isVisible() && showAnalyzer->Value()) << "start-up arranges and shows the windows";
    analyzer->close();  // the user closes it with its own close box
    EXPECT_FALSE(showAnalyzer->Value());
    showAnalyzer->SetValue(true);
    EXPECT_TRUE(analyzer->isVisible());
    const QRect placedB = effectsB->geometry();
    effectsA->setGeometry(10, 10, 300, 200);
    effectsB->setGeometry(20, 20, 300, 200);
    QTest::mouseRelease(Find<CZelButton>(window, "showDeckBEffects"), Qt::RightButton);
    EXPECT_EQ(effectsB->geometry(), placedB) << "Deck B's effects window is back in its place";
    EXPECT_EQ(effectsA->geometry(), QRect(10, 10, 300, 200)) << "Deck A's is left alone";

    const CZelHelpTexts::Entry* fader = window.HelpTexts().Find(Find<CZelSlide>(window, "mainCrossFader"));
    const CZelHelpTexts::Entry* analyzerHelp = window.HelpTexts().Find(showAnalyzer);
    ASSERT_TRUE(fader && analyzerHelp);
    EXPECT_EQ(fader->title, "Main Cross Fader:");
    EXPECT_EQ(fader->description, "Cross fader for the main sound device.");
    EXPECT_EQ(Find<CZelSlide>(window, "mainCrossFader")->toolTip(), "main cross fader");
    EXPECT_EQ(analyzerHelp->description, "Shows the Analyzer.  Right click to reset its size and position.");
    // Every mixer control, the CPU indicator and its caption, and the seven buttons.
    EXPECT_EQ(window.HelpTexts().Count(), 19);

    window.show();
    EXPECT_EQ(window.Playback().BufferLead(), 20);
    window.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(window.Playback().BufferLead(), 60) << "minimised, the decks write further ahead";
    window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(window.Playback().BufferLead(), 20);
}
