#pragma once

#include <QRectF>

#include <span>

class CZelHelpTexts;
class CZelProportionalLayout;
class QWidget;

// A control's place in its window's proportional layout, its text size there
// and its help texts.
struct ControlPlace {
    QWidget* control;
    QRectF fraction;
    double textPoints;
    const char* title;
    const char* description;
    const char* toolTip;
};

// Registers every control with the layout and its help texts with the table.
void PlaceControls(CZelProportionalLayout& layout, CZelHelpTexts& helpTexts,
                   std::span<const ControlPlace> places);
