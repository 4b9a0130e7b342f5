#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <vector>

#include "ui/CZelProportionalLayout.h"
#include "ui/controls/CZelLed.h"
#include "ui/controls/CZelSlide.h"
#include "ui/controls/CZelTextIndicator.h"

namespace {

class LayoutWindow : public ::testing::Test {
protected:
    void SetUp() override { window_.resize(200, 100); }
    void ShowAndResize(QSize size) {
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
        window_.resize(size);
        QCoreApplication::processEvents();
    }

    QWidget window_;
};

TEST_F(LayoutWindow, ControlsCellsAndTextFollowTheWindowSizeButNotAMaximisedWindow) {
    CZelProportionalLayout layout(&window_);
    auto* slide = new CZelSlide(Qt::Vertical, &window_);
    layout.Add(slide, QRectF(0.1, 0.2, 0.3, 0.4));
    std::vector<QWidget*> lamps = {new CZelLed(&window_), new CZelLed(&window_), new CZelLed(&window_)};
    layout.AddGroup(lamps, QRectF(0.5, 0.0, 0.1, 0.9), 1, 3);
    auto* time = new CZelTextIndicator(&window_);
    layout.Add(time, QRectF(0.0, 0.0, 0.5, 0.2), 8.0);  // 100 x 20 pixels
    auto* label = new QLabel("Deck A", &window_);       // placed at the design size: it keeps its share
    label->setGeometry(50, 25, 100, 50);
    layout.AddAsPlaced(label);
    EXPECT_EQ(slide->geometry(), QRect(20, 20, 60, 40));
    EXPECT_EQ(lamps[1]->geometry(), QRect(100, 30, 20, 30));
    EXPECT_EQ(time->font().family(), "Arial");
    EXPECT_EQ(time->font().pointSize(), 8);

    ShowAndResize({400, 200});
    EXPECT_EQ(slide->geometry(), QRect(40, 40, 120, 80));
    EXPECT_EQ(lamps[0]->geometry(), QRect(200, 0, 40, 60));
    EXPECT_EQ(lamps[2]->geometry(), QRect(200, 120, 40, 60));
    EXPECT_EQ(time->font().pointSize(), 16);
    ShowAndResize({100, 50});  // 50 x 10: 4 points, too small, so 6
    EXPECT_EQ(time->font().pointSize(), 6);
    EXPECT_EQ(label->geometry(), QRect(25, 13, 50, 25));  // edges 12.5 and 37.5 both round up
    window_.showMaximized();                              // left alone
    QCoreApplication::processEvents();
    EXPECT_EQ(label->geometry(), QRect(25, 13, 50, 25));

    using Layout = CZelProportionalLayout;
    EXPECT_EQ(Layout::FontPoints(12.0, {100, 20}, {100, 20}), 10);  // half the height
    EXPECT_EQ(Layout::FontPoints(20.0, {100, 80}, {8, 80}), 8);     // the width
    EXPECT_EQ(Layout::FontPoints(10.0, {100, 40}, {100, 30}), 7);   // 7.5 points, whole: still legible
    EXPECT_EQ(Layout::FontPoints(10.0, {100, 40}, {100, 20}), 6);   // 5 points computed: below 7
}

}  // namespace
