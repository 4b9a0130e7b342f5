#include "ui/WindowArrangement.h"

#include <algorithm>
#include <cmath>

namespace ui {

QSize MinimumInnerSize(int code) {
    switch (code) {
        case kMainWindowCode:
            return {280, 380};
        case kDeckCode:
            return {240, 230};
        case kEqualizerCode:
            return {240, 140};
        case kEffectsCode:
            return {200, 140};
        case kAnalyzerCode:
            return {200, 90};
        case kPlayListCode:
            return {200, 140};
        default:
            return {200, 100};
    }
}

std::vector<WindowPlacement> ArrangeWindows(const ScreenFrame& screen, int code, int deck) {
    const double phi = (std::sqrt(5.0) + 1.0) / 2.0;
    const int W = screen.area.width();
    const int H = screen.area.height();
    const QMargins& margins = screen.frame;
    auto least = [&](int windowCode) { return MinimumInnerSize(windowCode).grownBy(margins); };
    const QSize deckLeast = least(kDeckCode), mainLeast = least(kMainWindowCode);
    const QSize equalizerLeast = least(kEqualizerCode), effectsLeast = least(kEffectsCode);
    const QSize analyzerLeast = least(kAnalyzerCode), playListLeast = least(kPlayListCode);

    // The columns: golden, unless the middle one cannot hold the main window.
    int w = static_cast<int>(std::trunc(W / (phi + 1.0)));
    if (W - 2 * w < mainLeast.width()) w = std::max(0, (W - mainLeast.width()) / 2);
    const int wm = W - 2 * w;

    // The decks as tall as the rule says, short enough to leave the windows
    // below them their minimum (side by side, if need be).
    const bool besideFits = w >= equalizerLeast.width() + effectsLeast.width();
    const int stackedNeed = equalizerLeast.height() + effectsLeast.height();
    const int sideNeed = besideFits ? std::max(equalizerLeast.height(), effectsLeast.height()) : stackedNeed;
    const int middleNeed = analyzerLeast.height() + playListLeast.height();
    int hd = std::min(w - screen.caption, H - std::max(sideNeed, middleNeed));
    hd = std::max({hd, deckLeast.height(), mainLeast.height()});
    const int lower = H - hd;
    const bool stacked = lower >= stackedNeed || !besideFits;
    const int goldenHe = static_cast<int>(std::trunc(w / phi)) - screen.smallCaption;
    const int he = std::max(equalizerLeast.height(), std::min(goldenHe, lower - effectsLeast.height()));
    const int goldenHa = static_cast<int>(std::trunc(wm / phi)) - screen.smallCaption;
    const int ha = std::max(analyzerLeast.height(), std::min(goldenHa, lower - playListLeast.height()));

    std::vector<WindowPlacement> placements;
    auto place = [&](int windowCode, int windowDeck, QRect frame, bool hidden = false) {
        if (windowCode == kMainWindowCode && code != kMainWindowCode) return;
        const bool named =
            code == kMainWindowCode || (code == windowCode && (windowDeck < 0 || windowDeck == deck));
        if (!named) return;
        // Never below the minimum, never off the screen: on a screen too
        // small for every minimum, windows overlap instead.
        frame.setSize(frame.size().expandedTo(least(windowCode)));
        frame.moveLeft(std::max(0, std::min(frame.left(), W - frame.width())));
        frame.moveTop(std::max(0, std::min(frame.top(), H - frame.height())));
        frame.translate(screen.area.topLeft());
        placements.push_back({windowCode, windowDeck, frame, frame.marginsRemoved(margins), hidden});
    };
    for (int d = 0; d < 2; ++d) {
        const int left = d == 0 ? 0 : w + wm;
        place(kDeckCode, d, {left, 0, w, hd});
        if (stacked) {
            place(kEqualizerCode, d, {left, hd, w, he});
            place(kEffectsCode, d, {left, hd + he, w, lower - he});
        } else {
            place(kEqualizerCode, d, {left, hd, w / 2, lower});
            place(kEffectsCode, d, {left + w / 2, hd, w - w / 2, lower});
        }
        place(kDebuggerCode, d, {left, 0, w, hd}, true);
    }
    place(kMainWindowCode, -1, {w, 0, wm, hd});
    place(kAnalyzerCode, -1, {w, hd, wm, ha});
    place(kPlayListCode, -1, {w, hd + ha, wm, lower - ha});
    return placements;
}

}  // namespace ui
