#pragma once

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSize>
#include <QWidget>

#include <vector>

// Keeps a window's controls at the same fractions of the window whenever it
// is resized (but not when it is maximised). A control registered with a text
// size gets the font "Arial", its size scaled with the control's height and
// kept legible and inside the control (FontPoints). A group of like controls,
// such as a column of lamps, is one entry: a rectangle cut into equal cells.
// UI thread only.
class CZelProportionalLayout : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxEntries = 100;
    static constexpr int kSmallestPoints = 7;  // computed sizes below this ...
    static constexpr int kFallbackPoints = 6;  // ... become this
    static constexpr const char* kFontFamily = "Arial";

    // `designSize` is the window size that fractions and text sizes are meant
    // for; by default the window's size now.
    explicit CZelProportionalLayout(QWidget* window, QSize designSize = {});

    // Registers `control` at `fraction` of the window (x, y, width, height,
    // each 0 to 1) and places it at once. `textPoints` > 0 is its text size
    // at the design size. False once the window holds kMaxEntries entries.
    bool Add(QWidget* control, const QRectF& fraction, double textPoints = 0.0);
    // The same with the fraction taken from where the control sits now in a
    // window of the design size.
    bool AddAsPlaced(QWidget* control, double textPoints = 0.0);
    // Controls filling `fraction` in `rows` by `columns` equal cells, row by row.
    bool AddGroup(const std::vector<QWidget*>& controls, const QRectF& fraction, int columns, int rows,
                  double textPoints = 0.0);
    int Count() const { return static_cast<int>(entries_.size()); }

    // Places every registered control for the window's current size.
    void Apply();

    // The font rule: the design size in points, scaled with the control's
    // height, at most half the height and at most the width (pixels counted as
    // points), whole points; anything below 7 points becomes 6.
    static int FontPoints(double designPoints, QSize designControlSize, QSize controlSize);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        std::vector<QPointer<QWidget>> controls;
        QRectF fraction;
        int columns = 1;
        int rows = 1;
        double textPoints = 0.0;
    };

    // The pixel rectangle of a fraction; shared edges round alike, so
    // neighbours stay flush.
    static QRect ToPixels(const QRectF& fraction, QSize size);
    void Place(const Entry& entry, QSize windowSize) const;

    QPointer<QWidget> window_;
    QSize designSize_;
    std::vector<Entry> entries_;
};
