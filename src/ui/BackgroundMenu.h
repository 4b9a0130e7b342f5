#pragma once

class QContextMenuEvent;
class QWidget;

namespace ui {

// A right click on a window's background (or a plain label) opens a menu of
// the window's actions; over a control the right button is the control's own
// (it resets it), so no menu opens there. UI thread only.
void ShowBackgroundMenu(QWidget& window, QContextMenuEvent* event);

}  // namespace ui
