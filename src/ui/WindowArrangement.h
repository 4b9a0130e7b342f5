#pragma once

#include <QRect>

#include <vector>

// Where the program's windows go on the screen: the decks in the two side
// columns (deck, equalizer and effects stacked), the main window, analyzer and
// play list in the middle column, sized by the golden ratio.
namespace ui {

// Window codes, as the windows are named in layout resets and close messages.
constexpr int kMainWindowCode = 102;
constexpr int kAnalyzerCode = 103;
constexpr int kDeckCode = 104;
constexpr int kEqualizerCode = 106;
constexpr int kPlayListCode = 107;
constexpr int kDebuggerCode = 109;
constexpr int kEffectsCode = 110;

struct WindowPlacement {
    int code = 0;
    int deck = -1;  // -1 for windows that belong to no deck
    QRect rect;
    bool hidden = false;
};

// The placements for window code `code` (102: all windows) and, for deck
// windows, deck `deck`, on a work area `area` (its size is what counts), with
// the heights of a caption button and of a small caption button.
std::vector<WindowPlacement> ArrangeWindows(const QRect& area, int captionHeight, int smallCaptionHeight,
                                            int code, int deck);

}  // namespace ui
