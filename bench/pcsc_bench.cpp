// The PC/SC reader library measured against the virtual card it talks to.
//
// 1. Echo: DynBenchmark through the library, against the echo delay the
//    card is set to (per command; a 256-byte echo takes two commands, a
//    768-byte one four, so the configured time of one echo is that many
//    delays).
// 2. Poll cost: one poll through the library (NORV_Find + NORV_ControlRF(0),
//    and DynFindCard) against the same PC/SC calls made directly (connect,
//    status, GET DATA, disconnect), in microseconds per poll.
// 3. Port list after a USB event: the time NORV_GetCommListA takes when
//    pcscd's list is unchanged, after a USB device that is no reader came
//    (a keyboard's interface, class 0x03) and after one that can be a reader
//    came or went (class 0x0B), in a USB devices folder of this program
//    (NORVANE_PCSC_USB_DEVICES); and with no USB devices folder at all.
//
//   bench_pcsc --library-folder DIR --echo-delay MS [--runs N] [--polls N]
// The pcscd to talk to is named by PCSCLITE_CSOCK_NAME; a card must be on
// its first reader.
#include "NorvaneApi.h"
#include "bench_timing.h"
#include "norvpcsc_card.h"
#include "uQarnDyn.h"
#include "uQarnDynPlatform.h"

#include <winscard.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using qarnbench::Clock;
using qarnbench::Median;
using qarnbench::TimePerCall;

struct Options {
    std::string folder;
    double echoDelayMs = -1;
    int runs = 3;
    long polls = 300;
};

bool ParseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--library-folder")
            options.folder = argv[i + 1];
        else if (arg == "--echo-delay")
            options.echoDelayMs = std::atof(argv[i + 1]);
        else if (arg == "--runs")
            options.runs = std::atoi(argv[i + 1]);
        else if (arg == "--polls")
            options.polls = std::atol(argv[i + 1]);
        else
            return false;
    }
    return argc % 2 == 1 && !options.folder.empty() && options.echoDelayMs >= 0 &&
           options.runs > 0 && options.polls > 0;
}

// ---- 1. echo -------------------------------------------------------------------

bool Echo(const Options &options)
{
    const unsigned sizes[3] = {128, 256, 768};
    std::vector<double> measured[3];
    double wallMs = 0;
    for (int run = 0; run < options.runs; ++run) {
        TEchoAverage averages[3];
        const Clock::time_point start = Clock::now();
        const TQarnStatus status = DynBenchmark(averages[0], averages[1], averages[2]);
        wallMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (status != QARN_OK) {
            std::string text;
            DynGetErrorMessage(status, text);
            std::fprintf(stderr, "DynBenchmark returned %d: %s\n", int(status), text.c_str());
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            if (!averages[i].measured) {
                std::fprintf(stderr, "the %u-byte echo was not measured\n", sizes[i]);
                return false;
            }
            measured[i].push_back(averages[i].milliseconds);
        }
    }

    std::printf("Echo through the PC/SC library: DynBenchmark, %d run(s) of 1 + 3 x 25 echoes,\n"
                "card delay %.1f ms per command\n",
                options.runs, options.echoDelayMs);
    std::printf("  %-6s %9s %13s  %-20s %10s %18s\n", "size", "commands", "configured",
                "measured per run (ms)", "mean (ms)", "mean - configured");
    double configuredRun = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t commands = norvpcsc::EchoChunkSizes(sizes[i]).size();
        const double configured = double(commands) * options.echoDelayMs;
        configuredRun += 25 * configured;
        std::string perRun;
        double sum = 0;
        for (double ms : measured[i]) {
            perRun += (perRun.empty() ? "" : " ") + std::to_string(int(ms));
            sum += ms;
        }
        const double mean = sum / double(measured[i].size());
        std::printf("  %-6u %9zu %10.1f ms  %-20s %10.2f %15.2f ms\n", sizes[i], commands,
                    configured, perRun.c_str(), mean, mean - configured);
    }
    const double perRunMs = wallMs / options.runs;
    std::printf("  whole run (steady clock): %.1f ms on average for %.1f ms of configured delays,"
                " %.3f ms more per command\n\n",
                perRunMs, configuredRun, (perRunMs - configuredRun) / (25.0 * (1 + 2 + 4)));
    return true;
}

