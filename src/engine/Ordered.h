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

#include "platform/Error.h"

// Calls `produce(r, error)` for r = first … last on `threads` threads of its own, and
// `consume(r, item, error)` on the caller's thread for r = first, first + 1, … in order. A
// record whose `produce` gives nothing, or whose `consume` answers false, ends the run: its
// message goes to `error`, no later record is consumed, and results already built for later
// records are dropped. At most `window` records are built ahead of the one being consumed.
// Answers true when every record was consumed. All threads have ended when it returns.
//
// `stop`, when given and raised, ends the run before the next record is consumed: threads
// claim no more records, results built but not consumed are dropped, `*stopped` is set and
// the answer is false without a message. A record being consumed is always consumed whole.
template <typename T>
[[nodiscard]] bool QVProduceInOrder(uint64_t first, uint64_t last, unsigned threads, size_t window,
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
    auto stopRaised = [stop] { return stop && stop->load(std::memory_order_relaxed); };

    auto work = [&] {
        std::unique_lock<std::mutex> hold(lock);
        while (true) {
            taken.wait(hold, [&] { return stopping || next > limit || next < consumed + window; });
            if (stopping || next > limit) return;
            if (stopRaised()) {
                // Nothing from here on is claimed; the consumer learns it from the limit.
                limit = std::min(limit, next - 1);
                built.notify_all();
                return;
            }
            const uint64_t r = next++;
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
            built.notify_all();
        }
    };

    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        try {
            workers.emplace_back(work);
        } catch (...) {
            break;  // fewer threads than asked for still do the work
        }
    }

    bool ok = true;
    bool interrupted = false;
    for (uint64_t r = first; r <= last && ok; ++r) {
        Slot taking;
        if (workers.empty()) {
            // No thread could be started: build here, one record at a time.
            if (stopRaised()) {
                interrupted = true;
                break;
            }
            taking.item = produce(r, &taking.error);
        } else {
            std::unique_lock<std::mutex> hold(lock);
            Slot& slot = slots[r % window];
            // A record beyond the limit is only ever left unclaimed by a stop.
            built.wait(hold, [&] { return slot.record == r || r > limit; });
            if (slot.record != r) {
                interrupted = true;
                break;
            }
            taking = std::move(slot);
            slot = Slot{};
            consumed = r + 1;
            taken.notify_all();
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
