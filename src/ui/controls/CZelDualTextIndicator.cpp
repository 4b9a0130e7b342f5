#include "ui/controls/CZelDualTextIndicator.h"

#include <QPainter>

#include <algorithm>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

namespace {
constexpr int kDimmedAlpha = 95;
}

CZelDualTextIndicator::CZelDualTextIndicator(QWidget* parent)
    : CZelTextIndicator(parent), secondColour_(kLedAmber) {}

void CZelDualTextIndicator::SetSecondText(const QString& text) {
    if (text == secondText_) return;
    secondText_ = text;
    update();
    emit SecondTextChanged(secondText_);
}

void CZelDualTextIndicator::SetSecondTextColour(const QColor& colour) {
    secondColour_ = colour;
    update();
}

void CZelDualTextIndicator::SetLabels(const QString& first, const QString& second) {
    labels_ = {first, second};
    update();
}

void CZelDualTextIndicator::SetArrangement(Arrangement arrangement) {
    arrangement_ = arrangement;
    updateGeometry();
    update();
}

void CZelDualTextIndicator::SetShown(int index) {
    shown_ = index == 0 ? 0 : 1;
    update();
}

QSize CZelDualTextIndicator::sizeHint() const {
    QSize size = CZelTextIndicator::sizeHint();
    if (arrangement_ == Arrangement::TwoLines) size.rheight() *= 2;
    if (arrangement_ == Arrangement::SideBySide) size.rwidth() *= 2;
    return size;
}

void CZelDualTextIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = PaintDisplay(painter);
    const std::array<const QString*, 2> texts = {&Text(), &secondText_};
    const std::array<QColor, 2> colours = {TextColour(), secondColour_};

    std::array<QRectF, 2> parts = {area, area};
    if (arrangement_ == Arrangement::TwoLines) {
        parts[0].setBottom(area.center().y());
        parts[1].setTop(area.center().y());
    } else if (arrangement_ == Arrangement::SideBySide) {
        parts[0].setRight(area.center().x());
        parts[1].setLeft(area.center().x());
    }
    QFont small = font();
    small.setPointSizeF(std::max(5.0, font().pointSizeF() * 0.55));
    for (int i = 0; i < 2; ++i) {
        if (arrangement_ == Arrangement::Alternate && i != shown_) continue;
        QColor colour = colours[i];
        if (arrangement_ != Arrangement::Alternate && i != shown_) colour.setAlpha(kDimmedAlpha);
        if (!labels_[i].isEmpty()) {
            painter.setFont(small);
            QColor label = Shade(colour);
            label.setAlpha(label.alpha() * 2 / 3);
            painter.setPen(label);
            painter.drawText(parts[i].adjusted(0, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, labels_[i]);
            painter.setFont(font());
        }
        PaintGlowingText(painter, parts[i], Alignment(), *texts[i], colour);
    }
}
