#pragma once

#include <QColor>
#include <QRectF>
#include <QSize>

#include <memory>

class CZelProportionalLayout;
class QWidget;

namespace dsp {

// A rectangle drawn in pixels on a window of the design size, as fractions
// of that size (what the layouts take).
constexpr QRectF DesignFraction(QSize design, double x, double y, double w, double h) {
    return {x / design.width(), y / design.height(), w / design.width(), h / design.height()};
}

// The colour that marks a deck in the tool windows: cyan for deck A, orange for deck B.
QColor DeckColour(int deck);

// A deck tool window's controls laid out proportionally in one of two
// arrangements: one drawn for a wide window and one for a tall one. The
// window arrangement gives the equalizer and effects windows shapes from a
// strip under their deck to a column beside it, and no single set of
// fractions reads well in both. Each arrangement is a CZelProportionalLayout
// (the same fractions, rounding and font rule as every window); the window's
// shape picks the one applied: the one whose design shape is nearer to it.
// UI thread only.
class PanelLayout {
public:
    enum class Shape { Wide, Tall };

    PanelLayout(QWidget& window, QSize wideDesign, QSize tallDesign);
    ~PanelLayout();
    PanelLayout(const PanelLayout&) = delete;
    PanelLayout& operator=(const PanelLayout&) = delete;

    // Registers `control` at its fraction of the window and text size in each arrangement.
    void Add(QWidget* control, const QRectF& wide, const QRectF& tall, double textPoints);

    // Places the controls for the window's size now; call it on every resize.
    Shape Apply();
    Shape ShapeFor(QSize size) const;

private:
    QWidget& window_;
    // Each arrangement measures a widget of its own, never shown, that takes
    // the window's size: only the one in use is resized, and a widget never
    // shown reports no resize, so only the arrangement in use moves controls.
    std::unique_ptr<QWidget> wideRuler_;
    std::unique_ptr<QWidget> tallRuler_;
    CZelProportionalLayout* wide_;  // children of the rulers
    CZelProportionalLayout* tall_;
    double switchAspect_;
};

}  // namespace dsp
