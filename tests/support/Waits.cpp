#include "support/Waits.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/Event.h"
#include "platform/MessagePort.h"

namespace testing_support {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds giveUp) {
    const auto giveUpAt = std::chrono::steady_clock::now() + giveUp;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUpAt) return false;
        platform::MessagePort::DrainThisThread();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::yield();
    }
    return true;
}

void ExpectReturns(const std::function<void()>& work, std::chrono::milliseconds giveUp) {
    // The call runs here, on the thread the program calls it from (it may
    // serve the window's messages while it waits); a watchdog ends the
    // program should it never return, as nothing can stop a hung call.
    platform::Event returned(platform::Event::Reset::Manual, false);
    std::thread watchdog([&] {
        if (returned.WaitFor(giveUp)) return;
        std::fprintf(stderr, "A call under test did not return; the program ends here.\n");
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    });
    work();
    returned.Set();
    watchdog.join();
}

pid_t ThisThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool WaitUntilSleepingInFutex(pid_t thread, std::chrono::milliseconds giveUp) {
    const auto giveUpAt = std::chrono::steady_clock::now() + giveUp;
    // The number of the system call the thread is blocked in, as the kernel tells.
    const auto blockedIn = [path = "/proc/self/task/" + std::to_string(thread) + "/syscall"] {
        long number = -1;
        std::ifstream(path) >> number;
        return number;
    };
    while (blockedIn() != SYS_futex) {
        if (std::chrono::steady_clock::now() > giveUpAt) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace testing_support
