// Windows: GetEnvironmentVariableA (which, unlike the C runtime's copy,
// sees what the program set after it started), QueryPerformanceCounter,
// Sleep and a slim reader/writer lock held in the pointer itself.
#include "norvsim_platform.h"

#include <windows.h>

namespace norvsim::platform {

std::string Environment(const char *name)
{
    std::string value(64, '\0');
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableA(name, &value[0], static_cast<DWORD>(value.size()));
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length); // too small: length is the size needed
    }
}

uint64_t MonotonicMs()
{
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<uint64_t>(counter.QuadPart);
    const auto perSecond = static_cast<uint64_t>(frequency.QuadPart);
    return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

void SleepMs(uint32_t milliseconds) { ::Sleep(milliseconds); }

static_assert(sizeof(SRWLOCK) == sizeof(void *), "the lock lives in the pointer");

Mutex::Mutex() { ::InitializeSRWLock(reinterpret_cast<PSRWLOCK>(&mState)); }
Mutex::~Mutex() = default;
void Mutex::lock() { ::AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&mState)); }
void Mutex::unlock() { ::ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&mState)); }

} // namespace norvsim::platform
