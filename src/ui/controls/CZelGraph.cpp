#include "ui/controls/CZelGraph.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "ui/controls/ControlColours.h"

using namespace controlcolours;

namespace {
constexpr double kMargin = 5.0;
constexpr double kGrabDistance = 6.0;  // pixels around a cursor that pick it up
constexpr double kSmallestLogValue = 1e-12;
constexpr int kAreaAlpha = 70;
constexpr int kGlowAlpha = 90;

QString LinearLabel(double value, double step) {
    const int decimals = step >= 1.0 ? 0 : step >= 0.1 ? 1 : 2;
    if (std::abs(value) < step * 1e-6) value = 0.0;  // no "-0"
    return QString::number(value, 'f', decimals);
}

QString LogLabel(double value) {
    return value >= 1000.0 ? QString::number(value / 1000.0, 'g', 3) + QLatin1Char('k')
                           : QString::number(value, 'g', 3);
}
}  // namespace

CZelGraph::CZelGraph(QWidget* parent) : CZelControl(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int CZelGraph::AddPlot(const QString& name, const QColor& colour, PlotStyle style) {
    plots_.push_back(Plot{name, colour, style, true, 0.75, {}, {}});
    return PlotCount() - 1;
}

int CZelGraph::PlotIndex(const QString& name) const {
    for (int i = 0; i < PlotCount(); ++i)
        if (plots_[i].name == name) return i;
    return -1;
}

void CZelGraph::SetPlotData(int plot, std::span<const double> x, std::span<const double> y) {
    if (plot < 0 || plot >= PlotCount()) return;
    const size_t count = std::min(x.size(), y.size());
    plots_[plot].x.assign(x.begin(), x.begin() + count);
    plots_[plot].y.assign(y.begin(), y.begin() + count);
    update();
}

void CZelGraph::AppendChartPoint(int plot, double y) {
    if (plot < 0 || plot >= PlotCount()) return;
    Plot& target = plots_[plot];
    target.y.push_back(y);
    if (static_cast<int>(target.y.size()) > chartLength_)
        target.y.erase(target.y.begin(), target.y.end() - chartLength_);
    target.x.resize(target.y.size());
    std::iota(target.x.begin(), target.x.end(), 0.0);
    update();
}

void CZelGraph::SetChartLength(int points) {
    chartLength_ = std::max(1, points);
}

void CZelGraph::ClearPlot(int plot) {
    if (plot < 0 || plot >= PlotCount()) return;
    plots_[plot].x.clear();
    plots_[plot].y.clear();
    update();
}

void CZelGraph::SetPlotVisible(int plot, bool visible) {
    if (plot < 0 || plot >= PlotCount()) return;
    plots_[plot].visible = visible;
    update();
}

void CZelGraph::SetPlotStyle(int plot, PlotStyle style) {
    if (plot < 0 || plot >= PlotCount()) return;
    plots_[plot].style = style;
    update();
}

void CZelGraph::SetXRange(double minimum, double maximum) {
    xMinimum_ = minimum;
    xMaximum_ = maximum;
    for (int i = 0; i < CursorCount(); ++i)
        if (ClampX(cursors_[i].x) != cursors_[i].x) MoveCursor(i, cursors_[i].x, false);
    InvalidateBackground();
}

void CZelGraph::SetYRange(double minimum, double maximum) {
    yMinimum_ = minimum;
    yMaximum_ = maximum;
    InvalidateBackground();
}

void CZelGraph::SetXLogarithmic(bool logarithmic) {
    xLogarithmic_ = logarithmic;
    InvalidateBackground();
}

void CZelGraph::SetGrid(int xDivisions, int yDivisions) {
    xDivisions_ = std::max(1, xDivisions);
    yDivisions_ = std::max(1, yDivisions);
    InvalidateBackground();
}

void CZelGraph::SetTickLabels(bool shown) {
    tickLabels_ = shown;
    InvalidateBackground();
}

void CZelGraph::SetXTicks(std::vector<std::pair<double, QString>> ticks) {
    xTicks_.clear();
    for (auto& [value, label] : ticks) xTicks_.push_back({value, std::move(label)});
    InvalidateBackground();
}

void CZelGraph::SetCaptions(const QString& x, const QString& y) {
    xCaption_ = x;
    yCaption_ = y;
    InvalidateBackground();
}

void CZelGraph::SetBarWidth(int plot, double fraction) {
    if (plot < 0 || plot >= PlotCount()) return;
    plots_[plot].barWidth = std::clamp(fraction, 0.05, 1.0);
    update();
}

int CZelGraph::AddCursor(const QColor& colour, double x, bool draggable) {
    cursors_.push_back(Cursor{colour, ClampX(x), true, draggable});
    update();
    return CursorCount() - 1;
}

void CZelGraph::SetCursorX(int cursor, double x) {
    MoveCursor(cursor, x, true);
}

void CZelGraph::SetCursorVisible(int cursor, bool visible) {
    if (cursor < 0 || cursor >= CursorCount()) return;
    cursors_[cursor].visible = visible;
    if (!visible && dragged_ == cursor) dragged_ = -1;
    update();
}

void CZelGraph::MoveCursor(int cursor, double x, bool always) {
    if (cursor < 0 || cursor >= CursorCount()) return;
    const double clamped = ClampX(x);
    const bool changed = clamped != cursors_[cursor].x;
    cursors_[cursor].x = clamped;
    if (changed) update();
    if (changed || always) emit CursorMoved(cursor, clamped);
}

double CZelGraph::ClampX(double x) const {
    return std::clamp(x, std::min(xMinimum_, xMaximum_), std::max(xMinimum_, xMaximum_));
}

QRectF CZelGraph::PlotArea() const {
    if (areaValid_) return area_;
    const QFontMetricsF metrics(font());
    double left = kMargin;
    double right = kMargin;
    double top = kMargin;
    double bottom = kMargin;
    if (tickLabels_) {
        double widest = 0.0;
        for (const Tick& tick : YTicks()) widest = std::max(widest, metrics.horizontalAdvance(tick.label));
        left += widest + 4.0;
        bottom += metrics.height();
        top += metrics.height() / 2.0;
        right += metrics.horizontalAdvance(QStringLiteral("20k")) / 2.0;
    }
    if (!yCaption_.isEmpty()) left += metrics.height() + 2.0;
    if (!xCaption_.isEmpty()) bottom += metrics.height();
    area_ = QRectF(rect()).adjusted(left, top, -right, -bottom);
    areaValid_ = true;
    return area_;
}

double CZelGraph::XToPixel(double x) const {
    const QRectF area = PlotArea();
    double fraction = 0.0;
    if (xLogarithmic_) {
        const double low = std::log10(std::max(xMinimum_, kSmallestLogValue));
        const double high = std::log10(std::max(xMaximum_, kSmallestLogValue));
        if (high != low) fraction = (std::log10(std::max(x, kSmallestLogValue)) - low) / (high - low);
    } else if (xMaximum_ != xMinimum_) {
        fraction = (x - xMinimum_) / (xMaximum_ - xMinimum_);
    }
    return area.left() + fraction * area.width();
}

double CZelGraph::PixelToX(double pixel) const {
    const QRectF area = PlotArea();
    const double fraction = area.width() > 0.0 ? (pixel - area.left()) / area.width() : 0.0;
    if (xLogarithmic_) {
        const double low = std::log10(std::max(xMinimum_, kSmallestLogValue));
        const double high = std::log10(std::max(xMaximum_, kSmallestLogValue));
        return std::pow(10.0, low + fraction * (high - low));
    }
    return xMinimum_ + fraction * (xMaximum_ - xMinimum_);
}

double CZelGraph::YToPixel(double y) const {
    const QRectF area = PlotArea();
    const double fraction = yMaximum_ != yMinimum_ ? (y - yMinimum_) / (yMaximum_ - yMinimum_) : 0.0;
    return area.bottom() - fraction * area.height();
}

std::vector<CZelGraph::Tick> CZelGraph::XTicks() const {
    if (!xTicks_.empty()) return xTicks_;
    std::vector<Tick> ticks;
    if (xLogarithmic_) {
        const double low = std::max(std::min(xMinimum_, xMaximum_), kSmallestLogValue);
        const double high = std::max(xMinimum_, xMaximum_);
        for (int decade = static_cast<int>(std::floor(std::log10(low)));
             decade <= static_cast<int>(std::ceil(std::log10(high))); ++decade) {
            for (const double mantissa : {1.0, 2.0, 5.0}) {
                const double value = mantissa * std::pow(10.0, decade);
                if (value >= low * (1.0 - 1e-9) && value <= high * (1.0 + 1e-9))
                    ticks.push_back({value, LogLabel(value)});
            }
        }
        return ticks;
    }
    const double step = (xMaximum_ - xMinimum_) / xDivisions_;
    for (int i = 0; i <= xDivisions_; ++i)
        ticks.push_back({xMinimum_ + step * i, LinearLabel(xMinimum_ + step * i, std::abs(step))});
    return ticks;
}

std::vector<CZelGraph::Tick> CZelGraph::YTicks() const {
    std::vector<Tick> ticks;
    const double step = (yMaximum_ - yMinimum_) / yDivisions_;
    for (int i = 0; i <= yDivisions_; ++i)
        ticks.push_back({yMinimum_ + step * i, LinearLabel(yMinimum_ + step * i, std::abs(step))});
    return ticks;
}

void CZelGraph::InvalidateBackground() {
    backgroundValid_ = false;
    areaValid_ = false;
    update();
}

void CZelGraph::resizeEvent(QResizeEvent* event) {
    backgroundValid_ = false;
    areaValid_ = false;
    CZelControl::resizeEvent(event);
}

void CZelGraph::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange) {
        backgroundValid_ = false;
        areaValid_ = false;
    }
    CZelControl::changeEvent(event);
}

