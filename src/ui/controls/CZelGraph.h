#pragma once

#include <QColor>
#include <QPixmap>
#include <QPointF>
#include <QString>

#include <span>
#include <utility>
#include <vector>

#include "ui/controls/CZelControl.h"

// A plotting instrument: named plots of x/y data drawn as lines, filled areas
// or bars over a grid, with vertical cursors that the user may drag along x.
// Axes and grid are drawn once into a cached picture, so repainting the plots
// many times a second stays cheap. Plots and cursors are numbered from 0 in
// the order they were added.
class CZelGraph : public CZelControl {
    Q_OBJECT
public:
    enum class PlotStyle { Line, Area, Bars };

    explicit CZelGraph(QWidget* parent = nullptr);

    int AddPlot(const QString& name, const QColor& colour, PlotStyle style = PlotStyle::Line);
    int PlotCount() const { return static_cast<int>(plots_.size()); }
    // The index of the plot with that name, or -1.
    int PlotIndex(const QString& name) const;
    // Points are paired up to the shorter of the two.
    void SetPlotData(int plot, std::span<const double> x, std::span<const double> y);
    // A scrolling chart: y joins at the right and the oldest point leaves once
    // the plot holds ChartLength() points; x runs 0, 1, 2, ...
    void AppendChartPoint(int plot, double y);
    void SetChartLength(int points);
    int ChartLength() const { return chartLength_; }
    void ClearPlot(int plot);
    // The getters throw std::out_of_range for a plot that does not exist; the
    // setters ignore it.
    const std::vector<double>& PlotX(int plot) const { return plots_.at(plot).x; }
    const std::vector<double>& PlotY(int plot) const { return plots_.at(plot).y; }
    void SetPlotVisible(int plot, bool visible);
    PlotStyle StyleOfPlot(int plot) const { return plots_.at(plot).style; }
    void SetPlotStyle(int plot, PlotStyle style);
    bool IsPlotVisible(int plot) const { return plots_.at(plot).visible; }

    void SetXRange(double minimum, double maximum);
    void SetYRange(double minimum, double maximum);
    // A logarithmic x axis (frequencies), gridded at 1, 2 and 5 per decade.
    void SetXLogarithmic(bool logarithmic);
    // Grid lines dividing each linear axis; the numbers at them are optional.
    void SetGrid(int xDivisions, int yDivisions);
    // Numbers at the grid lines (off by default).
    void SetTickLabels(bool shown);
    // Grid lines on the x axis at these values, with these labels, in place
    // of the even division (none: back to it).
    void SetXTicks(std::vector<std::pair<double, QString>> ticks);
    // Captions under the x axis and along the y axis; empty for none.
    void SetCaptions(const QString& x, const QString& y);
    // A bars plot's bars, as a fraction of the spacing of its points (0.75 by default).
    void SetBarWidth(int plot, double fraction);

    int AddCursor(const QColor& colour, double x = 0.0, bool draggable = false);
    int CursorCount() const { return static_cast<int>(cursors_.size()); }
    // Kept inside the x range; always reports CursorMoved.
    void SetCursorX(int cursor, double x);
    double CursorX(int cursor) const { return cursors_.at(cursor).x; }
    void SetCursorVisible(int cursor, bool visible);
    bool IsCursorVisible(int cursor) const { return cursors_.at(cursor).visible; }

    // The rectangle the data is drawn in, and the mapping into it.
    QRectF PlotArea() const;
    double XToPixel(double x) const;
    double PixelToX(double pixel) const;
    double YToPixel(double y) const;

    QSize sizeHint() const override { return {300, 200}; }
    QSize minimumSizeHint() const override { return {60, 40}; }

signals:
    // A cursor moved, dragged by the user or set by the program.
    void CursorMoved(int cursor, double x);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Plot {
        QString name;
        QColor colour;
        PlotStyle style = PlotStyle::Line;
        bool visible = true;
        double barWidth = 0.75;
        std::vector<double> x;
        std::vector<double> y;
    };
    struct Cursor {
        QColor colour;
        double x = 0.0;
        bool visible = true;
        bool draggable = false;
    };
    struct Tick {
        double value;
        QString label;  // empty for a line without a number
    };

    void MoveCursor(int cursor, double x, bool always);
    double ClampX(double x) const;
    void InvalidateBackground();
    void RenderBackground();
    std::vector<Tick> XTicks() const;
    std::vector<Tick> YTicks() const;
    void PaintPlot(QPainter& painter, const Plot& plot);
    void PaintCursors(QPainter& painter) const;

    std::vector<Plot> plots_;
    std::vector<Cursor> cursors_;
    double xMinimum_ = 0.0;
    double xMaximum_ = 1.0;
    double yMinimum_ = 0.0;
    double yMaximum_ = 1.0;
    bool xLogarithmic_ = false;
    QString xCaption_;
    QString yCaption_;
    std::vector<Tick> xTicks_;  // set ones; empty for the even division
    int xDivisions_ = 10;
    int yDivisions_ = 8;
    bool gridVisible_ = true;
    bool tickLabels_ = false;
    int chartLength_ = 30;
    int dragged_ = -1;
    QPixmap background_;
    bool backgroundValid_ = false;
    mutable QRectF area_;  // PlotArea(), kept until the layout changes
    mutable bool areaValid_ = false;
    std::vector<QPointF> points_;  // reused for every plot painted
};
