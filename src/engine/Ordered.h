#pragma once
// Work on several threads whose results are taken in order: the records of a merge are built
// in parallel, but each is handed on (its file named, counted, reported) only after every
// record before it, so that a run stops exactly where a run on one thread would have stopped.
// Private to the engine.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/Threads.h"
#include "platform/Error.h"

// What the caller's thread does besides handing records on in order.
enum class QVCallerRole {
    // Only hands on: right when handing on is heavy work of its own (the combined file).
    HandsOn,
    // Builds records too whenever the next one is not ready, so that `threads` + 1 threads
    // build: right when handing on is light (naming a file), where a caller that only waited
    // would cost a thread's share of the cores and a wake-up per record.
    BuildsToo,
};

// Calls `produce(r, error)` for r = first … last on `threads` threads of its own (and on the
// caller's with QVCallerRole::BuildsToo), and `consume(r, item, error)` on the caller's thread
// for r = first, first + 1, … in order. A record whose `produce` gives nothing, or whose
// `consume` answers false, ends the run: its message goes to `error`, no later record is
// consumed, and results already built for later records are dropped. At most `window` records
// are built ahead of the one being consumed. Answers true when every record was consumed. All
// threads have ended when it returns. With no thread of its own (none asked for, or none could
// be started) the caller builds every record itself.
//
// `stop`, when given and raised, ends the run before the next record is consumed: threads
// claim no more records, results built but not consumed are dropped, `*stopped` is set and
// the answer is false without a message. A record being consumed is always consumed whole.
template <typename T>
[[nodiscard]] bool QVProduceInOrder(uint64_t first, uint64_t last, unsigned threads, QVCallerRole role, size_t window,
                                    const std::function<std::optional<T>(uint64_t, QVError*)>& produce,
                                    const std::function<bool(uint64_t, T&, QVError*)>& consume, QVError* error,
                                    const std::atomic<bool>* stop = nullptr, bool* stopped = nullptr) {
    struct Slot {
        uint64_t record = 0;  // 0: empty
        std::optional<T> item;
        QVError error;
    };
    window = std::max<size_t>(window, 1);
    std::vector<Slot> slots(window);
    std::mutex lock;
    std::condition_variable built, taken;
    uint64_t next = first;      // the next record to claim
    uint64_t consumed = first;  // the next record to consume
    uint64_t limit = last;      // no record beyond this one is needed any more
    bool stopping = false;
    bool consumerWaits = false;  // whether a built record must wake the caller
    unsigned workersWaiting = 0;
    auto stopRaised = [stop] { return stop && stop->load(std::memory_order_relaxed); };
    // Both with `lock` held: whether a record may be claimed now, and the claim itself. A stop
    // ends claiming; the consumer learns it from the limit.
    auto claimable = [&] { return next <= limit && next < consumed + window; };
    auto claim = [&]() -> std::optional<uint64_t> {
        if (stopRaised()) {
            limit = std::min(limit, next - 1);
            return std::nullopt;
        }
        return next++;
    };
    // Builds record r without the lock and puts it into its slot with it.
    auto build = [&](std::unique_lock<std::mutex>& hold, uint64_t r) {
        hold.unlock();
        QVError failure;
        std::optional<T> item = produce(r, &failure);
        hold.lock();
        // A failure makes every later record pointless; those claimed already still finish.
        if (!item) limit = std::min(limit, r);
        Slot& slot = slots[r % window];
        slot.record = r;
        slot.item = std::move(item);
        slot.error = std::move(failure);
    };

    auto work = [&] {
        std::unique_lock<std::mutex> hold(lock);
        while (true) {
            if (!stopping && !claimable() && next <= limit) {
                ++workersWaiting;
                taken.wait(hold, [&] { return stopping || next > limit || claimable(); });
                --workersWaiting;
            }
            if (stopping || next > limit) break;
            std::optional<uint64_t> r = claim();
            if (!r) break;
            build(hold, *r);
            if (consumerWaits) built.notify_one();
        }
        // The consumer may be waiting for a record that no one will build now.
        if (consumerWaits) built.notify_one();
    };

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        try {
            workers.push_back(QVStartThreadElsewhere(work));
        } catch (...) {
            break;  // fewer threads than asked for still do the work
        }
    }
    const bool callerBuilds = role == QVCallerRole::BuildsToo || workers.empty();

    bool ok = true;
    bool interrupted = false;
    for (uint64_t r = first; r <= last && ok; ++r) {
        Slot taking;
        {
            std::unique_lock<std::mutex> hold(lock);
            Slot& slot = slots[r % window];
            // Until record r is built: build one ahead when that is allowed, wait otherwise. A
            // record beyond the limit is only ever left unclaimed by a stop.
            while (slot.record != r && r <= limit) {
                if (callerBuilds && claimable()) {
                    if (std::optional<uint64_t> mine = claim()) build(hold, *mine);
                    continue;
                }
                consumerWaits = true;
                built.wait(hold);
                consumerWaits = false;
            }
            if (slot.record != r) {
                interrupted = true;
                break;
            }
            taking = std::move(slot);
            slot = Slot{};
            consumed = r + 1;
            if (workersWaiting) taken.notify_all();
        }
        if (stopRaised()) {
            interrupted = true;
            break;
        }
        if (!taking.item) {
            if (error) *error = std::move(taking.error);
            ok = false;
        } else if (!consume(r, *taking.item, error)) {
            ok = false;
        }
    }

    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
    }
    taken.notify_all();
    for (std::thread& worker : workers) worker.join();
    if (interrupted && stopped) *stopped = true;
    return ok && !interrupted;
}
