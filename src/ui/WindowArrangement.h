#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <vector>

// Where the program's windows go on the screen: the decks in the two side
// columns with their equalizer and effects windows below them, the main
// window, analyzer and play list in the middle column, sized by the golden
// ratio. Whole windows are placed, frames and title bars included.
namespace ui {

// Window codes, as the windows are named in layout resets and close messages.
constexpr int kMainWindowCode = 102;
constexpr int kAnalyzerCode = 103;
constexpr int kDeckCode = 104;
constexpr int kEqualizerCode = 106;
constexpr int kPlayListCode = 107;
constexpr int kDebuggerCode = 109;
constexpr int kEffectsCode = 110;

// The smallest inner size at which a window of `code` is still readable; the
// windows take it as their minimum size.
QSize MinimumInnerSize(int code);

// What the arrangement knows of the screen and the window manager.
struct ScreenFrame {
    QRect area;        // the work area (the screen less panels)
    QMargins frame;    // the decoration around a window's inner area
    int caption;       // the height of a caption button
    int smallCaption;  // the height of a small caption button
};

struct WindowPlacement {
    int code = 0;
    int deck = -1;  // -1 for windows that belong to no deck
    QRect frame;    // the whole window on the screen
    QRect inner;    // its inner area: the frame less the decoration
    bool hidden = false;
};

// The placements for window code `code` (102: all windows) and, for deck
// windows, deck `deck`.
//
// The golden-ratio rule holds where every window it makes is at least its
// minimum size. On wide screens it leaves the effects windows no height and
// on narrow ones the middle column is too thin for the main window; there the
// rule gives way as little as it can: the middle column widens to the main
// window's minimum, the lower windows are shortened to leave the ones below
// them their minimum, and the equalizer and effects windows sit side by side
// under their deck when stacked they would not fit. A screen too small for
// every minimum keeps every window on it at its minimum, overlapping.
std::vector<WindowPlacement> ArrangeWindows(const ScreenFrame& screen, int code, int deck);

}  // namespace ui
