#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// Turns SIGINT and SIGTERM into a Qt signal on the user-interface thread, so
// that the program closes its main window and ends cleanly (threads stopped,
// files closed) when a terminal or the session asks it to.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Catches the signals from the first moment of the process on; one that
    // arrives before the window exists is delivered once it does.
    static void InstallEarly();

    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void Terminated();

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace platform
