#pragma once

#include <ctime>

// CPU seconds used by the whole process so far: the benchmarks count the
// work of every thread of the engine, not only the one that drives them.
inline double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
