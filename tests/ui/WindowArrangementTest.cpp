#include <gtest/gtest.h>

#include "ui/WindowArrangement.h"

using namespace ui;

namespace {

QRect Find(const std::vector<WindowPlacement>& places, int code, int deck) {
    for (const auto& p : places)
        if (p.code == code && p.deck == deck) return p.frame;
    return {};
}

// Every shown window wholly inside the area, at least its minimum inside its
// frame, and no two overlapping.
void ExpectUsable(const std::vector<WindowPlacement>& places, const QRect& area, const QMargins& frame) {
    for (size_t i = 0; i < places.size(); ++i) {
        const WindowPlacement& a = places[i];
        if (a.hidden) continue;
        SCOPED_TRACE(testing::Message() << "window " << a.code << " deck " << a.deck);
        EXPECT_TRUE(area.contains(a.frame))
            << a.frame.x() << "," << a.frame.y() << " " << a.frame.width() << "x" << a.frame.height();
        EXPECT_EQ(a.inner, a.frame.marginsRemoved(frame));
        EXPECT_GE(a.inner.width(), MinimumInnerSize(a.code).width());
        EXPECT_GE(a.inner.height(), MinimumInnerSize(a.code).height());
        for (size_t j = i + 1; j < places.size(); ++j) {
            if (places[j].hidden) continue;
            EXPECT_FALSE(a.frame.intersects(places[j].frame)) << "and " << places[j].code;
        }
    }
}

}  // namespace

TEST(WindowArrangement, GoldenRatioWhereEveryWindowFits) {
    // w = trunc(1280 / 2.618...) = 488, middle width 304; every window above
    // its minimum on a 1280 x 1024 screen, so the rule holds as it is.
    const QRect area(0, 0, 1280, 1024);
    const auto all = ArrangeWindows({area, {}, 20, 16}, kMainWindowCode, 0);
    EXPECT_EQ(Find(all, kDeckCode, 0), QRect(0, 0, 488, 468));
    EXPECT_EQ(Find(all, kDeckCode, 1), QRect(488 + 304, 0, 488, 468));
    EXPECT_EQ(Find(all, kEqualizerCode, 1), QRect(792, 468, 488, 301 - 16));
    EXPECT_EQ(Find(all, kEffectsCode, 0), QRect(0, 468 + 285, 488, 1024 - 468 - 285));
    EXPECT_EQ(Find(all, kMainWindowCode, -1), QRect(488, 0, 304, 468));
    EXPECT_EQ(Find(all, kAnalyzerCode, -1), QRect(488, 468, 304, 187 - 16));
    EXPECT_EQ(Find(all, kPlayListCode, -1), QRect(488, 468 + 171, 304, 1024 - 171 - 468));
    EXPECT_EQ(all.size(), 11u);
    ExpectUsable(all, area, {});

    // A reset of one window places that window alone, on the deck it names.
    const auto one = ArrangeWindows({area, {}, 20, 16}, kEffectsCode, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].deck, 1);
    EXPECT_EQ(one[0].frame, Find(all, kEffectsCode, 1));
}

TEST(WindowArrangement, EveryWindowOnScreenAndReadableAtCommonSizes) {
    // Without a window manager, and with a title bar and borders around
    // every window; work areas with and without a panel.
    const QMargins frames[] = {{}, {1, 24, 1, 4}};
    const QRect areas[] = {{0, 0, 1280, 720},  {0, 0, 1366, 768},   {0, 0, 1280, 800}, {0, 0, 1920, 1080},
                           {0, 0, 2560, 1440}, {0, 32, 1920, 1048}, {48, 0, 1232, 800}};
    for (const QMargins& frame : frames) {
        for (const QRect& area : areas) {
            SCOPED_TRACE(testing::Message()
                         << area.width() << "x" << area.height() << " frame top " << frame.top());
            const int caption = std::max(20, frame.top());
            const auto all = ArrangeWindows({area, frame, caption, caption}, kMainWindowCode, 0);
            EXPECT_EQ(all.size(), 11u);
            ExpectUsable(all, area, frame);
            // The decks keep the top corners, the main window between them.
            EXPECT_EQ(Find(all, kDeckCode, 0).topLeft(), area.topLeft());
            EXPECT_EQ(Find(all, kDeckCode, 1).right(), area.right());
            EXPECT_EQ(Find(all, kMainWindowCode, -1).left(), Find(all, kDeckCode, 0).right() + 1);
        }
    }
}

TEST(WindowArrangement, TooSmallAScreenKeepsEveryWindowOnItAtItsMinimum) {
    const QRect area(0, 0, 800, 600);
    for (const WindowPlacement& p : ArrangeWindows({area, {}, 20, 20}, kMainWindowCode, 0)) {
        EXPECT_TRUE(area.contains(p.frame)) << p.code;
        EXPECT_GE(p.inner.width(), MinimumInnerSize(p.code).width()) << p.code;
        EXPECT_GE(p.inner.height(), MinimumInnerSize(p.code).height()) << p.code;
    }
}
