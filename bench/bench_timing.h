// Timing helpers shared by the benchmark programs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace qarnbench {

using Clock = std::chrono::steady_clock;

// Mean time of one call over calls calls, in the unit of Period
// (std::nano, std::micro, ...).
template <typename Period, typename F> double TimePerCall(long calls, F &&call)
{
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < calls; ++i)
        call();
    return std::chrono::duration<double, Period>(Clock::now() - start).count() / double(calls);
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace qarnbench
