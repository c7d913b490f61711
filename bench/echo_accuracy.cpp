// How well the echo benchmark measures, and what one binding call costs.
//
// 1. Echo accuracy: DynBenchmark runs against the stand-in reader library set
//    to sleep a known time per exchange; per size the configured delay, the
//    average DynBenchmark reports (system clock) and their difference.
// 2. Call cost: DynDisconnect and DynFindCard against the same exports called
//    directly through pointers obtained with dlsym, in ns per call.
//
//   echo_accuracy [--runs N] [--calls N] [--standin <folder of libnorvane.so>]
#include "bench_timing.h"
#include "norvsim_control.h"
#include "uQarnDyn.h"
#include "uQarnDynPlatform.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using qarnbench::Clock;
using qarnbench::Median;
using qarnbench::TimePerCall;

struct Options {
    int runs = 5;
    long calls = 100000;
    std::string standIn = QARN_STANDIN_DIR "/default";
};

bool ParseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue) {
            options.runs = std::atoi(argv[++i]);
        } else if (arg == "--calls" && hasValue) {
            options.calls = std::atol(argv[++i]);
        } else if (arg == "--standin" && hasValue) {
            options.standIn = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--calls N] [--standin FOLDER]\n", argv[0]);
            return false;
        }
    }
    if (options.runs < 1 || options.calls < 1) {
        std::fprintf(stderr, "--runs and --calls must be at least 1\n");
        return false;
    }
    return true;
}

// The stand-in instance that the binding loaded: the same file opened again
// with RTLD_NOLOAD is the same instance.  The handle is kept for the whole run.
struct StandIn {
    void *handle = nullptr;
    norvsim_load_scenario_json_fn load = nullptr;
    norvsim_last_error_fn lastError = nullptr;
    norvsim_clear_log_fn clearLog = nullptr;

    bool Open(const std::string &folder)
    {
        const std::string path = folder + "/libnorvane.so";
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle) {
            std::fprintf(stderr, "the binding did not load %s\n", path.c_str());
            return false;
        }
        load = reinterpret_cast<norvsim_load_scenario_json_fn>(
            ::dlsym(handle, "norvsim_load_scenario_json"));
        lastError = reinterpret_cast<norvsim_last_error_fn>(::dlsym(handle, "norvsim_last_error"));
        clearLog = reinterpret_cast<norvsim_clear_log_fn>(::dlsym(handle, "norvsim_clear_log"));
        if (!load || !lastError || !clearLog) {
            std::fprintf(stderr, "%s lacks the stand-in's control exports\n", path.c_str());
            return false;
        }
        return true;
    }

    bool Scenario(const char *json) const
    {
        if (load(json) == 0)
            return true;
        std::fprintf(stderr, "scenario rejected: %s\n", lastError());
        return false;
    }

    ~StandIn()
    {
        if (handle)
            ::dlclose(handle);
    }
};

// ---- 1. echo accuracy ------------------------------------------------------

bool EchoAccuracy(const StandIn &standIn, int runs)
{
    const unsigned sizes[3] = {128, 256, 768};
    const unsigned delays[3] = {2, 5, 11};
    if (!standIn.Scenario(R"({"echo_delay_ms":{"128":2,"256":5,"768":11}})"))
        return false;

    std::printf("Echo accuracy: DynBenchmark, system clock, %d run(s) of 1 + 3 x 25 exchanges\n",
                runs);
    std::vector<TEchoAverage> results[3];
    std::vector<double> wallMs;
    for (int run = 0; run < runs; ++run) {
        TEchoAverage averages[3];
        const Clock::time_point start = Clock::now();
        const TQarnStatus status = DynBenchmark(averages[0], averages[1], averages[2]);
        wallMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (status != QARN_OK) {
            std::fprintf(stderr, "DynBenchmark returned %d\n", int(status));
            return false;
        }
        for (int i = 0; i < 3; ++i)
            results[i].push_back(averages[i]);
    }

    std::printf("  %-6s %12s  %-22s %10s %18s\n", "size", "configured", "measured per run (ms)",
                "mean (ms)", "mean - configured");
    for (int i = 0; i < 3; ++i) {
        std::string perRun;
        double sum = 0;
        for (const TEchoAverage &average : results[i]) {
            if (!average.measured) {
                std::fprintf(stderr, "size %u was not measured\n", sizes[i]);
                return false;
            }
            perRun += (perRun.empty() ? "" : " ") + std::to_string(average.milliseconds);
            sum += average.milliseconds;
        }
        const double mean = sum / runs;
        std::printf("  %-6u %9u ms  %-22s %10.2f %15.2f ms\n", sizes[i], delays[i],
                    perRun.c_str(), mean, mean - delays[i]);
    }
    double wallSum = 0;
    for (double ms : wallMs)
        wallSum += ms;
    const double configured = 25.0 * (2 + 5 + 11);
    std::printf("  whole run (steady clock): %.1f ms on average for %.1f ms of configured delays,"
                " %.3f ms more per exchange\n\n",
                wallSum / runs, configured, (wallSum / runs - configured) / 75.0);
    return true;
}

