#pragma once
// Starting the threads of a merge. Private to the engine.

#include <functional>
#include <thread>

// Starts `body` on a new thread that begins on a processor other than the caller's, where the
// process may use another, and may then run anywhere the caller may. Linux first queues a new
// thread on its creator's processor and moves it only at a later balancing tick (4 ms on this
// kind of machine): until then the two take turns on one processor while another idles, a few
// per cent of a merge that lasts a fraction of a second. Throws as std::thread does.
std::thread QVStartThreadElsewhere(std::function<void()> body);
