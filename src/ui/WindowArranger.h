#pragma once

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

// Puts the program's real windows where the arrangement says, by their
// frames. A window's frame is known only once the window manager has
// decorated it, so the windows are placed again when the frame turns out
// other than the one they were placed with. UI thread only.
class WindowArranger : public QObject {
    Q_OBJECT
public:
    // The window of a code and deck (nullptr: none); called back for each
    // window placed and shown.
    using Lookup = std::function<QWidget*(int code, int deck)>;
    using Shown = std::function<void(int code, int deck)>;

    WindowArranger(QWidget* mainWindow, Lookup lookup, Shown shown);

    // Places (and shows) the windows a window code names (102: all of them)
    // on the main window's screen, or on `area`.
    void Arrange(int code, int deck);
    void ArrangeOn(const QRect& area, int code, int deck);

    // The decoration around a window, measured on a decorated window of ours;
    // none before one is shown (and none without a window manager).
    QMargins FrameMargins() const;

private:
    void CheckFrame();

    QWidget* mainWindow_;
    Lookup lookup_;
    Shown shown_;
    std::vector<QPointer<QWidget>> placed_;
    QMargins used_;
    QRect lastArea_;
    int lastCode_ = 0;
    int lastDeck_ = 0;
    int checksLeft_ = 0;
    bool placingAgain_ = false;
    QTimer frameCheck_;
};
