#pragma once
// Measuring that hostile input stays within time and memory: a stopwatch, the process's peak
// resident size, and running a piece of work in a child process under hard resource limits.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace qvhostile {

constexpr rlim_t kMiB = 1 << 20;

class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

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

// How a piece of work run under limits ended.
struct Bounded {
    bool exited = false;  // returned normally, with `code`
    int code = -1;
    int signal = 0;  // the signal that ended it: SIGXCPU/SIGKILL for CPU time, SIGALRM for a hang
    bool withinBounds() const { return exited && code == 0; }
};

// The address space this process has mapped now, in bytes.
inline rlim_t mappedBytes() {
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// The sanitizers reserve terabytes of address space up front, so there only CPU time is limited.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kCanLimitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kCanLimitAddressSpace = false;
#else
inline constexpr bool kCanLimitAddressSpace = true;
#endif
#else
inline constexpr bool kCanLimitAddressSpace = true;
#endif

// Runs `work` in a child process that may map at most `extraBytes` beyond what this process maps
// now and use at most `cpuSeconds` of processor time; a watchdog ends a child that waits without
// using the processor. `work` answers 0 when what it found is right; an allocation beyond the
// limit fails inside the child as it would on a full machine.
inline Bounded runBounded(const std::function<int()>& work, rlim_t extraBytes, rlim_t cpuSeconds = 60) {
    std::fflush(nullptr);
    const rlim_t base = mappedBytes();
    pid_t child = fork();
    if (child == 0) {
        rlimit cpu{cpuSeconds, cpuSeconds + 5};
        setrlimit(RLIMIT_CPU, &cpu);
        if (kCanLimitAddressSpace) {
            rlimit as{base + extraBytes, base + extraBytes};
            setrlimit(RLIMIT_AS, &as);
        }
        alarm(static_cast<unsigned>(cpuSeconds * 4));
        int code = work();
        std::fflush(nullptr);
        _exit(code);
    }
    Bounded result;
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return result;
    result.exited = WIFEXITED(status);
    result.code = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

}  // namespace qvhostile
