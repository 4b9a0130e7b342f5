#pragma once

// Running the Qt event loop from a benchmark that drives the whole program.

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>

namespace {

// Runs the event loop until `done` holds or `limit` passes, looking every
// `poll`; whether it held.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                     std::chrono::milliseconds poll = std::chrono::milliseconds(20)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QEventLoop loop;
        QTimer::singleShot(poll, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs the event loop for a while, waking for nothing of its own.
inline void RunFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace
