// The binding on Windows, run under wine by scripts/wine_tests.sh: where the
// reader library is looked for (loadprobe.exe run in a prepared tree with
// its own PATH and working directory), then the binding's calls through the
// stand-in norvane.dll loaded here.  A PASS or FAIL line per row; exit 1 on
// a failure.   wintests.exe BUILDS (the folder of loadprobe.exe and the builds)
#include "uQarnDyn.h"
#include "uQarnDynPlatform.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string gBuilds, gTree;
int gFailures = 0;

void Report(const char *row, const std::string &got, const std::string &expected)
{
    gFailures += got == expected ? 0 : 1;
    std::printf("%s %s\n", got == expected ? "PASS" : "FAIL", row);
    if (got != expected)
        std::printf("  expected: %s\n  got:      %s\n", expected.c_str(), got.c_str());
}

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// A place of the tree, or sys, sys16 and win: the system's folders.
std::string Folder(const std::string &place)
{
    char windows[MAX_PATH] = {};
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    if (place == "sys" || place == "sys16" || place == "win")
        return windows + std::string(place == "sys" ? "\\system32" : place == "sys16" ? "\\System" : "");
    return gTree + "\\" + place;
}

struct LoadRow {
    const char *name;
    const char *copies; // place[=build] ...: the 64-bit stand-in by default
    const char *path;   // the probe's PATH; {T} is the tree
    const char *loaded; // the place whose copy is loaded; "" for none
    const char *reason = nullptr; // why the copy in prog was refused
};

const char kNeedsMissing[] = "a library it needs cannot be found (error 126: Module not found.)";

const LoadRow kLoadRows[] = {
    {"program folder before the system folders and PATH", "prog sys sys16 win path work", "{T}\\path", "prog"},
    {"system folder next", "sys sys16 win path work", "{T}\\path", "sys"},
    {"16-bit system folder next", "sys16 win path work", "{T}\\path", "sys16"},
    {"Windows folder next", "win path work", "{T}\\path", "win"},
    {"PATH's absolute entry", "path work", "{T}\\path", "path"},
    {"quoted PATH entry", "path", "\"{T}\\path\"", "path"},
    {"absolute entry after relative ones", "work work\\rel path", "rel;.;;{T}\\path", "path"},
    {"never the working directory", "work", "{T}\\none", ""},
    {"never a relative PATH entry", "work work\\rel", "rel;.;.\\rel;..\\work", ""},
    {"the first copy is taken, even when it is refused", "prog=text path", "{T}\\path", "",
     "it is not a Windows library (error 193)"},
    {"dependency beside the library", "prog=dependent prog=dependency", "{T}\\none", "prog"},
    {"dependency on PATH", "prog=dependent path=dependency", "{T}\\path", "prog"},
    {"dependency never from the working directory", "prog=dependent work=dependency", "{T}\\none", "", kNeedsMissing},
    {"32-bit library beside the 64-bit program", "prog=x86 path", "{T}\\path", "",
     "it is a 32-bit library, and this program is 64-bit (error 193)"},
    {"dependency missing", "prog=dependent path", "{T}\\path", "", kNeedsMissing},
};

// Lays out the row's copies, runs the probe in prog with the row's PATH from
// work, and compares its lines: status, path, message, and the copy it took.
void RunLoadRow(const LoadRow &row)
{
    std::vector<std::string> placed;
    std::string copy;
    for (std::istringstream copies(row.copies); copies >> copy;) {
        const std::size_t equals = copy.find('=');
        const std::string build = equals == std::string::npos ? "" : copy.substr(equals + 1);
        const std::string name = build == "dependency" ? "\\dependency.dll" : "\\norvane.dll";
        placed.push_back(Folder(copy.substr(0, equals)) + name);
        const std::string from = gBuilds + (build.empty() ? "" : "\\" + build) + name;
        ::CopyFileA(from.c_str(), placed.back().c_str(), FALSE);
    }
    ::SetEnvironmentVariableA("PATH", Replaced(row.path, "{T}", gTree).c_str());
    ::SetCurrentDirectoryA(Folder("work").c_str());
    std::string output;
    if (std::FILE *probe = _popen(("\"" + Folder("prog") + "\\loadprobe.exe\" --record").c_str(), "r")) {
        for (char line[512]; std::fgets(line, sizeof line, probe);)
            output += std::strstr(line, "(not present)") ? "" : line;
        _pclose(probe);
    }
    const std::string taken = *row.loaded ? Folder(row.loaded) + "\\norvane.dll" : "";
    std::string loaded = *row.loaded ? "0\n" + taken + "\nNorvane error 0\nsearch : " + taken + " (loaded)\n"
                                     : "-1000\n\nERROR : norvane.dll not found or can't be loaded. "
                                       "Please run the installation procedure again !\n";
    if (row.reason)
        loaded += "search : " + Folder("prog") + "\\norvane.dll (present, not loaded: " + row.reason + ")\n";
    Report(row.name, Replaced(output, "\n", " | "), Replaced(loaded, "\n", " | "));
    for (const std::string &file : placed)
        ::DeleteFileA(file.c_str());
}

