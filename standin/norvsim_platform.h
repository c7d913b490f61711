// What the stand-in asks of the operating system: the environment, a
// monotonic clock, a pause and a lock.  norvsim_platformLinux.cpp and
// norvsim_platformWin.cpp implement it; the build takes the one for its
// system.
#pragma once

#include <cstdint>
#include <string>

namespace norvsim::platform {

// The variable's value; empty when it is unset.
std::string Environment(const char *name);

// Milliseconds of a clock that never goes back.
uint64_t MonotonicMs();

void SleepMs(uint32_t milliseconds);

// A plain lock for std::lock_guard.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;
    void lock();
    void unlock();

private:
    void *mState = nullptr;
};

} // namespace norvsim::platform
