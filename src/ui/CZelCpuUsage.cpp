#include "ui/CZelCpuUsage.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>
#include <string>

namespace {

constexpr char kProcStatPath[] = "/proc/stat";
// user, nice, system, idle, iowait, irq, softirq, steal. The guest times that
// may follow are already counted in user and nice.
constexpr int kCountedFields = 8;
constexpr int kIdleField = 3;
constexpr int kIoWaitField = 4;
constexpr int kRequiredFields = kIdleField + 1;

}  // namespace

std::optional<CZelCpuUsage::Times> CZelCpuUsage::ParseTimes(std::string_view procStat) {
    std::istringstream lines{std::string(procStat)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        if (!(fields >> name) || name != "cpu") continue;
        Times times;
        int count = 0;
        uint64_t value = 0;
        while (count < kCountedFields && fields >> value) {
            if (count == kIdleField || count == kIoWaitField) times.idle += value;
            times.total += value;
            ++count;
        }
        if (count < kRequiredFields) return std::nullopt;
        return times;
    }
    return std::nullopt;
}

int CZelCpuUsage::ProcessorCount(std::string_view procStat) {
    int count = 0;
    std::istringstream lines{std::string(procStat)};
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > 3 && line.compare(0, 3, "cpu") == 0 &&
            std::isdigit(static_cast<unsigned char>(line[3]))) {
            ++count;
        }
    }
    return count;
}

QString CZelCpuUsage::Caption(double usage) {
    return QString::number(static_cast<long>(std::trunc(usage))) + QStringLiteral(" %");
}

double CZelCpuUsage::Read() {
    QFile file(QString::fromLatin1(kProcStatPath));
    // A file of the proc file system reports no size: read it to its end.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return 0.0;
    const QByteArray text = file.readAll();
    const std::string_view view(text.constData(), static_cast<size_t>(text.size()));
    return Reading(view, ProcessorCount(view));
}

double CZelCpuUsage::Reading(std::string_view procStat, int processors) {
    const std::optional<Times> times = ParseTimes(procStat);
    return times ? Reading(*times, processors) : 0.0;
}

double CZelCpuUsage::Reading(const Times& times, int processors) {
    if (processors < 1) return 0.0;
    if (!last_) {
        last_ = times;
        return 0.0;
    }
    // The total covers every processor; one processor's share is the elapsed time.
    const double idleDelta = static_cast<double>(times.idle) - static_cast<double>(last_->idle);
    const double timeDelta =
        (static_cast<double>(times.total) - static_cast<double>(last_->total)) / processors;
    last_ = times;
    // Within one clock tick nothing has been counted yet: keep the last reading.
    if (timeDelta <= 0.0) return lastUsage_;
    const double usage = 100.0 - (idleDelta / timeDelta * 100.0) / processors + 0.5;
    lastUsage_ = std::clamp(usage, 0.0, 100.0);
    return lastUsage_;
}
