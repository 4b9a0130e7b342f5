#pragma once

#include <QPalette>

class QApplication;

namespace ui {

// `base` with the dark panel, light text and dark buttons of the program.
QPalette DarkPalette(QPalette base);

// Gives the whole application the instrument panel's dark look: one style and
// one palette, set once at start-up, so that dialogs, message boxes, file
// dialogs, menus and tool tips match the dark windows.
void ApplyDarkLook(QApplication& application);

}  // namespace ui
