#include "ui/BackgroundMenu.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace ui {

void ShowBackgroundMenu(QWidget& window, QContextMenuEvent* event) {
    QWidget* under = window.childAt(event->pos());
    if ((under && !qobject_cast<QLabel*>(under)) || window.actions().isEmpty()) return;
    QMenu menu(&window);
    menu.addActions(window.actions());
    menu.exec(event->globalPos());
}

}  // namespace ui
