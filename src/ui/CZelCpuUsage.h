#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

// The processor load in percent, from the kernel's time accounting in
// /proc/stat: the share of the interval since the previous reading that the
// processors did not spend idle. One meter for the whole process; the main
// window reads it on its timer. User-interface thread only.
class CZelCpuUsage {
public:
    // The counters of the line for all processors together, in clock ticks.
    struct Times {
        uint64_t idle = 0;   // idle and waiting for input or output
        uint64_t total = 0;  // every kind of time, idle included
    };

    // From the text of /proc/stat; none when the line for all processors is missing or malformed.
    static std::optional<Times> ParseTimes(std::string_view procStat);
    // The number of processors that have a line of their own ("cpu0", "cpu1", ...).
    static int ProcessorCount(std::string_view procStat);
    // The reading shown on the button: "37 %" for 37.8.
    static QString Caption(double usage);

    // Reads /proc/stat; 0 when it cannot be read.
    double Read();
    // One reading from given counters, 0 to 100. The first reading only sets
    // the starting point and gives 0; so does a failed one, which also leaves
    // the starting point where it was.
    double Reading(std::string_view procStat, int processors);
    double Reading(const Times& times, int processors);

private:
    std::optional<Times> last_;
    double lastUsage_ = 0.0;
};