// ---- 2. call cost ----------------------------------------------------------

// The binding and the direct calls in alternating rounds, each round from an
// empty call log, so that neither side pays alone for the log's growth or
// for a cold cache; the median round of each side is reported.
template <typename B, typename D>
void Compare(const StandIn &standIn, const char *what, long calls, B &&binding, D &&direct)
{
    constexpr int kRounds = 7;
    std::vector<double> bindingNs, directNs;
    standIn.clearLog();
    TimePerCall<std::nano>(std::min(calls, 10000L), binding); // warm-up
    TimePerCall<std::nano>(std::min(calls, 10000L), direct);
    for (int round = 0; round < kRounds; ++round) {
        standIn.clearLog();
        bindingNs.push_back(TimePerCall<std::nano>(calls, binding));
        standIn.clearLog();
        directNs.push_back(TimePerCall<std::nano>(calls, direct));
    }
    standIn.clearLog();
    const double b = Median(bindingNs), d = Median(directNs);
    std::printf("  %-44s %10.1f %10.1f %8.2f\n", what, b, d, b / d);
}

bool CallCost(const StandIn &standIn, long calls)
{
    using ControlRF = int16_t (*)(uint8_t);
    using ReaderClose = int16_t (*)();
    using Find = int16_t (*)(uint16_t, uint16_t *, uint8_t *, uint8_t *);
    const auto controlRF = reinterpret_cast<ControlRF>(::dlsym(standIn.handle, "NORV_ControlRF"));
    const auto readerClose = reinterpret_cast<ReaderClose>(::dlsym(standIn.handle, "NORV_ReaderClose"));
    const auto find = reinterpret_cast<Find>(::dlsym(standIn.handle, "NORV_Find"));
    if (!controlRF || !readerClose || !find) {
        std::fprintf(stderr, "the stand-in lacks NORV_ControlRF, NORV_ReaderClose or NORV_Find\n");
        return false;
    }
    // One card always present, found on every call; no sleeps anywhere.
    if (!standIn.Scenario(R"({"echo_delay_ms":{"128":0,"256":0,"768":0},)"
                          R"("find_results":[{"status":0,"type":1,"uid":"04A2197F3C5E80"}]})"))
        return false;

    std::printf("Call cost: ns per call, median of 7 alternating rounds of %ld calls\n"
                "(the stand-in logs every call on both sides)\n",
                calls);
    std::printf("  %-44s %10s %10s %8s\n", "", "binding", "direct", "ratio");

    Compare(
        standIn, "DynDisconnect / ControlRF(0) + ReaderClose()", calls, [] { DynDisconnect(); },
        [&] {
            controlRF(0);
            readerClose();
        });

    std::string uid, typeName;
    TQarnStatus bindingStatus = QARN_OK;
    int16_t directStatus = 0;
    Compare(
        standIn, "DynFindCard / Find + ControlRF(0)", calls,
        [&] { bindingStatus = DynFindCard(uid, typeName); },
        [&] {
            uint16_t type = 0;
            uint8_t bytes[12] = {};
            uint8_t length = 12;
            directStatus = find(0xFFFF, &type, bytes, &length);
            controlRF(0);
        });
    if (bindingStatus != QARN_OK || uid != "04A2197F3C5E80" || directStatus != 0) {
        std::fprintf(stderr, "DynFindCard returned %d (uid %s), NORV_Find %d\n", int(bindingStatus),
                     uid.c_str(), int(directStatus));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;

    qarn::platform::SetProgramFolderOverride(options.standIn);
    DynStartHook();
    std::string version, path;
    if (DynGetLibraryInfo(version, path) != QARN_OK) {
        std::fprintf(stderr, "no reader library in %s\n", options.standIn.c_str());
        return 1;
    }
    std::printf("Reader library: %s (%s)\n\n", path.c_str(), version.c_str());

    bool ok = false;
    {
        StandIn standIn;
        ok = standIn.Open(options.standIn) && EchoAccuracy(standIn, options.runs) &&
             CallCost(standIn, options.calls);
    }
    DynUnloadLibrary();
    return ok ? 0 : 1;
}
