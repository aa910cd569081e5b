// Waiting for an event instead of sleeping for a fixed time.
//
// A test that must see something happen waits until it has happened; a test
// that must see something not happen waits for a later event that could only
// come after it (a second request answered, a later message received) and
// then looks.
#pragma once

#include <chrono>
#include <thread>

namespace test {

// Polls `condition` every `every` until it holds or `limit` has passed;
// the last answer of the condition.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20),
               std::chrono::milliseconds every = std::chrono::milliseconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return condition();
        std::this_thread::sleep_for(every);
    }
}

} // namespace test
