#pragma once
// Measuring that hostile input stays within time and memory: a stopwatch and the process's
// peak resident size.

#include <sys/resource.h>

#include <chrono>

namespace qvhostile {

class Stopwatch {
public:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The peak resident size of this process so far, in MiB.
inline long peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Generous enough for a debug build under the sanitizers on a busy machine; what these limits
// catch is a hang or an explosion, not a slow path.
inline constexpr double kSecondsLimit = 60;

}  // namespace qvhostile