void CZelGraph::RenderBackground() {
    const qreal ratio = devicePixelRatioF();
    background_ = QPixmap(size() * ratio);
    background_.setDevicePixelRatio(ratio);
    background_.fill(QColor(kPanel));
    QPainter painter(&background_);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintPanel(painter, QRectF(rect()), 4.0, false);

    // The screen: dark glass in a sunken frame.
    const QRectF area = PlotArea();
    painter.setPen(QPen(QColor(kBevelDark), 1.0));
    QLinearGradient glass(area.topLeft(), area.bottomLeft());
    glass.setColorAt(0.0, Shade(QColor(kPlotBack).lighter(140)));
    glass.setColorAt(1.0, Shade(QColor(kPlotBack)));
    painter.setBrush(glass);
    painter.drawRect(area.adjusted(-1.0, -1.0, 1.0, 1.0));

    const std::vector<Tick> xTicks = XTicks();
    const std::vector<Tick> yTicks = YTicks();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (gridVisible_) {
        painter.setPen(QPen(Shade(QColor(kGrid)), 1.0));
        for (const Tick& tick : xTicks) {
            const double x = std::round(XToPixel(tick.value));
            painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        }
        for (const Tick& tick : yTicks) {
            const double y = std::round(YToPixel(tick.value));
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }
        // The zero lines stand out where the axes cross zero.
        painter.setPen(QPen(Shade(QColor(kGridAxis)), 1.0));
        if (!xLogarithmic_ && std::min(xMinimum_, xMaximum_) < 0.0 && std::max(xMinimum_, xMaximum_) > 0.0) {
            const double x = std::round(XToPixel(0.0));
            painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        }
        if (std::min(yMinimum_, yMaximum_) < 0.0 && std::max(yMinimum_, yMaximum_) > 0.0) {
            const double y = std::round(YToPixel(0.0));
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }
    }
    painter.setRenderHint(QPainter::Antialiasing);

    const QFontMetricsF metrics(font());
    painter.setFont(font());
    painter.setPen(Shade(QColor(kTextDim)));
    if (tickLabels_) {
        for (const Tick& tick : xTicks) {
            const double x = XToPixel(tick.value);
            painter.drawText(QRectF(x - 30.0, area.bottom() + 2.0, 60.0, metrics.height()), Qt::AlignHCenter,
                             tick.label);
        }
        for (const Tick& tick : yTicks) {
            const double y = YToPixel(tick.value);
            painter.drawText(QRectF(0.0, y - metrics.height() / 2.0, area.left() - 4.0, metrics.height()),
                             Qt::AlignRight | Qt::AlignVCenter, tick.label);
        }
    }
    painter.setPen(Shade(QColor(kText)));
    if (!xCaption_.isEmpty())
        painter.drawText(
            QRectF(area.left(), height() - kMargin - metrics.height(), area.width(), metrics.height()),
            Qt::AlignHCenter, xCaption_);
    if (!yCaption_.isEmpty()) {
        painter.save();
        painter.translate(kMargin, area.center().y());
        painter.rotate(-90.0);
        painter.drawText(QRectF(-area.height() / 2.0, 0.0, area.height(), metrics.height()), Qt::AlignHCenter,
                         yCaption_);
        painter.restore();
    }
    backgroundValid_ = true;
}