// ---- 2. poll cost ------------------------------------------------------------------

// The calls one poll makes, straight to pcsc-lite.
struct DirectPoll {
    SCARDCONTEXT context = 0;
    std::string reader;
    bool ok = true;

    bool Open()
    {
        if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
            return false;
        char names[1024];
        DWORD size = sizeof names;
        if (SCardListReaders(context, nullptr, names, &size) != SCARD_S_SUCCESS)
            return false;
        reader = names;
        return true;
    }
    void Poll()
    {
        SCARDHANDLE card = 0;
        DWORD protocol = 0;
        if (SCardConnect(context, reader.c_str(), SCARD_SHARE_SHARED,
                         SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol) != SCARD_S_SUCCESS) {
            ok = false;
            return;
        }
        uint8_t atr[MAX_ATR_SIZE];
        DWORD atrLength = sizeof atr, state = 0, active = 0;
        ok &= SCardStatus(card, nullptr, nullptr, &state, &active, atr, &atrLength) == SCARD_S_SUCCESS;
        uint8_t answer[258];
        DWORD answerLength = sizeof answer;
        ok &= SCardTransmit(card, protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0,
                            norvpcsc::kGetUidCommand, sizeof norvpcsc::kGetUidCommand, nullptr,
                            answer, &answerLength) == SCARD_S_SUCCESS;
        ok &= SCardDisconnect(card, SCARD_LEAVE_CARD) == SCARD_S_SUCCESS;
    }
    ~DirectPoll()
    {
        if (context)
            SCardReleaseContext(context);
    }
};

bool PollCost(const Options &options, void *library)
{
    const auto find = reinterpret_cast<norv::tFind>(::dlsym(library, "NORV_Find"));
    const auto controlRF = reinterpret_cast<norv::tControlRF>(::dlsym(library, "NORV_ControlRF"));
    DirectPoll direct;
    if (!find || !controlRF || !direct.Open()) {
        std::fprintf(stderr, "no NORV_Find / NORV_ControlRF, or no reader for the direct calls\n");
        return false;
    }
    int16_t libraryStatus = 0;
    TQarnStatus bindingStatus = QARN_OK;
    std::string uid, typeName;
    auto throughLibrary = [&] {
        uint16_t type = 0;
        uint8_t bytes[12];
        uint8_t length = 12;
        libraryStatus = int16_t(libraryStatus | find(0xFFFF, &type, bytes, &length));
        controlRF(0);
    };
    auto throughBinding = [&] { bindingStatus = TQarnStatus(bindingStatus | DynFindCard(uid, typeName)); };
    auto directly = [&] { direct.Poll(); };

    constexpr int kRounds = 7;
    const long warmUp = std::min(options.polls, 200L);
    TimePerCall<std::micro>(warmUp, throughLibrary);
    TimePerCall<std::micro>(warmUp, directly);
    std::vector<double> viaLibrary, binding, plain;
    for (int round = 0; round < kRounds; ++round) {
        viaLibrary.push_back(TimePerCall<std::micro>(options.polls, throughLibrary));
        binding.push_back(TimePerCall<std::micro>(options.polls, throughBinding));
        plain.push_back(TimePerCall<std::micro>(options.polls, directly));
    }
    if (libraryStatus != 0 || bindingStatus != QARN_OK || !direct.ok) {
        std::fprintf(stderr, "a poll failed: NORV_Find %d, DynFindCard %d, direct %s\n",
                     int(libraryStatus), int(bindingStatus), direct.ok ? "ok" : "failed");
        return false;
    }
    const double d = Median(plain);
    std::printf("Poll cost: us per poll, median of %d alternating rounds of %ld polls,\n"
                "card found on every poll (UID %s)\n",
                kRounds, options.polls, uid.c_str());
    std::printf("  %-62s %10s %8s\n", "", "us/poll", "ratio");
    std::printf("  %-62s %10.1f %8.2f\n", "NORV_Find + NORV_ControlRF(0) through the library",
                Median(viaLibrary), Median(viaLibrary) / d);
    std::printf("  %-62s %10.1f %8.2f\n", "DynFindCard (binding + library)", Median(binding),
                Median(binding) / d);
    std::printf("  %-62s %10.1f %8.2f\n",
                "SCardConnect + SCardStatus + SCardTransmit + SCardDisconnect", d, 1.0);
    return true;
}

