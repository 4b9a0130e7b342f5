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

void Drag(QWidget& control, QPoint from, QPoint to) {
    QTest::mousePress(&control, Qt::LeftButton, {}, from);
    QTest::mouseMove(&control, to);
    QTest::mouseRelease(&control, Qt::LeftButton, {}, to);
}

// A point `degrees` clockwise from twelve o'clock round the middle of a 100 x 100 knob.
QPoint Round(double degrees) {
    const double radians = degrees * std::numbers::pi / 180.0;
    return {static_cast<int>(std::lround(50 + 40 * std::sin(radians))),
            static_cast<int>(std::lround(50 - 40 * std::cos(radians)))};
}

// Turns in moves of at most 10 degrees, as a hand would.
void Turn(CZelKnob& knob, double from, double to) {
    QTest::mousePress(&knob, Qt::LeftButton, {}, Round(from));
    const int moves = static_cast<int>(std::ceil(std::abs(to - from) / 10.0));
    for (int i = 1; i <= moves; ++i) QTest::mouseMove(&knob, Round(from + (to - from) * i / moves));
    QTest::mouseRelease(&knob, Qt::LeftButton, {}, Round(to));
}

// How many of the control's pixels are clearly red, or clearly green.
int CountPixels(QWidget& control, Qt::GlobalColor colour) {
    const QImage image = control.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const auto [mine, other] =
                colour == Qt::red ? std::pair(qRed(p), qGreen(p)) : std::pair(qGreen(p), qRed(p));
            count += mine > 200 && other < 90 && qBlue(p) < 90 ? 1 : 0;
        }
    }
    return count;
}

TEST(ControlsSlide, MouseKeysAndWheelMoveTheValueWithinItsRange) {
    CZelSlide slide(Qt::Vertical);
    slide.SetRange(-10.0, 10.0);
    slide.SetStep(0.5);
    Show(slide, {40, 200});  // thumb 20 px long: its centre travels from y = 190 (-10) to y = 10 (+10)
    QSignalSpy changed(&slide, &CZelSlide::ValueChanged);
    QSignalSpy pressed(&slide, &CZelSlide::Pressed);
    QSignalSpy released(&slide, &CZelSlide::Released);

    // A click on the track jumps there; then the thumb follows the mouse and stops at the end.
    QTest::mousePress(&slide, Qt::LeftButton, {}, QPoint(20, 190));
    EXPECT_DOUBLE_EQ(slide.Value(), -10.0);
    QTest::mouseMove(&slide, QPoint(20, 100));
    EXPECT_NEAR(slide.Value(), 0.0, 0.2);
    QTest::mouseMove(&slide, QPoint(20, -300));
    QTest::mouseRelease(&slide, Qt::LeftButton, {}, QPoint(20, -300));
    EXPECT_DOUBLE_EQ(slide.Value(), 10.0);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 1);
    EXPECT_DOUBLE_EQ(changed.last()[0].toDouble(), 10.0);

    // Grabbing the thumb off its centre does not make it jump.
    slide.SetValue(0.0);
    QTest::mousePress(&slide, Qt::LeftButton, {}, QPoint(20, 106));
    EXPECT_DOUBLE_EQ(slide.Value(), 0.0);
    QTest::mouseMove(&slide, QPoint(20, 97));
    QTest::mouseRelease(&slide, Qt::LeftButton, {}, QPoint(20, 97));
    EXPECT_NEAR(slide.Value(), 1.0, 1e-9);

    // The program's values are kept in the range too, and always reported.
    changed.clear();
    slide.SetValue(15.0);
    slide.SetValue(10.0);  // unchanged, still reported: the owner's handling runs
    EXPECT_DOUBLE_EQ(slide.Value(), 10.0);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_DOUBLE_EQ(changed[0][0].toDouble(), 10.0);
    slide.SetRange(-10.0, 5.0);
    EXPECT_DOUBLE_EQ(slide.Value(), 5.0);
    EXPECT_EQ(changed.count(), 3);

    // Arrow keys step it, with Shift a page; so does the wheel.
    slide.SetValue(0.0);
    QTest::keyClick(&slide, Qt::Key_Up);
    QTest::keyClick(&slide, Qt::Key_Up);
    QTest::keyClick(&slide, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(slide.Value(), 1.0 - 5.0);
    QWheelEvent notch(QPointF(20, 100), slide.mapToGlobal(QPointF(20, 100)), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slide, &notch);
    EXPECT_DOUBLE_EQ(slide.Value(), -3.5);

    // A meter, or a disabled slide, ignores the mouse.
    slide.SetMeter(true);
    Drag(slide, QPoint(20, 190), QPoint(20, 20));
    slide.SetMeter(false);
    slide.setEnabled(false);
    Drag(slide, QPoint(20, 190), QPoint(20, 20));
    EXPECT_DOUBLE_EQ(slide.Value(), -3.5);
}

TEST(ControlsKnob, JogDialWrapsAcrossItsEndAndReportsSmallSteps) {
    CZelKnob jog;
    jog.SetRange(0.0, 10.0);  // one turn
    jog.SetWrapping(true);
    jog.SetValue(9.5);
    Show(jog, {100, 100});
    QSignalSpy changed(&jog, &CZelKnob::ValueChanged);
    Turn(jog, 300.0, 420.0);  // a third of a turn clockwise, through twelve o'clock

    // The owner turns the reported values into steps, taking a jump of more
    // than half the range as a crossing of the end: each step must be small.
    double last = 9.5, total = 0.0;
    ASSERT_GE(changed.count(), 10);
    for (const QList<QVariant>& report : changed) {
        const double value = report[0].toDouble(), step = std::remainder(value - last, 10.0);
        EXPECT_TRUE(value >= 0.0 && value < 10.0) << value;
        EXPECT_LT(std::abs(step), 0.5);
        total += step;
        last = value;
    }
    EXPECT_NEAR(total, 10.0 / 3.0, 0.05);
    EXPECT_NEAR(jog.Value(), 9.5 + 10.0 / 3.0 - 10.0, 0.05);
    Turn(jog, 60.0, -60.0);  // and back the other way across the end
    EXPECT_NEAR(jog.Value(), 9.5, 0.05);
}

