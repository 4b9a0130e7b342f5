#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include "ui/controls/CZelControl.h"

// A push button (on while held down) or a two-state button (each click flips
// it), with one caption for off and one for on and an optional lamp that
// glows while it is on. Buttons take no keyboard focus: keys go to the window.
class CZelButton : public CZelControl {
    Q_OBJECT
public:
    enum class Kind { Push, Toggle };

    explicit CZelButton(Kind kind = Kind::Push, QWidget* parent = nullptr);

    Kind ButtonKind() const { return kind_; }

    // The same caption in both states.
    void SetCaption(const QString& caption) { SetCaptions(caption, caption); }
    void SetCaptions(const QString& off, const QString& on);
    // The caption the button shows now.
    const QString& Caption() const { return value_ ? onCaption_ : offCaption_; }
    // Shown instead of the caption when that cannot fit, even in two lines at
    // the smallest size: "Up" for "Move Track Up" on a small screen.
    void SetShortCaption(const QString& caption);

    void SetGlow(bool glow);
    void SetGlowColour(const QColor& colour);

    bool Value() const { return value_; }
    // The keyboard modifiers held at the last press of the left button.
    Qt::KeyboardModifiers PressModifiers() const { return pressModifiers_; }
    // Always reports ValueChanged, also for an unchanged state.
    void SetValue(bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {20, 14}; }

    // The font and text (one line or two) the caption is drawn with in a
    // text area of `room`.
    struct CaptionFit {
        QFont font;
        QString text;
    };
    CaptionFit FitCaption(QSizeF room) const;
    // Whether `fit` fits in `room`: every line as wide, all lines as high.
    static bool Fits(const CaptionFit& fit, QSizeF room);
    // Where the caption is drawn.
    QRectF CaptionRect() const;

signals:
    // Every change of state, by the mouse or by SetValue.
    void ValueChanged(bool on);
    // The left mouse button went down on the button, and up again.
    void Pressed();
    void Released();
    // Released over the button after a press on it.
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ChangeValue(bool on, bool always);
    static double LampHeight(const QRectF& box);
    CaptionFit FitText(const QString& caption, QSizeF room) const;

    Kind kind_;
    QString offCaption_;
    QString onCaption_;
    QString shortCaption_;
    bool glow_ = true;
    QColor glowColour_;
    bool value_ = false;
    Qt::KeyboardModifiers pressModifiers_;
    bool held_ = false;    // left button down after a press on the button
    bool inside_ = false;  // and the mouse is over it
    bool notifying_ = false;
};
