// Linux (and any POSIX system): getenv, steady_clock, sleep_for, std::mutex.
#include "norvsim_platform.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace norvsim::platform {

std::string Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

uint64_t MonotonicMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void SleepMs(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

Mutex::Mutex() : mState(new std::mutex) {}
Mutex::~Mutex() { delete static_cast<std::mutex *>(mState); }
void Mutex::lock() { static_cast<std::mutex *>(mState)->lock(); }
void Mutex::unlock() { static_cast<std::mutex *>(mState)->unlock(); }

} // namespace norvsim::platform
