#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <numbers>

#include "ui/controls/CZelButton.h"
#include "ui/controls/CZelDualTextIndicator.h"
#include "ui/controls/CZelGraph.h"
#include "ui/controls/CZelKnob.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelSlide.h"

namespace {

// QTest's mouse needs the control on screen: each one is shown as a window.
void Show(QWidget& control, QSize size) {
    control.resize(size);
    control.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&control));
}

// A point `degrees` clockwise from twelve o'clock round the middle of a 100 x 100 knob.
QPoint Round(double degrees) {
    const double radians = degrees * std::numbers::pi / 180.0;
    return {static_cast<int>(std::lround(50 + 40 * std::sin(radians))),
            static_cast<int>(std::lround(50 - 40 * std::cos(radians)))};
}

void Turn(CZelKnob& knob, double from, double to) {
    // Moves of at most 10 degrees, as a hand would make them.
    QTest::mousePress(&knob, Qt::LeftButton, {}, Round(from));
    const int moves = static_cast<int>(std::ceil(std::abs(to - from) / 10.0));
    for (int i = 1; i <= moves; ++i) QTest::mouseMove(&knob, Round(from + (to - from) * i / moves));
    QTest::mouseRelease(&knob, Qt::LeftButton, {}, Round(to));
}

int CountPixels(const QImage& image, bool (*match)(QRgb)) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += match(image.pixel(x, y)) ? 1 : 0;
    return count;
}

TEST(ControlsSlide, DragMovesTheValueWithinRangeAndNotifies) {
    CZelSlide slide(Qt::Vertical);
    slide.SetRange(-1.0, 1.0);
    slide.SetValue(0.0);
    Show(slide, {40, 200});  // thumb 20 px long: its centre travels from y = 190 (-1) to y = 10 (+1)
    QSignalSpy changed(&slide, &CZelSlide::ValueChanged);
    QSignalSpy pressed(&slide, &CZelSlide::Pressed);
    QSignalSpy released(&slide, &CZelSlide::Released);

    // A click on the track jumps there; then the thumb follows the mouse and stops at the end.
    QTest::mousePress(&slide, Qt::LeftButton, {}, QPoint(20, 190));
    EXPECT_DOUBLE_EQ(slide.Value(), -1.0);
    EXPECT_TRUE(slide.IsDragging());
    QTest::mouseMove(&slide, QPoint(20, 100));
    EXPECT_NEAR(slide.Value(), 0.0, 0.02);
    QTest::mouseMove(&slide, QPoint(20, -300));
    QTest::mouseRelease(&slide, Qt::LeftButton, {}, QPoint(20, -300));
    EXPECT_DOUBLE_EQ(slide.Value(), 1.0);
    EXPECT_FALSE(slide.IsDragging());
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 1);
    ASSERT_GE(changed.count(), 3);
    for (const QList<QVariant>& report : changed) {
        EXPECT_GE(report[0].toDouble(), -1.0);
        EXPECT_LE(report[0].toDouble(), 1.0);
    }
    EXPECT_DOUBLE_EQ(changed.last()[0].toDouble(), 1.0);

    // Grabbing the thumb off its centre does not make it jump.
    slide.SetValue(0.0);
    QTest::mousePress(&slide, Qt::LeftButton, {}, QPoint(20, 106));
    EXPECT_DOUBLE_EQ(slide.Value(), 0.0);
    QTest::mouseMove(&slide, QPoint(20, 97));
    QTest::mouseRelease(&slide, Qt::LeftButton, {}, QPoint(20, 97));
    EXPECT_NEAR(slide.Value(), 0.1, 1e-9);
}

TEST(ControlsSlide, SetValueNotifiesAndKeepsTheValueInRange) {
    CZelSlide slide(Qt::Horizontal);
    slide.SetRange(0.0, 100.0);
    QSignalSpy changed(&slide, &CZelSlide::ValueChanged);
    slide.SetValue(150.0);
    EXPECT_DOUBLE_EQ(slide.Value(), 100.0);
    slide.SetValue(100.0);  // unchanged, still reported: the owner's handling runs
    ASSERT_EQ(changed.count(), 2);
    EXPECT_DOUBLE_EQ(changed[0][0].toDouble(), 100.0);
    slide.SetRange(0.0, 50.0);
    EXPECT_DOUBLE_EQ(slide.Value(), 50.0);
    EXPECT_EQ(changed.count(), 3);
}