void CZelGraph::paintEvent(QPaintEvent*) {
    if (!backgroundValid_ || background_.size() != size() * devicePixelRatioF()) RenderBackground();
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = PlotArea();
    painter.setClipRect(area.adjusted(-1.0, -1.0, 1.0, 1.0));
    for (const Plot& plot : plots_)
        if (plot.visible && !plot.x.empty()) PaintPlot(painter, plot);
    painter.setClipping(false);
    PaintCursors(painter);
}

void CZelGraph::PaintPlot(QPainter& painter, const Plot& plot) {
    const size_t count = plot.x.size();
    points_.resize(count);
    for (size_t i = 0; i < count; ++i) points_[i] = QPointF(XToPixel(plot.x[i]), YToPixel(plot.y[i]));
    const QColor colour = Shade(plot.colour);
    const QRectF area = PlotArea();
    const double base =
        std::clamp(YToPixel(std::clamp(0.0, std::min(yMinimum_, yMaximum_), std::max(yMinimum_, yMaximum_))),
                   area.top(), area.bottom());

    if (plot.style == PlotStyle::Bars) {
        double spacing = area.width() / std::max<size_t>(count, 1);
        if (count > 1) spacing = std::abs(points_[1].x() - points_[0].x());
        const double half = std::max(1.0, spacing * plot.barWidth / 2.0);
        QLinearGradient fill(0.0, area.top(), 0.0, area.bottom());
        fill.setColorAt(0.0, colour.lighter(130));
        fill.setColorAt(1.0, colour.darker(200));
        // Bars are rectangles on whole pixels: drawn without antialiasing they
        // stay crisp, and cheap when the graph is redrawn many times a second.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        for (const QPointF& point : points_)
            painter.drawRect(QRectF(QPointF(point.x() - half, std::min(point.y(), base)),
                                    QPointF(point.x() + half, std::max(point.y(), base)))
                                 .toRect());
        painter.setBrush(colour.lighter(150));
        for (const QPointF& point : points_)
            painter.drawRect(QRectF(point.x() - half, point.y() - 1.0, 2.0 * half, 2.0).toRect());
        painter.setRenderHint(QPainter::Antialiasing);
        return;
    }
    if (plot.style == PlotStyle::Area && count > 1) {
        QPainterPath path;
        path.moveTo(points_.front().x(), base);
        for (const QPointF& point : points_) path.lineTo(point);
        path.lineTo(points_.back().x(), base);
        path.closeSubpath();
        QColor fill = colour;
        fill.setAlpha(kAreaAlpha);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        // Filled without antialiasing: its edge is drawn over by the line.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawPath(path);
        painter.setRenderHint(QPainter::Antialiasing);
    }
    // A crisp line in a soft glow. Cosmetic one-pixel pens take the raster
    // engine's fast path, which keeps a graph that is redrawn many times a
    // second cheap; the glow is the line again a pixel above and below.
    QColor glow = colour;
    glow.setAlpha(kGlowAlpha);
    painter.setBrush(Qt::NoBrush);
    QPen pen(glow, 1.0);
    pen.setCosmetic(true);
    painter.setPen(pen);
    for (const double shift : {-1.0, 1.0}) {
        painter.translate(0.0, shift);
        painter.drawPolyline(points_.data(), static_cast<int>(count));
        painter.translate(0.0, -shift);
    }
    pen.setColor(colour);
    painter.setPen(pen);
    painter.drawPolyline(points_.data(), static_cast<int>(count));
}

