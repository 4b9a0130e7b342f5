#pragma once

#include <QColor>
#include <QString>

#include <optional>

#include "ui/controls/CZelControl.h"

// What knobs and slides have in common: a value of doubles kept inside a
// range, a neutral value that the reset gesture restores, a step for the
// wheel and the arrow keys, and the pointer colour, scale and caption they
// paint. User-interface thread only.
class CZelRangedControl : public CZelControl {
    Q_OBJECT
public:
    explicit CZelRangedControl(int ticks, QWidget* parent = nullptr);

    // The value is kept inside the range; a range change moves it in if needed.
    void SetRange(double minimum, double maximum);
    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }

    double Value() const { return value_; }
    // Always reports ValueChanged, also when the value stays the same: the
    // owner's change handling runs as for a user's move.
    void SetValue(double value);

    // The value that the right-button release restores.
    void SetNeutralValue(double value) {
        neutral_ = value;
        update();
    }
    void ClearNeutralValue() {
        neutral_.reset();
        update();
    }
    std::optional<double> NeutralValue() const { return neutral_; }

    // Wheel notch and arrow key step; a hundredth of the range unless set.
    void SetStep(double step) { step_ = step; }
    double Step() const;

    void SetPointerColour(const QColor& colour);
    QColor PointerColour() const { return pointerColour_; }
    // Number of divisions of the scale (0: none).
    void SetTicks(int divisions);
    int Ticks() const { return ticks_; }
    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }

signals:
    void ValueChanged(double value);
    // Left mouse button pressed on and released from the control.
    void Pressed();
    void Released();

protected:
    // Sets the value and notifies; `always` also notifies an unchanged value.
    void ChangeValue(double value, bool always);
    // Into the range: clamped unless a subclass fits it otherwise.
    virtual double Fit(double value) const { return Clamp(value); }
    double Clamp(double value) const;
    // Moves the value back into the range after the range or the fitting changed.
    void RefitValue();
    // After a range change, before the repaint.
    virtual void RangeChanged() {}
    // False while the control only shows a value (a meter): no wheel, keys or reset.
    virtual bool Adjustable() const { return true; }
    // How many steps an arrow key with Shift moves.
    virtual double PageSteps() const { return 1.0; }

    void Reset() override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    double minimum_ = 0.0;
    double maximum_ = 1.0;
    double value_ = 0.0;
    std::optional<double> neutral_;
    double step_ = 0.0;
    QColor pointerColour_;
    int ticks_;
    QString caption_;
    bool notifying_ = false;
};
