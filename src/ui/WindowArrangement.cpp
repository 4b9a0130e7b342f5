#include "ui/WindowArrangement.h"

#include <cmath>

namespace ui {

std::vector<WindowPlacement> ArrangeWindows(const QRect& area, int captionHeight, int smallCaptionHeight,
                                            int code, int deck) {
    const double phi = (std::sqrt(5.0) + 1.0) / 2.0;
    const int W = area.width();
    const int H = area.height();
    const int x0 = area.left();
    const int y0 = area.top();
    const int w = static_cast<int>(std::trunc(W / (phi + 1.0)));
    const int hd = w - captionHeight;
    const int he = static_cast<int>(std::trunc(w / phi)) - smallCaptionHeight;
    const int wm = W - 2 * w;
    const int ha = static_cast<int>(std::trunc(wm / phi)) - smallCaptionHeight;

    std::vector<WindowPlacement> placements;
    auto place = [&](int windowCode, int windowDeck, int left, int top, int width, int height,
                     bool hidden = false) {
        const bool named =
            code == kMainWindowCode || (code == windowCode && (windowDeck < 0 || windowDeck == deck));
        if (windowCode == kMainWindowCode && code != kMainWindowCode) return;
        if (named)
            placements.push_back({windowCode, windowDeck, QRect(x0 + left, y0 + top, width, height), hidden});
    };
    for (int d = 0; d < 2; ++d) {
        const int left = d == 0 ? 0 : w + wm;
        place(kDeckCode, d, left, 0, w, hd);
        place(kEqualizerCode, d, left, hd, w, he);
        place(kEffectsCode, d, left, hd + he, w, H - hd - he);
        place(kDebuggerCode, d, left, 0, w, hd, true);
    }
    place(kMainWindowCode, -1, w, 0, wm, hd);
    place(kAnalyzerCode, -1, w, hd, wm, ha);
    place(kPlayListCode, -1, w, hd + ha, wm, H - ha - hd);
    return placements;
}

}  // namespace ui
