#pragma once

#include <QColor>
#include <QString>

#include <array>

#include "ui/controls/CZelTextIndicator.h"

// A display with two texts, for example a play time and a cue time. Either
// only the chosen text is shown (the owner switches between them, say to
// blink), or both are shown as two lines or side by side with the chosen one
// bright and the other dimmed. Text 0 is the one of CZelTextIndicator.
class CZelDualTextIndicator : public CZelTextIndicator {
    Q_OBJECT
public:
    enum class Arrangement { Alternate, TwoLines, SideBySide };

    explicit CZelDualTextIndicator(QWidget* parent = nullptr);

    const QString& SecondText() const { return secondText_; }
    // Reports SecondTextChanged only when the text changes.
    void SetSecondText(const QString& text);
    void SetSecondTextColour(const QColor& colour);

    // A small label in the corner of a text's part, such as "CUE".
    void SetLabels(const QString& first, const QString& second);

    void SetArrangement(Arrangement arrangement);
    Arrangement TextArrangement() const { return arrangement_; }
    // Which text is shown (Alternate) or bright (the other arrangements): 0 or 1.
    void SetShown(int index);
    int Shown() const { return shown_; }

    QSize sizeHint() const override;

signals:
    void SecondTextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString secondText_;
    QColor secondColour_;
    std::array<QString, 2> labels_;
    Arrangement arrangement_ = Arrangement::Alternate;
    int shown_ = 0;
};
