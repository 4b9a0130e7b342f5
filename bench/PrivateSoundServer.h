#pragma once

// A PulseAudio server of the benchmark's own with two null sinks, "main" and
// "phones", reached through ALSA's pulse plugin; and the process's memory.
// Needs pulseaudio, pulseaudio-utils and libasound2-plugins (scripts/setup).

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <fstream>
#include <string>

namespace {

inline bool RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A private PulseAudio server with two null sinks, and an ALSA configuration
// that names them, set before PortAudio reads it.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        qputenv("PULSE_RUNTIME_PATH", runtime_.path().toUtf8());
        const QString config = runtime_.path() + "/asound.conf";
        std::ofstream(config.toStdString()) << "pcm.main { type pulse  device \"main\" }\n"
                                               "pcm.phones { type pulse  device \"phones\" }\n"
                                               "pcm.!default \"main\"\n";
        qputenv("ALSA_CONFIG_PATH", config.toUtf8());
        RunTool("pulseaudio", {"-n", "--daemonize=yes", "--exit-idle-time=-1", "--disable-shm=yes",
                               "--enable-memfd=no", "-L", "module-native-protocol-unix", "-L",
                               "module-null-sink sink_name=main rate=44100 channels=2 norewinds=1", "-L",
                               "module-null-sink sink_name=phones rate=44100 channels=2 norewinds=1"});
        QElapsedTimer waited;
        waited.start();
        while (!(running_ = RunTool("pactl", {"info"})) && waited.elapsed() < 5000) QThread::msleep(20);
    }
    ~PrivateSoundServer() {
        if (running_) RunTool("pactl", {"exit"});
    }
    bool Running() const { return running_; }

private:
    QTemporaryDir runtime_;
    bool running_ = false;
};

inline PrivateSoundServer& Server() {
    static PrivateSoundServer server;
    return server;
}

// A line of /proc/self/status in kilobytes: "VmHWM:" (peak resident), "VmRSS:".
inline long StatusKilobytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return 0;
}

}  // namespace
