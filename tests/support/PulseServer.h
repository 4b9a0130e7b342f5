#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

namespace testing_support {

// Runs a program to its end (5 s at most). True when it exited with 0.
bool RunTool(const QString& program, const QStringList& arguments, QString* output = nullptr);

// Polls until done, handling no events; the limit only turns a hang into a failure.
bool Eventually(const std::function<bool()>& done, int limitMs = 15'000);

// A PulseAudio server of the tests' own, in a runtime folder of its own, so a
// server already on this machine is left alone. Stopped when it goes, if not before.
class PulseServer {
public:
    // `modules` are extra "-L" arguments. False with SkipReason() set when
    // PulseAudio is not installed; false without it when it did not start.
    bool Start(const QStringList& modules = {});
    void Stop();
    ~PulseServer() { Stop(); }
    bool Running() const { return running_; }
    const std::string& SkipReason() const { return skipReason_; }

private:
    std::string skipReason_;
    bool running_ = false;
    std::unique_ptr<QTemporaryDir> runtime_;
    QByteArray savedRuntimePath_;
};

}  // namespace testing_support
