#include "engine/Threads.h"

#include <pthread.h>
#include <sched.h>

#include <latch>
#include <memory>

std::thread QVStartThreadElsewhere(std::function<void()> body) {
    cpu_set_t allowed, others;
    CPU_ZERO(&allowed);
    CPU_ZERO(&others);
    const int here = sched_getcpu();
    bool elsewhere = here >= 0 && here < CPU_SETSIZE && sched_getaffinity(0, sizeof allowed, &allowed) == 0;
    if (elsewhere) {
        others = allowed;
        CPU_CLR(here, &others);
        elsewhere = CPU_COUNT(&others) > 0;
    }
    if (!elsewhere) return std::thread(std::move(body));

    // The thread may use the caller's processors again only once it has been moved: a thread
    // that widened its set first would be narrowed for good.
    auto moved = std::make_shared<std::latch>(1);
    std::thread thread([moved, allowed, body = std::move(body)] {
        moved->wait();
        pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
        body();
    });
    // Moving a thread that has not run yet places it on one of the others at once. Should the
    // system refuse, it simply starts where it was queued.
    pthread_setaffinity_np(thread.native_handle(), sizeof others, &others);
    moved->count_down();
    return thread;
}
