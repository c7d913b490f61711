// What the simulated reader answers: the scenario, read from JSON.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace norvsim {

// The exports in the order of the call log and of the variants' names.
enum class Export : int {
    GetLibraryA,
    GetCommListA,
    GetErrorMessage,
    ReaderOpenA,
    ReaderClose,
    ControlRF,
    Echo,
    Find,
    ReaderGetDeviceA,
    ReaderGetFirmwareA,
    ReaderGetRc500Id,
    ReaderSetDeviceSettings,
    ReaderGetDeviceSettings,
    ReaderGetFeatures,
    ReaderGetConsts,
    Count
};
constexpr int kExportCount = static_cast<int>(Export::Count);

// "NORV_GetLibraryA", ... in Export order.
const char *ExportName(Export entry);

// A text written into a caller's buffer of `size` bytes.
struct TextSpec {
    std::string bytes;
    // A text shorter than the buffer is followed by a zero byte.
    bool terminator = true;
    // A text of `size` bytes or more: false writes exactly `size` text bytes
    // and no zero; true writes size - 1 bytes and a zero.
    bool cutWhenLong = false;
};

// A status an export returns from its n-th call on.
struct StatusRule {
    int16_t status = 0;
    // Counts only calls with this argument (Echo: length, ControlRF: mode,
    // Find: protocol mask, ReaderSetDeviceSettings: the word).
    std::optional<uint32_t> arg;
    uint64_t fromCall = 1;          // 1 = the first matching call
    std::optional<uint64_t> toCall; // last matching call it applies to
};

// What one NORV_Find call answers.
struct FindResult {
    int16_t status = 0;
    uint16_t type = 1;
    std::vector<uint8_t> uid;
    // The length reported back; the UID's own length when absent.
    std::optional<uint8_t> uidLength;
};

// A card that comes and goes: present for presentMs, absent for absentMs,
// repeating from the start of the card clock.
struct CardTimeline {
    FindResult card;
    uint32_t presentMs = 3000;
    uint32_t absentMs = 3000;
};

// The reported settings word: a fixed word, or the last requested one.
struct ReportedSettings {
    bool fixed = false;
    uint32_t word = 0;
};

struct Scenario {
    TextSpec version;
    TextSpec commList;

    // Device names that open the reader (exact, case-sensitive).
    std::vector<std::string> answersOn;
    bool nullOpens = true;
    int16_t openFailureStatus = -12;

    // Looked up by the opened name ("auto" for a NULL device), then the
    // fallback, then the link (see LinkName).
    std::map<std::string, TextSpec> deviceTextByName;
    std::optional<TextSpec> deviceTextFallback;

    TextSpec firmware;
    std::vector<uint8_t> chipsetInfo; // 5 to 17 bytes, all written
    std::vector<uint8_t> chipsetId;   // 4 to 17 bytes, all written

    std::map<std::string, ReportedSettings> reportedByName;
    ReportedSettings reportedFallback;
    uint32_t initialSettings = 0; // the "last requested" word before any request

    uint32_t features = 0;
    uint32_t consts = 0;

    uint32_t echoDelayMs128 = 0;
    uint32_t echoDelayMs256 = 0;
    uint32_t echoDelayMs768 = 0;
    uint32_t openDelayMs = 0; // the sleep of every NORV_ReaderOpenA

    // At most one of the two; with neither, no card is ever found.
    std::optional<CardTimeline> card;
    std::vector<FindResult> findResults;

    // A code mapped to no value makes NORV_GetErrorMessage return NULL.
    std::map<int16_t, std::optional<std::string>> errorMessages;
    bool unknownMessagesNull = false;

    std::vector<StatusRule> statusRules[kExportCount];
};

// The scenario built into the library.
const Scenario &BuiltInScenario();

// Reads a scenario from JSON: keys left out keep the values of `base`.
// On an error, returns false with a message that names the key.
bool ParseScenario(const std::string &json, const Scenario &base, Scenario &result,
                   std::string &error);

// The device on which the reader is found when opened by `openedName`
// ("auto" for NULL): for "auto" the first other name it answers on.
std::string LinkName(const Scenario &scenario, const std::string &openedName);

} // namespace norvsim
