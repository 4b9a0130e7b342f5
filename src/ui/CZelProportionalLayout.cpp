#include "ui/CZelProportionalLayout.h"

#include <QEvent>
#include <QFont>

#include <algorithm>
#include <cmath>

CZelProportionalLayout::CZelProportionalLayout(QWidget* window, QSize designSize)
    : QObject(window), window_(window), designSize_(designSize.isValid() ? designSize : window->size()) {
    window->installEventFilter(this);
}

bool CZelProportionalLayout::Add(QWidget* control, const QRectF& fraction, double textPoints) {
    return AddGroup({control}, fraction, 1, 1, textPoints);
}

bool CZelProportionalLayout::AddAsPlaced(QWidget* control, double textPoints) {
    if (designSize_.isEmpty()) return false;
    const QRect placed = control->geometry();
    const double width = designSize_.width();
    const double height = designSize_.height();
    return Add(
        control,
        QRectF(placed.x() / width, placed.y() / height, placed.width() / width, placed.height() / height),
        textPoints);
}

bool CZelProportionalLayout::AddGroup(const std::vector<QWidget*>& controls, const QRectF& fraction,
                                      int columns, int rows, double textPoints) {
    if (Count() >= kMaxEntries || controls.empty() || columns < 1 || rows < 1) return false;
    Entry entry{{controls.begin(), controls.end()}, fraction, columns, rows, textPoints};
    if (window_) Place(entry, window_->size());
    entries_.push_back(std::move(entry));
    return true;
}

void CZelProportionalLayout::Apply() {
    if (!window_) return;
    for (const Entry& entry : entries_) Place(entry, window_->size());
}

bool CZelProportionalLayout::eventFilter(QObject* watched, QEvent* event) {
    // A maximised window keeps its controls where they were.
    if (watched == window_ && event->type() == QEvent::Resize && !window_->isMaximized()) Apply();
    return QObject::eventFilter(watched, event);
}

int CZelProportionalLayout::FontPoints(double designPoints, QSize designControlSize, QSize controlSize) {
    double points = designPoints;
    if (designControlSize.height() > 0)
        points = designPoints * controlSize.height() / designControlSize.height();
    points = std::min({points, controlSize.height() / 2.0, static_cast<double>(controlSize.width())});
    const int whole = static_cast<int>(std::floor(points));
    return whole < kSmallestPoints ? kFallbackPoints : whole;
}

QRect CZelProportionalLayout::ToPixels(const QRectF& fraction, QSize size) {
    const int left = static_cast<int>(std::lround(fraction.left() * size.width()));
    const int top = static_cast<int>(std::lround(fraction.top() * size.height()));
    const int right = static_cast<int>(std::lround((fraction.left() + fraction.width()) * size.width()));
    const int bottom = static_cast<int>(std::lround((fraction.top() + fraction.height()) * size.height()));
    return {left, top, right - left, bottom - top};
}

void CZelProportionalLayout::Place(const Entry& entry, QSize windowSize) const {
    const double cellWidth = entry.fraction.width() / entry.columns;
    const double cellHeight = entry.fraction.height() / entry.rows;
    const int cells = static_cast<int>(entry.controls.size());
    for (int i = 0; i < cells; ++i) {
        QWidget* control = entry.controls[i];
        if (!control) continue;
        const QRectF cell(entry.fraction.left() + (i % entry.columns) * cellWidth,
                          entry.fraction.top() + (i / entry.columns) * cellHeight, cellWidth, cellHeight);
        const QRect pixels = ToPixels(cell, windowSize);
        control->setGeometry(pixels);
        if (entry.textPoints > 0.0) {
            const QSize designCell = ToPixels(cell, designSize_).size();
            QFont font(QString::fromLatin1(kFontFamily));
            font.setPointSize(FontPoints(entry.textPoints, designCell, pixels.size()));
            control->setFont(font);
        }
    }
}