TEST(ControlsButton, ToggleFlipsOnAClickAndPushIsOnWhileHeld) {
    CZelButton play(CZelButton::Kind::Toggle);
    play.SetCaptions("Play", "Pause");
    Show(play, {80, 30});
    QSignalSpy changed(&play, &CZelButton::ValueChanged);
    QTest::mouseClick(&play, Qt::LeftButton);
    EXPECT_TRUE(play.Value());
    EXPECT_EQ(play.Caption(), "Pause");
    QTest::mouseClick(&play, Qt::LeftButton);
    EXPECT_FALSE(play.Value());
    EXPECT_EQ(play.Caption(), "Play");
    play.SetValue(true);
    EXPECT_EQ(changed.count(), 3) << "the program's setting reported too";
    Drag(play, QPoint(40, 15), QPoint(200, 15));  // released outside: no flip
    EXPECT_TRUE(play.Value());

    CZelButton fastForward(CZelButton::Kind::Push);
    Show(fastForward, {80, 30});
    QSignalSpy pressed(&fastForward, &CZelButton::Pressed);
    QSignalSpy released(&fastForward, &CZelButton::Released);
    QSignalSpy clicked(&fastForward, &CZelButton::Clicked);
    QTest::mousePress(&fastForward, Qt::LeftButton, {}, QPoint(40, 15));
    EXPECT_TRUE(fastForward.Value());
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 0);
    QTest::mouseRelease(&fastForward, Qt::LeftButton, {}, QPoint(40, 15));
    EXPECT_FALSE(fastForward.Value());
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(ControlsGraph, CurvesAreDrawnAndADraggedCursorReportsItsXWithinTheAxisRange) {
    CZelGraph graph;
    graph.SetXRange(-1.0, 1.0);
    const int fader = graph.AddCursor(Qt::blue, -1.0);
    const int cue = graph.AddCursor(Qt::yellow, 0.0, true);
    // The cross fader's curves are drawn.
    const std::vector<double> x{-1.0, 1.0}, rising{0.2, 0.8}, falling{0.8, 0.2};
    graph.SetPlotData(graph.AddPlot("Plot-1", QColor(255, 0, 0)), x, rising);
    graph.SetPlotData(graph.AddPlot("Plot-2", QColor(0, 255, 0)), x, falling);
    Show(graph, {300, 200});
    EXPECT_GT(CountPixels(graph, Qt::red), 100);
    EXPECT_GT(CountPixels(graph, Qt::green), 100);
    QSignalSpy moved(&graph, &CZelGraph::CursorMoved);
    QTest::mousePress(&graph, Qt::LeftButton, {}, QPoint(static_cast<int>(graph.XToPixel(0.0)), 100));
    QTest::mouseMove(&graph, QPoint(static_cast<int>(std::lround(graph.XToPixel(0.5))), 100));
    ASSERT_GE(moved.count(), 1);
    EXPECT_EQ(moved.last()[0].toInt(), cue);
    EXPECT_NEAR(moved.last()[1].toDouble(), 0.5, 0.01);
    QTest::mouseMove(&graph, QPoint(1000, 100));
    QTest::mouseRelease(&graph, Qt::LeftButton, {}, QPoint(1000, 100));
    EXPECT_DOUBLE_EQ(moved.last()[1].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(graph.CursorX(cue), 1.0);
    EXPECT_DOUBLE_EQ(graph.CursorX(fader), -1.0);

    // A hidden cue mark cannot be taken; the program still places it.
    graph.SetCursorVisible(cue, false);
    moved.clear();
    QTest::mouseClick(&graph, Qt::LeftButton, {}, QPoint(150, 100));
    EXPECT_EQ(moved.count(), 0);
    graph.SetCursorX(cue, -3.0);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_DOUBLE_EQ(graph.CursorX(cue), -1.0);
}

TEST(ControlsIndicators, TheTimeShowsOnlyTheChosenTextAndALitLampItsOnColour) {
    CZelDualTextIndicator time;
    time.resize(160, 40);
    time.setFont(QFont("Arial", 16));
    time.SetText("01:02:05");
    time.SetTextColour(QColor(255, 0, 0));
    time.SetSecondText("00:47:12");
    time.SetSecondTextColour(QColor(0, 255, 0));
    EXPECT_GT(CountPixels(time, Qt::red), 20);
    EXPECT_EQ(CountPixels(time, Qt::green), 0);
    time.SetShown(1);
    EXPECT_EQ(CountPixels(time, Qt::red), 0);
    EXPECT_GT(CountPixels(time, Qt::green), 20);

    CZelLed led;
    led.resize(20, 20);
    led.SetColours(QColor(255, 40, 40), QColor(60, 10, 10));
    EXPECT_LT(qRed(led.grab().toImage().pixel(10, 10)), 160);
    led.SetOn(true);
    EXPECT_GT(qRed(led.grab().toImage().pixel(10, 10)), 220);
}

}  // namespace
