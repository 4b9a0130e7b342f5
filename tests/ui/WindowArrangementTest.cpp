#include <gtest/gtest.h>

#include "ui/WindowArrangement.h"

using namespace ui;

namespace {
QRect Find(const std::vector<WindowPlacement>& places, int code, int deck) {
    for (const auto& p : places)
        if (p.code == code && p.deck == deck) return p.rect;
    return {};
}
}  // namespace

TEST(WindowArrangement, GoldenRatioColumnsOnA1280By800Screen) {
    const auto all = ArrangeWindows(QRect(0, 0, 1280, 800), 20, 16, kMainWindowCode, 0);
    // w = trunc(1280 / 2.618...) = 488, middle width 304.
    EXPECT_EQ(Find(all, kDeckCode, 0), QRect(0, 0, 488, 468));
    EXPECT_EQ(Find(all, kDeckCode, 1), QRect(488 + 304, 0, 488, 468));
    EXPECT_EQ(Find(all, kEqualizerCode, 1), QRect(792, 468, 488, 301 - 16));
    EXPECT_EQ(Find(all, kEffectsCode, 0), QRect(0, 468 + 285, 488, 800 - 468 - 285));
    EXPECT_EQ(Find(all, kMainWindowCode, -1), QRect(488, 0, 304, 468));
    EXPECT_EQ(Find(all, kAnalyzerCode, -1), QRect(488, 468, 304, 187 - 16));
    EXPECT_EQ(Find(all, kPlayListCode, -1), QRect(488, 468 + 171, 304, 800 - 171 - 468));
    EXPECT_EQ(all.size(), 11u);

    // A reset of one window places that window alone, on the deck it names.
    const auto one = ArrangeWindows(QRect(0, 0, 1280, 800), 20, 16, kEffectsCode, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].deck, 1);
    EXPECT_EQ(one[0].rect.left(), 792);
}
