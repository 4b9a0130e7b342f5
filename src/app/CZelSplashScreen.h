#pragma once

#include <QPixmap>
#include <QPointer>

class QWidget;

// The picture shown while the program starts: a frameless window, exactly the
// size of its bitmap, in the middle of the primary screen. It hides itself
// when its time is up; destroying it closes it at once, so the main window
// can end it when its own start-up is done, whatever time is left.
class CZelSplashScreen {
public:
    CZelSplashScreen() = default;
    ~CZelSplashScreen();
    CZelSplashScreen(const CZelSplashScreen&) = delete;
    CZelSplashScreen& operator=(const CZelSplashScreen&) = delete;

    // Shows the program's splash bitmap for `durationMs` milliseconds, painted
    // at once. False when the bitmap cannot be made; nothing is shown then.
    bool Create(int durationMs, QWidget* parent = nullptr);
    // The same with any bitmap.
    bool Create(int durationMs, QWidget* parent, const QPixmap& bitmap);

    bool IsShowing() const;
    // The window, while it exists.
    QWidget* Window() const { return window_; }

private:
    void Destroy();

    QPointer<QWidget> window_;  // also goes if the parent is destroyed first
};