void CZelGraph::PaintCursors(QPainter& painter) const {
    const QRectF area = PlotArea();
    for (const Cursor& cursor : cursors_) {
        if (!cursor.visible) continue;
        const double x = XToPixel(cursor.x);
        const QColor colour = Shade(cursor.colour);
        painter.setPen(QPen(colour, 1.5));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        if (!cursor.draggable) continue;
        // Handles at both ends show that this cursor can be taken.
        const double size = 5.0;
        painter.setPen(QPen(QColor(kBevelDark), 1.0));
        painter.setBrush(colour);
        const QPointF top[3] = {{x - size, area.top()}, {x + size, area.top()}, {x, area.top() + size * 1.4}};
        const QPointF bottom[3] = {
            {x - size, area.bottom()}, {x + size, area.bottom()}, {x, area.bottom() - size * 1.4}};
        painter.drawPolygon(top, 3);
        painter.drawPolygon(bottom, 3);
    }
}

void CZelGraph::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        CZelControl::mousePressEvent(event);
        return;
    }
    // The nearest draggable cursor is taken; one farther away than the grab
    // distance jumps to the click first.
    const double x = event->position().x();
    double nearest = std::numeric_limits<double>::max();
    dragged_ = -1;
    for (int i = 0; i < CursorCount(); ++i) {
        if (!cursors_[i].visible || !cursors_[i].draggable) continue;
        const double distance = std::abs(XToPixel(cursors_[i].x) - x);
        if (distance < nearest) {
            nearest = distance;
            dragged_ = i;
        }
    }
    if (dragged_ < 0) {
        CZelControl::mousePressEvent(event);
        return;
    }
    event->accept();
    if (nearest > kGrabDistance) MoveCursor(dragged_, PixelToX(x), false);
}

void CZelGraph::mouseMoveEvent(QMouseEvent* event) {
    if (dragged_ < 0) {
        CZelControl::mouseMoveEvent(event);
        return;
    }
    event->accept();
    MoveCursor(dragged_, PixelToX(event->position().x()), false);
}

void CZelGraph::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragged_ >= 0) {
        event->accept();
        dragged_ = -1;
        return;
    }
    CZelControl::mouseReleaseEvent(event);
}
