#pragma once

#include <QDialog>

namespace platform {
class MessagePort;
}

// A modeless window the main window owns and arranges (deck, equalizer,
// effects, analyzer, play list, debugger). Closing it hides it and tells the
// main window, which turns the matching show button off. Its tool tips show
// whether or not it is the active window. UI thread only.
class QKeyEvent;

class CZelToolWindow : public QDialog {
    Q_OBJECT
public:
    CZelToolWindow(int code, int deck, const QString& title, platform::MessagePort& mainWindow,
                   QWidget* parent = nullptr);

    int Code() const { return code_; }
    int Deck() const { return deck_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // A right click on the background offers the window's actions (About).
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Hands a key pressed here to the main window's shortcuts, by its
    // physical key (a held key's repeats are not new presses).
    void ForwardKey(const QKeyEvent& event);

private:
    int code_;
    int deck_;
    platform::MessagePort& mainWindow_;
};
