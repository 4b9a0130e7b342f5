#include "support/PulseServer.h"

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace testing_support {

bool RunTool(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output) *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool Eventually(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > limitMs) return false;
        QThread::msleep(20);
    }
    return true;
}

bool PulseServer::Start(const QStringList& modules) {
    for (const char* tool : {"pulseaudio", "pactl", "parec"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            skipReason_ = std::string(tool) + " is not installed (scripts/setup installs it)";
            return false;
        }
    }
    runtime_ = std::make_unique<QTemporaryDir>();
    savedRuntimePath_ = qgetenv("PULSE_RUNTIME_PATH");
    qputenv("PULSE_RUNTIME_PATH", runtime_->path().toUtf8());
    QStringList arguments = QString(
                                "-n --daemonize=yes --exit-idle-time=-1 --disable-shm=yes "
                                "--enable-memfd=no -L module-native-protocol-unix")
                                .split(' ');
    for (const QString& module : modules) arguments << "-L" << module;
    RunTool("pulseaudio", arguments);
    running_ = Eventually([] { return RunTool("pactl", {"info"}); }, 5000);
    return running_;
}

void PulseServer::Stop() {
    if (running_) {
        RunTool("pactl", {"exit"});
        Eventually([] { return !RunTool("pactl", {"info"}); }, 2000);
        QFile pidFile(runtime_->path() + "/pid");
        if (RunTool("pactl", {"info"}) && pidFile.open(QIODevice::ReadOnly))
            ::kill(static_cast<pid_t>(pidFile.readAll().trimmed().toInt()), SIGTERM);
        running_ = false;
    }
    if (!runtime_) return;
    savedRuntimePath_.isNull() ? qunsetenv("PULSE_RUNTIME_PATH")
                               : qputenv("PULSE_RUNTIME_PATH", savedRuntimePath_);
    runtime_.reset();
}

}  // namespace testing_support
