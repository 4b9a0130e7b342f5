#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QKeyEvent;
class QPainter;
class QWheelEvent;

// Base of the program's instrument controls: the help texts, the right-button
// reset gesture and the painting shared by the dark look. The controls live on
// the user-interface thread only.
class CZelControl : public QWidget {
    Q_OBJECT
public:
    explicit CZelControl(QWidget* parent = nullptr);

    // Title and description for the help; the short text becomes the tool tip.
    void SetHelp(const QString& title, const QString& description, const QString& toolTip);
    const QString& HelpTitle() const { return helpTitle_; }
    const QString& HelpDescription() const { return helpDescription_; }

signals:
    // The right mouse button was released over the control: the reset gesture.
    void RightReleased();

protected:
    // Shrinks the painter's font, down to 6 points, until the text fits the
    // width: a narrow window must not cut its controls' captions off.
    static void FitFontToWidth(QPainter& painter, const QString& text, qreal width);
    // `font` made smaller, if need be, until `text` fits `width` (down to 6 points).
    static QFont FontToFit(QFont font, const QString& text, qreal width);
    // Wheel notches turned (one per 120 eighths of a degree), either axis.
    static double WheelNotches(const QWheelEvent* event);
    // +1 for Up or Right, -1 for Down or Left, 0 for any other key.
    static double ArrowSteps(const QKeyEvent* event);

    // Runs on a right-button release over the control, before RightReleased.
    // Slides and knobs go to their neutral value here.
    virtual void Reset() {}

    // Subclasses pass on the presses and releases they do not use.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

    // A colour as painted: a dull grey of the same lightness while disabled.
    QColor Shade(const QColor& colour) const;
    // A raised or sunken charcoal face with a bevel.
    void PaintPanel(QPainter& painter, const QRectF& rect, qreal radius, bool sunken) const;
    // A knob cap of brushed metal; the grain's highlights stay put as it turns.
    void PaintMetalDisc(QPainter& painter, const QPointF& centre, qreal radius) const;
    // A slide thumb of brushed metal, grain across the long side.
    void PaintMetalBar(QPainter& painter, const QRectF& rect) const;
    // Glow of a lit element: a soft radial halo of `colour`.
    void PaintGlow(QPainter& painter, const QPointF& centre, qreal radius, const QColor& colour) const;

private:
    QString helpTitle_;
    QString helpDescription_;
};