// ---- 3. port list after a USB event ----------------------------------------------

bool PortListWait()
{
    char folder[] = "/tmp/qarn-usb-XXXXXX";
    if (!::mkdtemp(folder))
        return false;
    const std::string root = folder;
    ::setenv("NORVANE_PCSC_USB_DEVICES", root.c_str(), 1);
    int plugged = 0;
    std::vector<std::string> made;
    // A USB interface of this class comes (or, with an empty class, the last
    // one made goes).
    auto usbEvent = [&](const char *type) {
        if (!*type) {
            ::unlink((made.back() + "/bInterfaceClass").c_str());
            ::rmdir(made.back().c_str());
            made.pop_back();
            return;
        }
        made.push_back(root + "/1-" + std::to_string(++plugged) + ":1.0");
        ::mkdir(made.back().c_str(), 0755);
        std::ofstream(made.back() + "/bInterfaceClass") << type << "\n";
    };
    std::vector<std::string> lines;
    TQarnStatus status = DynGetCommList(lines); // the list to compare with
    struct Case {
        const char *what, *type;
        std::vector<double> ms;
    } cases[] = {{"a USB device that is no reader came (class 03)", "03", {}},
                 {"a USB device that can be a reader came (class 0B)", "0b", {}},
                 {"a USB device that can be a reader went", "", {}},
                 {"no USB devices folder (the system tells nothing)", nullptr, {}}};
    // The folder gone last: the library cannot tell what changed since.
    constexpr int kRounds = 3;
    for (Case &c : cases) {
        for (int round = 0; round < kRounds; ++round) {
            if (c.type)
                usbEvent(c.type);
            else
                ::setenv("NORVANE_PCSC_USB_DEVICES", (root + "/none").c_str(), 1);
            const Clock::time_point start = Clock::now();
            status = TQarnStatus(status | DynGetCommList(lines));
            c.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    while (!made.empty())
        usbEvent("");
    ::rmdir(root.c_str());
    ::unsetenv("NORVANE_PCSC_USB_DEVICES");
    if (status != QARN_OK) {
        std::fprintf(stderr, "the port list failed: %d\n", int(status));
        return false;
    }
    std::printf("\nPort list after a USB event, pcscd's list unchanged: ms per NORV_GetCommListA,\n"
                "median of %d (the wait's bound: 1500 ms)\n",
                kRounds);
    for (const Case &c : cases)
        std::printf("  %-62s %10.2f\n", c.what, Median(c.ms));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s --library-folder DIR --echo-delay MS [--runs N] [--polls N]\n",
                     argv[0]);
        return 2;
    }
    qarn::platform::SetProgramFolderOverride(options.folder);
    DynStartHook();
    std::string version, path;
    if (DynGetLibraryInfo(version, path) != QARN_OK) {
        std::fprintf(stderr, "no reader library in %s\n", options.folder.c_str());
        return 1;
    }
    std::printf("Reader library: %s (%s)\n", path.c_str(), version.c_str());

    std::string device = "auto", firmware, hwid, snr;
    uint32_t settings = 0, consts = 0, features = 0;
    TQarnStatus status = DynConnect(device, firmware, hwid, snr, settings, consts, features);
    // The card may still be on its way to the reader: wait up to 5 s for it.
    std::string uid, typeName;
    for (int i = 0; status == QARN_OK && i < 50 && (status = DynFindCard(uid, typeName)) == -1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        status = QARN_OK;
    }
    if (status != QARN_OK) {
        std::string text;
        DynGetErrorMessage(status, text);
        std::fprintf(stderr, "no card on the first reader: %d %s\n", int(status), text.c_str());
        DynUnloadLibrary();
        return 1;
    }
    std::printf("Reader: %s, card %s : %s\n\n", device.c_str(), typeName.c_str(), uid.c_str());

    void *library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    const bool ok = library && Echo(options) && PollCost(options, library) && PortListWait();
    if (library)
        ::dlclose(library);
    DynUnloadLibrary();
    return ok ? 0 : 1;
}
