#include "dsp/PlotScale.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include "ui/controls/CZelGraph.h"
#include "ui/controls/ControlColours.h"

namespace dsp {

namespace {

constexpr double kInset = 3.0;  // pixels between a mark and the glass's edge

QString FrequencyMark(double hertz) {
    return hertz >= 1000.0 ? QString::asprintf("%gk", hertz / 1000.0) : QString::asprintf("%g", hertz);
}

QString LevelMark(double decibels) {
    return QString::asprintf("%+g dB", decibels);
}

}  // namespace

PlotScale::PlotScale(CZelGraph& graph, std::vector<double> frequencies, std::vector<double> levels)
    : QWidget(&graph), graph_(graph), frequencies_(std::move(frequencies)), levels_(std::move(levels)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(graph.rect());
    graph.installEventFilter(this);
}

bool PlotScale::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &graph_ && event->type() == QEvent::Resize) setGeometry(graph_.rect());
    return QWidget::eventFilter(watched, event);
}

void PlotScale::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area = graph_.PlotArea();
    const QFontMetricsF metrics(font());
    QColor ink(controlcolours::kTextDim);
    ink.setAlpha(200);
    painter.setPen(ink);
    painter.setFont(font());
    // Marks that would leave the glass or run into the one before are left out.
    double lastRight = area.left();
    for (const double hertz : frequencies_) {
        const QString mark = FrequencyMark(hertz);
        const double width = metrics.horizontalAdvance(mark);
        const double left = graph_.XToPixel(hertz) - width / 2.0;
        if (left < lastRight + kInset || left + width > area.right() - kInset) continue;
        painter.drawText(QRectF(left, area.top() + 1.0, width, metrics.height()), Qt::AlignCenter, mark);
        lastRight = left + width;
    }
    for (const double decibels : levels_) {
        const double line = graph_.YToPixel(decibels);
        const QRectF box(area.left() + kInset, line - metrics.height(), area.width() / 2.0, metrics.height());
        if (box.top() < area.top() + metrics.height() || box.bottom() > area.bottom()) continue;
        painter.drawText(box, Qt::AlignLeft | Qt::AlignBottom, LevelMark(decibels));
    }
}

}  // namespace dsp
