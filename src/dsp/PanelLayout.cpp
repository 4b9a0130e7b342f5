#include "dsp/PanelLayout.h"

#include <QWidget>

#include <cmath>

#include "ui/CZelProportionalLayout.h"
#include "ui/controls/ControlColours.h"

namespace dsp {

QColor DeckColour(int deck) {
    return deck == 0 ? QColor(controlcolours::kSecondPointer) : QColor(controlcolours::kPointer);
}

namespace {

double Aspect(QSize size) {
    return size.height() > 0 ? static_cast<double>(size.width()) / size.height() : 1.0;
}

std::unique_ptr<QWidget> MakeRuler(QSize design) {
    auto ruler = std::make_unique<QWidget>();
    ruler->resize(design);
    return ruler;
}

}  // namespace

PanelLayout::PanelLayout(QWidget& window, QSize wideDesign, QSize tallDesign)
    : window_(window),
      wideRuler_(MakeRuler(wideDesign)),
      tallRuler_(MakeRuler(tallDesign)),
      wide_(new CZelProportionalLayout(wideRuler_.get(), wideDesign)),
      tall_(new CZelProportionalLayout(tallRuler_.get(), tallDesign)),
      // Half way between the two designs' aspect ratios, on a ratio scale.
      switchAspect_(std::sqrt(Aspect(wideDesign) * Aspect(tallDesign))) {}

PanelLayout::~PanelLayout() = default;

void PanelLayout::Add(QWidget* control, const QRectF& wide, const QRectF& tall, double textPoints) {
    wide_->Add(control, wide, textPoints);
    tall_->Add(control, tall, textPoints);
}

PanelLayout::Shape PanelLayout::ShapeFor(QSize size) const {
    return Aspect(size) >= switchAspect_ ? Shape::Wide : Shape::Tall;
}

PanelLayout::Shape PanelLayout::Apply() {
    const Shape shape = ShapeFor(window_.size());
    QWidget* ruler = shape == Shape::Wide ? wideRuler_.get() : tallRuler_.get();
    ruler->resize(window_.size());
    (shape == Shape::Wide ? wide_ : tall_)->Apply();
    return shape;
}

}  // namespace dsp
