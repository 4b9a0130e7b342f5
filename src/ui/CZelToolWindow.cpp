#include "ui/CZelToolWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "platform/MessagePort.h"
#include "platform/keyboard/KeyState.h"
#include "ui/BackgroundMenu.h"
#include "ui/WindowArrangement.h"
#include "ui/controls/ControlColours.h"

CZelToolWindow::CZelToolWindow(int code, int deck, const QString& title, platform::MessagePort& mainWindow,
                               QWidget* parent)
    : QDialog(parent, Qt::Window), code_(code), deck_(deck), mainWindow_(mainWindow) {
    setWindowTitle(title);
    setModal(false);
    setMinimumSize(ui::MinimumInnerSize(code));
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, controlcolours::kPanel);
    setPalette(palette);
}

void CZelToolWindow::closeEvent(QCloseEvent* event) {
    mainWindow_.Send(platform::Message::ChildWindowClosed, platform::WindowArgs{deck_, code_});
    hide();
    event->ignore();
}

void CZelToolWindow::contextMenuEvent(QContextMenuEvent* event) {
    ui::ShowBackgroundMenu(*this, event);
}

void CZelToolWindow::ForwardKey(const QKeyEvent& event) {
    using platform::keyboard::KeyState;
    if (event.isAutoRepeat()) return;
    mainWindow_.Send(platform::Message::ForwardedKey,
                     platform::KeyArgs{deck_, KeyState::CodeOf(KeyState::ScanOf(event))});
}
