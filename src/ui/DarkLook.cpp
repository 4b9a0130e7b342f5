#include "ui/DarkLook.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QToolTip>

#include "ui/controls/ControlColours.h"

namespace ui {

QPalette DarkPalette(QPalette base) {
    using namespace controlcolours;
    base.setColor(QPalette::Window, QColor(kPanel));
    base.setColor(QPalette::WindowText, QColor(kText));
    base.setColor(QPalette::Base, QColor(kPanelDeep));
    base.setColor(QPalette::AlternateBase, QColor(kPanel));
    base.setColor(QPalette::Text, QColor(kText));
    base.setColor(QPalette::PlaceholderText, QColor(kTextDim));
    base.setColor(QPalette::Button, QColor(kPanelRaised));
    base.setColor(QPalette::ButtonText, QColor(kText));
    base.setColor(QPalette::BrightText, QColor(kMetalLight));
    base.setColor(QPalette::Light, QColor(kBevelLight));
    base.setColor(QPalette::Midlight, QColor(kPanelRaised));
    base.setColor(QPalette::Mid, QColor(kPanel));
    base.setColor(QPalette::Dark, QColor(kPanelDeep));
    base.setColor(QPalette::Shadow, QColor(kBevelDark));
    base.setColor(QPalette::Highlight, QColor(kPointer));
    base.setColor(QPalette::HighlightedText, QColor(kBevelDark));
    base.setColor(QPalette::Link, QColor(kSecondPointer));
    base.setColor(QPalette::ToolTipBase, QColor(kPanelDeep));
    base.setColor(QPalette::ToolTipText, QColor(kText));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        base.setColor(QPalette::Disabled, role, QColor(kTextDim).darker(130));
    return base;
}

void ApplyDarkLook(QApplication& application) {
    // Fusion draws every widget from the palette, whatever the desktop's theme.
    if (QStyle* fusion = QStyleFactory::create("Fusion")) application.setStyle(fusion);

    const QPalette palette = DarkPalette(application.palette());
    application.setPalette(palette);
    QToolTip::setPalette(palette);
}

}  // namespace ui