const char *const kSequenceRows[][4] = { // name, scenario, operation, status | outputs | call log
    {"connection on COM3", "{}", "connect COM3", "0 | COM3, Qarn Demo Reader 1.61 (stand-in), 88 20 01 4C 02 , "
     "3A 91 0F 6C , 0047F361 | NORV_ReaderSetDeviceSettings(0x00000000) NORV_ReaderOpenA(\"COM3\") "
     "NORV_ReaderGetDeviceA(256) NORV_ReaderGetFirmwareA(256) NORV_ReaderGetRc500Id() "
     "NORV_ReaderGetDeviceSettings() NORV_ReaderGetConsts() NORV_ReaderGetFeatures() NORV_ControlRF(0) "},
    {"reader not found on a named port", "{}", "connect COM9",
     "-1002 | COM9, , , , 00000000 | NORV_ReaderSetDeviceSettings(0x00000000) NORV_ReaderOpenA(\"COM9\") "},
    {"card found", R"({"find_results":[{"status":0,"type":2,"uid":"0A1B2C3D4E"}]})", "find",
     "0 | 0A1B2C3D4E, ISO/IEC 14443-B | NORV_Find(0xFFFF,12) NORV_ControlRF(0) "},
    {"echo benchmark", R"({"echo_delay_ms":{"128":2,"256":5,"768":11}})", "benchmark", "0 | 2 5 11 | "},
};

// An average from the delay to twice it (and 1 ms) reads as the delay: the
// stand-in sleeps that long, the system may add to it.
std::string Average(const TEchoAverage &average, uint32_t delay)
{
    const uint32_t ms = average.milliseconds;
    return !average.measured ? "-" : std::to_string(ms >= delay && ms <= 2 * delay + 1 ? delay : ms);
}

void *Control(const char *name)
{
    return reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("norvane.dll"), name));
}

void RunSequenceRow(const char *const row[4])
{
    const std::string operation = row[2];
    if (reinterpret_cast<int (*)(const char *)>(Control("norvsim_load_scenario_json"))(row[1]) != 0)
        return Report(row[0], "scenario refused", row[1]);
    reinterpret_cast<void (*)()>(Control("norvsim_clear_log"))();
    std::string result, first, second, third;
    TQarnStatus status = 0;
    if (operation.rfind("connect ", 0) == 0) {
        std::string device = operation.substr(8);
        uint32_t settings = 0, consts = 0, features = 0;
        status = DynConnect(device, first, second, third, settings, consts, features);
        char word[9];
        std::snprintf(word, sizeof word, "%08X", static_cast<unsigned>(features));
        result = device + ", " + first + ", " + second + ", " + third + ", " + word;
    } else if (operation == "find") {
        status = DynFindCard(first, second);
        result = first + ", " + second;
    } else {
        TEchoAverage a128, a256, a768;
        status = DynBenchmark(a128, a256, a768);
        result = Average(a128, 2) + " " + Average(a256, 5) + " " + Average(a768, 11);
    }
    const auto callLog = reinterpret_cast<size_t (*)(char *, size_t)>(Control("norvsim_call_log"));
    std::string log(callLog(nullptr, 0) + 1, '\0');
    log.resize(operation == "benchmark" ? 0 : callLog(&log[0], log.size())); // the echo calls: Linux tests
    Report(row[0], std::to_string(status) + " | " + result + " | " + Replaced(log, "\n", " "), row[3]);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return std::fprintf(stderr, "usage: wintests.exe BUILDS\n"), 2;
    gBuilds = argv[1];
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    gTree = std::string(temp) + "qarn-load-" + std::to_string(::GetCurrentProcessId());
    for (const char *place : {"", "\\prog", "\\work", "\\work\\rel", "\\path"})
        ::CreateDirectoryA((gTree + place).c_str(), nullptr);
    ::CreateDirectoryA(Folder("sys16").c_str(), nullptr);
    ::CopyFileA((gBuilds + "\\loadprobe.exe").c_str(), (Folder("prog") + "\\loadprobe.exe").c_str(), FALSE);
    for (const LoadRow &row : kLoadRows)
        RunLoadRow(row);

    // The stand-in reads its scenario file from the environment as it loads.
    const std::string scenario = gTree + "\\scenario.json";
    if (std::FILE *file = std::fopen(scenario.c_str(), "w"))
        std::fputs(R"({"version":"stand-in on Windows"})", file), std::fclose(file);
    ::SetEnvironmentVariableA("NORVSIM_SCENARIO", scenario.c_str());
    qarn::platform::SetProgramFolderOverride(gBuilds);
    DynStartHook();
    std::string version, path;
    const TQarnStatus status = DynGetLibraryInfo(version, path);
    Report("the version from the scenario file, and the path",
           std::to_string(status) + " | " + version + " | " + path,
           "0 | stand-in on Windows | " + gBuilds + "\\norvane.dll");
    for (const auto &row : kSequenceRows)
        RunSequenceRow(row);
    DynUnloadLibrary();
    std::printf("%d of %zu rows failed\n", gFailures, std::size(kLoadRows) + std::size(kSequenceRows) + 1);
    return gFailures == 0 ? 0 : 1;
}