TEST(ControlsSlide, RightReleaseResetsToTheNeutralValue) {
    CZelSlide balance(Qt::Horizontal);
    balance.SetRange(-1.0, 1.0);
    balance.SetNeutralValue(0.0);
    balance.SetValue(0.7);
    Show(balance, {200, 40});
    QSignalSpy changed(&balance, &CZelSlide::ValueChanged);
    QSignalSpy right(&balance, &CZelControl::RightReleased);
    QTest::mouseClick(&balance, Qt::RightButton, {}, QPoint(30, 20));
    EXPECT_DOUBLE_EQ(balance.Value(), 0.0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_DOUBLE_EQ(changed[0][0].toDouble(), 0.0);
    EXPECT_EQ(right.count(), 1);

    // Without a neutral value the owner alone decides.
    balance.ClearNeutralValue();
    balance.SetValue(0.4);
    QTest::mouseClick(&balance, Qt::RightButton, {}, QPoint(30, 20));
    EXPECT_DOUBLE_EQ(balance.Value(), 0.4);
    EXPECT_EQ(right.count(), 2);
}

TEST(ControlsSlide, DisabledSlideAndMeterIgnoreTheMouse) {
    CZelSlide slide(Qt::Vertical);
    slide.SetValue(0.5);
    slide.setEnabled(false);
    Show(slide, {40, 200});
    QSignalSpy changed(&slide, &CZelSlide::ValueChanged);
    QTest::mousePress(&slide, Qt::LeftButton, {}, QPoint(20, 190));
    QTest::mouseMove(&slide, QPoint(20, 20));
    QTest::mouseRelease(&slide, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_DOUBLE_EQ(slide.Value(), 0.5);
    EXPECT_EQ(changed.count(), 0);

    CZelSlide cpu(Qt::Horizontal);
    cpu.SetRange(0.0, 100.0);
    cpu.SetMeter(true);
    cpu.SetValue(37.0);
    Show(cpu, {200, 20});
    QTest::mouseClick(&cpu, Qt::LeftButton, {}, QPoint(190, 10));
    EXPECT_DOUBLE_EQ(cpu.Value(), 37.0);
}

TEST(ControlsSlide, ArrowKeysAndWheelStepTheValue) {
    CZelSlide tempo(Qt::Vertical);
    tempo.SetRange(-10.0, 10.0);
    tempo.SetStep(0.5);
    Show(tempo, {40, 200});
    QTest::keyClick(&tempo, Qt::Key_Up);
    QTest::keyClick(&tempo, Qt::Key_Up);
    QTest::keyClick(&tempo, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(tempo.Value(), 1.0 - 5.0);
    QWheelEvent notch(QPointF(20, 100), tempo.mapToGlobal(QPointF(20, 100)), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&tempo, &notch);
    EXPECT_DOUBLE_EQ(tempo.Value(), -3.5);
}

TEST(ControlsKnob, JogDialTurnedAcrossItsEndWrapsAndReportsSmallSteps) {
    CZelKnob jog;
    jog.SetRange(0.0, 10.0);  // one turn
    jog.SetWrapping(true);
    jog.SetValue(9.5);
    Show(jog, {100, 100});
    QSignalSpy changed(&jog, &CZelKnob::ValueChanged);
    Turn(jog, 300.0, 420.0);  // a third of a turn clockwise, through twelve o'clock

    // The owner turns the reported values into steps, taking a jump of more
    // than half the range as a crossing of the end.
    const double range = jog.Maximum() - jog.Minimum();
    double last = 9.5;
    double total = 0.0;
    bool wrapped = false;
    ASSERT_GE(changed.count(), 10);
    for (const QList<QVariant>& report : changed) {
        const double value = report[0].toDouble();
        EXPECT_GE(value, 0.0);
        EXPECT_LT(value, 10.0);
        double step = value - last;
        if (std::abs(step) > range / 2.0) {
            wrapped = true;
            step += step > 0.0 ? -range : range;
        }
        EXPECT_LT(std::abs(step), 0.5);
        total += step;
        last = value;
    }
    EXPECT_TRUE(wrapped);
    EXPECT_NEAR(total, 10.0 / 3.0, 0.05);
    EXPECT_NEAR(jog.Value(), 9.5 + 10.0 / 3.0 - 10.0, 0.05);

    // And back the other way across the end.
    Turn(jog, 60.0, -60.0);
    EXPECT_NEAR(jog.Value(), 9.5, 0.05);
}

TEST(ControlsKnob, BoundedKnobStopsAtItsEndsAndResets) {
    CZelKnob knob;
    knob.SetRange(0.0, 1.0);  // 270 degrees
    knob.SetNeutralValue(0.5);
    knob.SetValue(0.9);
    Show(knob, {100, 100});
    Turn(knob, 0.0, 90.0);
    EXPECT_DOUBLE_EQ(knob.Value(), 1.0);
    Turn(knob, 90.0, 63.0);  // 27 degrees back: a tenth of the range
    EXPECT_NEAR(knob.Value(), 0.9, 0.01);
    QTest::mouseClick(&knob, Qt::RightButton, {}, QPoint(50, 50));
    EXPECT_DOUBLE_EQ(knob.Value(), 0.5);
}

TEST(ControlsButton, ToggleFlipsOnClickAndShowsTheOtherCaption) {
    CZelButton play(CZelButton::Kind::Toggle);
    play.SetCaptions("Play", "Pause");
    Show(play, {80, 30});
    QSignalSpy changed(&play, &CZelButton::ValueChanged);
    EXPECT_EQ(play.Caption(), "Play");
    QTest::mouseClick(&play, Qt::LeftButton);
    EXPECT_TRUE(play.Value());
    EXPECT_EQ(play.Caption(), "Pause");
    QTest::mouseClick(&play, Qt::LeftButton);
    EXPECT_FALSE(play.Value());
    EXPECT_EQ(play.Caption(), "Play");
    play.SetValue(true);
    ASSERT_EQ(changed.count(), 3);
    EXPECT_TRUE(changed[2][0].toBool());

    // Pressed, dragged off and released outside: no flip.
    QTest::mousePress(&play, Qt::LeftButton, {}, QPoint(40, 15));
    QTest::mouseMove(&play, QPoint(200, 15));
    QTest::mouseRelease(&play, Qt::LeftButton, {}, QPoint(200, 15));
    EXPECT_TRUE(play.Value());
}

TEST(ControlsButton, PushButtonIsOnWhileHeldWithPressAndRelease) {
    CZelButton fastForward(CZelButton::Kind::Push);
    Show(fastForward, {80, 30});
    QSignalSpy pressed(&fastForward, &CZelButton::Pressed);
    QSignalSpy released(&fastForward, &CZelButton::Released);
    QSignalSpy clicked(&fastForward, &CZelButton::Clicked);
    QTest::mousePress(&fastForward, Qt::LeftButton, {}, QPoint(40, 15));
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 0);
    EXPECT_TRUE(fastForward.Value());
    QTest::mouseRelease(&fastForward, Qt::LeftButton, {}, QPoint(40, 15));
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_FALSE(fastForward.Value());
}

TEST(ControlsGraph, DraggedCursorReportsItsXAndStaysInTheAxisRange) {
    CZelGraph graph;
    graph.SetXRange(-1.0, 1.0);
    const int fader = graph.AddCursor(Qt::red, -1.0);
    const int cue = graph.AddCursor(Qt::yellow, 0.0, true);
    Show(graph, {300, 200});
    QSignalSpy moved(&graph, &CZelGraph::CursorMoved);
    const int y = 100;
    QTest::mousePress(&graph, Qt::LeftButton, {}, QPoint(static_cast<int>(graph.XToPixel(0.0)), y));
    QTest::mouseMove(&graph, QPoint(static_cast<int>(std::lround(graph.XToPixel(0.5))), y));
    ASSERT_GE(moved.count(), 1);
    EXPECT_EQ(moved.last()[0].toInt(), cue);
    EXPECT_NEAR(moved.last()[1].toDouble(), 0.5, 0.01);
    QTest::mouseMove(&graph, QPoint(1000, y));
    QTest::mouseRelease(&graph, Qt::LeftButton, {}, QPoint(1000, y));
    EXPECT_DOUBLE_EQ(moved.last()[1].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(graph.CursorX(cue), 1.0);
    EXPECT_DOUBLE_EQ(graph.CursorX(fader), -1.0);

    // A hidden cue mark cannot be taken; the program still places it.
    graph.SetCursorVisible(cue, false);
    moved.clear();
    QTest::mouseClick(&graph, Qt::LeftButton, {}, QPoint(150, y));
    EXPECT_EQ(moved.count(), 0);
    graph.SetCursorX(cue, -3.0);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_DOUBLE_EQ(graph.CursorX(cue), -1.0);
}

TEST(ControlsGraph, HiddenPlotsAreNotDrawn) {
    CZelGraph graph;
    graph.resize(300, 200);
    const int curveA = graph.AddPlot("Plot-1", QColor(255, 0, 0));
    const int curveB = graph.AddPlot("Plot-2", QColor(0, 255, 0));
    EXPECT_EQ(graph.PlotIndex("Plot-2"), curveB);
    const std::vector<double> x = {0.0, 1.0};
    graph.SetPlotData(curveA, x, std::vector<double>{0.2, 0.8});
    graph.SetPlotData(curveB, x, std::vector<double>{0.8, 0.2});
    auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 90 && qBlue(p) < 90; };
    auto green = [](QRgb p) { return qGreen(p) > 200 && qRed(p) < 90 && qBlue(p) < 90; };
    QImage both = graph.grab().toImage();
    EXPECT_GT(CountPixels(both, red), 100);
    EXPECT_GT(CountPixels(both, green), 100);
    graph.SetPlotVisible(curveA, false);
    QImage onlyB = graph.grab().toImage();
    EXPECT_EQ(CountPixels(onlyB, red), 0);
    EXPECT_GT(CountPixels(onlyB, green), 100);
}

TEST(ControlsGraph, ChartScrollsAndALogarithmicAxisGivesEachDecadeTheSameWidth) {
    CZelGraph chart;
    chart.resize(300, 200);
    const int level = chart.AddPlot("Plot-1", Qt::green);
    chart.SetChartLength(30);
    for (int i = 1; i <= 45; ++i) chart.AppendChartPoint(level, i);
    ASSERT_EQ(chart.PlotY(level).size(), 30u);
    EXPECT_EQ(chart.PlotY(level).front(), 16.0);
    EXPECT_EQ(chart.PlotY(level).back(), 45.0);
    EXPECT_EQ(chart.PlotX(level).back(), 29.0);

    chart.SetXRange(20.0, 20000.0);
    chart.SetXLogarithmic(true);
    const double decade = chart.XToPixel(200.0) - chart.XToPixel(20.0);
    EXPECT_NEAR(chart.XToPixel(2000.0) - chart.XToPixel(200.0), decade, 1e-9);
    EXPECT_NEAR(chart.XToPixel(20000.0), chart.PlotArea().right(), 1e-9);
    EXPECT_NEAR(chart.PixelToX(chart.XToPixel(1000.0)), 1000.0, 1e-6);
}

TEST(ControlsTextIndicator, AlternatingDisplayShowsOnlyTheChosenText) {
    CZelDualTextIndicator time;
    time.resize(160, 40);
    time.setFont(QFont("Arial", 16));
    time.SetText("01:02:05");
    time.SetTextColour(QColor(255, 0, 0));
    time.SetSecondText("00:47:12");
    time.SetSecondTextColour(QColor(0, 255, 0));
    auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 90; };
    auto green = [](QRgb p) { return qGreen(p) > 200 && qRed(p) < 90; };
    QImage play = time.grab().toImage();
    EXPECT_GT(CountPixels(play, red), 20);
    EXPECT_EQ(CountPixels(play, green), 0);
    time.SetShown(1);
    QImage cue = time.grab().toImage();
    EXPECT_EQ(CountPixels(cue, red), 0);
    EXPECT_GT(CountPixels(cue, green), 20);
}

TEST(ControlsLed, LitLampShowsItsOnColour) {
    CZelLed led;
    led.resize(20, 20);
    led.SetColours(QColor(255, 40, 40), QColor(60, 10, 10));
    QSignalSpy changed(&led, &CZelLed::ValueChanged);
    EXPECT_LT(qRed(led.grab().toImage().pixel(10, 10)), 160);
    led.SetOn(true);
    led.SetOn(true);
    EXPECT_GT(qRed(led.grab().toImage().pixel(10, 10)), 220);
    EXPECT_EQ(changed.count(), 1);
}

}  // namespace
