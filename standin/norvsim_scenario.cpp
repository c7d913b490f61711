// Scenario JSON: every key is checked for its type and range; an unknown or
// repeated key is an error, so that a typo never passes unnoticed.
#include "norvsim_scenario.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <set>
#include <stdexcept>
#include <utility>

namespace norvsim {

namespace {

using Json = nlohmann::json;

const char *const kExportNames[kExportCount] = {
    "NORV_GetLibraryA",         "NORV_GetCommListA",       "NORV_GetErrorMessage",
    "NORV_ReaderOpenA",         "NORV_ReaderClose",        "NORV_ControlRF",
    "NORV_Echo",                "NORV_Find",               "NORV_ReaderGetDeviceA",
    "NORV_ReaderGetFirmwareA",  "NORV_ReaderGetRc500Id",   "NORV_ReaderSetDeviceSettings",
    "NORV_ReaderGetDeviceSettings", "NORV_ReaderGetFeatures", "NORV_ReaderGetConsts",
};

constexpr std::size_t kMaxTextBytes = 16u << 20;
constexpr int64_t kMaxDelayMs = 60000;
constexpr int64_t kMaxPeriodMs = 86400000;

const char kBuiltInJson[] = R"json({
  "description": "One reader on USB and COM3, a card that comes and goes every 3 s",
  "version": "Norvane API stand-in 4.2.1 (simulated reader)",
  "comm_list": "COM1=Communications Port\nCOM2=Modem Port\nCOM3=USB Serial Port\n",
  "open": { "answers_on": ["auto", "USB", "COM3"], "null_opens": true, "failure_status": -12 },
  "firmware": "Qarn Demo Reader 1.61 (stand-in)",
  "chipset_info": "882001 4C02",
  "chipset_id": "3A910F6C",
  "settings": { "reported": { "auto": "0x4D", "USB": "0x4D", "default": null }, "initial": "0x0D" },
  "features": "0x0047F361",
  "consts": "0x00030A12",
  "echo_delay_ms": { "128": 2, "256": 5, "768": 11 },
  "card": { "type": 1, "uid": "04A2197F", "present_ms": 3000, "absent_ms": 3000 },
  "error_messages": {
    "-1": "No card in the field",
    "-12": "No reader found on this device",
    "-100": "Function not supported by the reader",
    "-243": "The reader did not answer in time",
    "-244": "The reader's answer was damaged (checksum error)"
  }
})json";

struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string &path, const std::string &problem)
{
    throw ScenarioError((path.empty() ? std::string("scenario") : path) + ": " + problem);
}

std::string Member(const std::string &path, const std::string &key)
{
    return path.empty() ? key : path + "." + key;
}

std::string Item(const std::string &path, std::size_t index)
{
    return path + "[" + std::to_string(index) + "]";
}

// A short picture of a value for an error message.
std::string Shown(const Json &value)
{
    std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (text.size() > 40)
        text = text.substr(0, 37) + "...";
    return text;
}

void CheckKeys(const Json &object, const std::string &path,
               std::initializer_list<const char *> known)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool found = std::any_of(known.begin(), known.end(), [&](const char *name) {
            return it.key() == name;
        });
        if (!found) {
            std::string list;
            for (const char *name : known)
                list += std::string(list.empty() ? "" : ", ") + name;
            Fail(Member(path, it.key()), "unknown key (known here: " + list + ")");
        }
    }
}

const Json &ObjectOf(const Json &value, const std::string &path)
{
    if (!value.is_object())
        Fail(path, "expected an object, got " + Shown(value));
    return value;
}

bool Boolean(const Json &value, const std::string &path)
{
    if (!value.is_boolean())
        Fail(path, "expected true or false, got " + Shown(value));
    return value.get<bool>();
}

const std::string &String(const Json &value, const std::string &path)
{
    if (!value.is_string())
        Fail(path, "expected a string, got " + Shown(value));
    return value.get_ref<const std::string &>();
}

int64_t Integer(const Json &value, const std::string &path, int64_t low, int64_t high)
{
    const std::string range =
        "expected an integer from " + std::to_string(low) + " to " + std::to_string(high);
    if (value.is_number_unsigned()) {
        const uint64_t number = value.get<uint64_t>();
        if (number > static_cast<uint64_t>(high))
            Fail(path, range + ", got " + Shown(value));
        return static_cast<int64_t>(number);
    }
    if (!value.is_number_integer())
        Fail(path, range + ", got " + Shown(value));
    const int64_t number = value.get<int64_t>();
    if (number < low || number > high)
        Fail(path, range + ", got " + Shown(value));
    return number;
}

int16_t Status(const Json &value, const std::string &path)
{
    return static_cast<int16_t>(Integer(value, path, INT16_MIN, INT16_MAX));
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// A 32-bit word: an integer, or a "0x" hex string.
uint32_t Word(const Json &value, const std::string &path)
{
    if (!value.is_string())
        return static_cast<uint32_t>(Integer(value, path, 0, UINT32_MAX));
    const std::string &text = value.get_ref<const std::string &>();
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!prefixed || text.size() > 10)
        Fail(path, "expected a 32-bit integer or a \"0x\" hex string of 1 to 8 digits, got " +
                       Shown(value));
    uint32_t word = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            Fail(path, "not a hex digit: '" + text.substr(i, 1) + "' in " + Shown(value));
        word = word << 4 | static_cast<uint32_t>(digit);
    }
    return word;
}

// Bytes: an array of integers 0-255, or a hex string (spaces allowed).
std::vector<uint8_t> Bytes(const Json &value, const std::string &path, std::size_t minimum,
                           std::size_t maximum)
{
    std::vector<uint8_t> bytes;
    if (value.is_array()) {
        for (std::size_t i = 0; i < value.size(); ++i)
            bytes.push_back(static_cast<uint8_t>(Integer(value[i], Item(path, i), 0, 255)));
    } else if (value.is_string()) {
        std::string digits;
        for (char c : value.get_ref<const std::string &>()) {
            if (c == ' ')
                continue;
            if (HexDigit(c) < 0)
                Fail(path, "not a hex digit: '" + std::string(1, c) + "' in " + Shown(value));
            digits += c;
        }
        if (digits.size() % 2 != 0)
            Fail(path, "odd number of hex digits in " + Shown(value));
        for (std::size_t i = 0; i < digits.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(HexDigit(digits[i]) << 4 | HexDigit(digits[i + 1])));
    } else {
        Fail(path, "expected an array of byte values or a hex string, got " + Shown(value));
    }
    if (bytes.size() < minimum || bytes.size() > maximum)
        Fail(path, "expected " + std::to_string(minimum) + " to " + std::to_string(maximum) +
                       " bytes, got " + std::to_string(bytes.size()));
    return bytes;
}

bool IsTextObject(const Json &value)
{
    return value.is_object() && (value.contains("text") || value.contains("hex"));
}

TextSpec Text(const Json &value, const std::string &path)
{
    TextSpec spec;
    if (value.is_string()) {
        spec.bytes = value.get<std::string>();
        return spec;
    }
    if (!IsTextObject(value))
        Fail(path, "expected a string or an object with \"text\" or \"hex\", got " + Shown(value));
    CheckKeys(value, path, {"text", "hex", "repeat", "terminator", "when_long"});
    if (value.contains("text") && value.contains("hex"))
        Fail(path, "give either \"text\" or \"hex\", not both");
    const std::string unit = value.contains("text")
        ? String(value["text"], Member(path, "text"))
        : [&] {
              const std::vector<uint8_t> raw =
                  Bytes(value["hex"], Member(path, "hex"), 0, kMaxTextBytes);
              return std::string(raw.begin(), raw.end());
          }();
    int64_t repeat = 1;
    if (value.contains("repeat"))
        repeat = Integer(value["repeat"], Member(path, "repeat"), 0, 1000000);
    if (!unit.empty() && static_cast<uint64_t>(repeat) > kMaxTextBytes / unit.size())
        Fail(Member(path, "repeat"), "the text would be longer than 16 MiB");
    for (int64_t i = 0; i < repeat; ++i)
        spec.bytes += unit;
    if (value.contains("terminator"))
        spec.terminator = Boolean(value["terminator"], Member(path, "terminator"));
    if (value.contains("when_long")) {
        const std::string &mode = String(value["when_long"], Member(path, "when_long"));
        if (mode != "bare" && mode != "cut")
            Fail(Member(path, "when_long"), "expected \"bare\" or \"cut\", got " + Shown(value["when_long"]));
        spec.cutWhenLong = mode == "cut";
    }
    return spec;
}

void ReadOpen(const Json &value, const std::string &path, Scenario &s)
{
    CheckKeys(ObjectOf(value, path), path, {"answers_on", "null_opens", "failure_status"});
    if (value.contains("answers_on")) {
        const std::string listPath = Member(path, "answers_on");
        const Json &list = value["answers_on"];
        if (!list.is_array())
            Fail(listPath, "expected an array of device names, got " + Shown(list));
        s.answersOn.clear();
        for (std::size_t i = 0; i < list.size(); ++i)
            s.answersOn.push_back(String(list[i], Item(listPath, i)));
    }
    if (value.contains("null_opens"))
        s.nullOpens = Boolean(value["null_opens"], Member(path, "null_opens"));
    if (value.contains("failure_status")) {
        s.openFailureStatus = Status(value["failure_status"], Member(path, "failure_status"));
        if (s.openFailureStatus == 0)
            Fail(Member(path, "failure_status"), "must not be 0 (0 means success)");
    }
}

void ReadDeviceText(const Json &value, const std::string &path, Scenario &s)
{
    s.deviceTextByName.clear();
    s.deviceTextFallback.reset();
    if (value.is_null())
        return;
    if (value.is_string() || IsTextObject(value)) {
        s.deviceTextFallback = Text(value, path);
        return;
    }
    for (auto it = ObjectOf(value, path).begin(); it != value.end(); ++it) {
        TextSpec text = Text(it.value(), Member(path, it.key()));
        if (it.key() == "default")
            s.deviceTextFallback = std::move(text);
        else
            s.deviceTextByName[it.key()] = std::move(text);
    }
}

ReportedSettings Reported(const Json &value, const std::string &path)
{
    ReportedSettings reported;
    if (!value.is_null()) {
        reported.fixed = true;
        reported.word = Word(value, path);
    }
    return reported;
}

void ReadSettings(const Json &value, const std::string &path, Scenario &s)
{
    CheckKeys(ObjectOf(value, path), path, {"reported", "initial"});
    if (value.contains("reported")) {
        const std::string reportedPath = Member(path, "reported");
        const Json &reported = value["reported"];
        s.reportedByName.clear();
        s.reportedFallback = ReportedSettings();
        if (reported.is_object()) {
            for (auto it = reported.begin(); it != reported.end(); ++it) {
                const ReportedSettings word = Reported(it.value(), Member(reportedPath, it.key()));
                if (it.key() == "default")
                    s.reportedFallback = word;
                else
                    s.reportedByName[it.key()] = word;
            }
        } else {
            s.reportedFallback = Reported(reported, reportedPath);
        }
    }
    if (value.contains("initial"))
        s.initialSettings = Word(value["initial"], Member(path, "initial"));
}

void ReadEchoDelays(const Json &value, const std::string &path, Scenario &s)
{
    CheckKeys(ObjectOf(value, path), path, {"128", "256", "768"});
    auto delay = [&](const char *key) {
        return value.contains(key)
            ? static_cast<uint32_t>(Integer(value[key], Member(path, key), 0, kMaxDelayMs))
            : 0u;
    };
    s.echoDelayMs128 = delay("128");
    s.echoDelayMs256 = delay("256");
    s.echoDelayMs768 = delay("768");
}

// The card keys shared by "card" and the "find_results" entries.
void ReadCardKeys(const Json &value, const std::string &path, FindResult &result)
{
    if (value.contains("type"))
        result.type = static_cast<uint16_t>(Integer(value["type"], Member(path, "type"), 0, UINT16_MAX));
    if (value.contains("uid"))
        result.uid = Bytes(value["uid"], Member(path, "uid"), 0, 255);
    if (value.contains("uid_length"))
        result.uidLength = static_cast<uint8_t>(Integer(value["uid_length"], Member(path, "uid_length"), 0, 255));
}

std::optional<CardTimeline> Card(const Json &value, const std::string &path)
{
    if (value.is_null())
        return std::nullopt;
    CheckKeys(ObjectOf(value, path), path, {"type", "uid", "uid_length", "present_ms", "absent_ms"});
    if (!value.contains("uid"))
        Fail(Member(path, "uid"), "missing");
    CardTimeline card;
    ReadCardKeys(value, path, card.card);
    if (value.contains("present_ms"))
        card.presentMs = static_cast<uint32_t>(Integer(value["present_ms"], Member(path, "present_ms"), 0, kMaxPeriodMs));
    if (value.contains("absent_ms"))
        card.absentMs = static_cast<uint32_t>(Integer(value["absent_ms"], Member(path, "absent_ms"), 0, kMaxPeriodMs));
    if (card.presentMs == 0 && card.absentMs == 0)
        Fail(path, "present_ms and absent_ms cannot both be 0");
    return card;
}

std::vector<FindResult> FindResults(const Json &value, const std::string &path)
{
    if (!value.is_array() || value.empty())
        Fail(path, "expected a non-empty array of results, got " + Shown(value));
    std::vector<FindResult> results;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string itemPath = Item(path, i);
        CheckKeys(ObjectOf(value[i], itemPath), itemPath, {"status", "type", "uid", "uid_length"});
        FindResult result;
        if (value[i].contains("status"))
            result.status = Status(value[i]["status"], Member(itemPath, "status"));
        ReadCardKeys(value[i], itemPath, result);
        results.push_back(std::move(result));
    }
    return results;
}

// A status code written as a JSON key: "-100".
int16_t StatusKey(const std::string &key, const std::string &path)
{
    const std::size_t digits = key.size() - (key.rfind('-', 0) == 0 ? 1 : 0);
    const bool wellFormed = digits > 0 && digits <= 6 &&
        std::all_of(key.end() - static_cast<std::ptrdiff_t>(digits), key.end(),
                    [](char c) { return c >= '0' && c <= '9'; });
    const long code = wellFormed ? std::stol(key) : 0;
    if (!wellFormed || code < INT16_MIN || code > INT16_MAX)
        Fail(path, "expected a status code from -32768 to 32767 as the key");
    return static_cast<int16_t>(code);
}

void ReadErrorMessages(const Json &value, const std::string &path, Scenario &s)
{
    s.errorMessages.clear();
    for (auto it = ObjectOf(value, path).begin(); it != value.end(); ++it) {
        const std::string itemPath = Member(path, it.key());
        const int16_t code = StatusKey(it.key(), itemPath);
        if (it.value().is_null())
            s.errorMessages[code] = std::nullopt;
        else
            s.errorMessages[code] = String(it.value(), itemPath);
    }
}

// The argument a rule may compare, per export; 0 = none.
uint32_t ArgumentLimit(Export entry)
{
    switch (entry) {
    case Export::Echo:
    case Export::Find:
        return UINT16_MAX;
    case Export::ControlRF:
        return UINT8_MAX;
    case Export::ReaderSetDeviceSettings:
        return UINT32_MAX;
    default:
        return 0;
    }
}

StatusRule Rule(const Json &value, const std::string &path, Export entry)
{
    StatusRule rule;
    if (!value.is_object()) {
        rule.status = Status(value, path);
        return rule;
    }
    CheckKeys(value, path, {"status", "arg", "from_call", "to_call"});
    if (!value.contains("status"))
        Fail(Member(path, "status"), "missing");
    rule.status = Status(value["status"], Member(path, "status"));
    if (value.contains("arg")) {
        const uint32_t limit = ArgumentLimit(entry);
        if (limit == 0)
            Fail(Member(path, "arg"), std::string(ExportName(entry)) +
                     " has no argument to compare (Echo, ControlRF, Find and "
                     "ReaderSetDeviceSettings have)");
        const uint32_t arg = Word(value["arg"], Member(path, "arg"));
        if (arg > limit)
            Fail(Member(path, "arg"), "above " + std::to_string(limit) + ", the largest " +
                                          ExportName(entry) + " can be given");
        rule.arg = arg;
    }
    if (value.contains("from_call"))
        rule.fromCall = static_cast<uint64_t>(Integer(value["from_call"], Member(path, "from_call"), 1, INT64_MAX));
    if (value.contains("to_call")) {
        rule.toCall = static_cast<uint64_t>(Integer(value["to_call"], Member(path, "to_call"), 1, INT64_MAX));
        if (*rule.toCall < rule.fromCall)
            Fail(Member(path, "to_call"), "is before from_call");
    }
    return rule;
}

void ReadStatus(const Json &value, const std::string &path, Scenario &s)
{
    for (auto &rules : s.statusRules)
        rules.clear();
    for (auto it = ObjectOf(value, path).begin(); it != value.end(); ++it) {
        const std::string itemPath = Member(path, it.key());
        const char *const *name = std::find(std::begin(kExportNames), std::end(kExportNames), it.key());
        if (name == std::end(kExportNames))
            Fail(itemPath, "unknown export (expected a full name such as \"NORV_Echo\")");
        const auto entry = static_cast<Export>(name - std::begin(kExportNames));
        if (entry == Export::GetErrorMessage)
            Fail(itemPath, "returns a text, not a status: it cannot be made to fail");
        auto &rules = s.statusRules[static_cast<int>(entry)];
        if (it.value().is_array()) {
            if (it.value().empty())
                Fail(itemPath, "expected at least one rule");
            for (std::size_t i = 0; i < it.value().size(); ++i)
                rules.push_back(Rule(it.value()[i], Item(itemPath, i), entry));
        } else {
            rules.push_back(Rule(it.value(), itemPath, entry));
        }
    }
}

void ReadScenario(const Json &root, Scenario &s)
{
    CheckKeys(ObjectOf(root, ""), "",
              {"description", "version", "comm_list", "open", "device_text", "firmware",
               "chipset_info", "chipset_id", "settings", "features", "consts", "echo_delay_ms",
               "open_delay_ms", "card", "find_results", "error_messages", "unknown_messages_null", "status"});
    if (root.contains("description"))
        String(root["description"], "description");
    if (root.contains("version"))
        s.version = Text(root["version"], "version");
    if (root.contains("comm_list"))
        s.commList = Text(root["comm_list"], "comm_list");
    if (root.contains("open"))
        ReadOpen(root["open"], "open", s);
    if (root.contains("device_text"))
        ReadDeviceText(root["device_text"], "device_text", s);
    if (root.contains("firmware"))
        s.firmware = Text(root["firmware"], "firmware");
    if (root.contains("chipset_info"))
        s.chipsetInfo = Bytes(root["chipset_info"], "chipset_info", 5, 17);
    if (root.contains("chipset_id"))
        s.chipsetId = Bytes(root["chipset_id"], "chipset_id", 4, 17);
    if (root.contains("settings"))
        ReadSettings(root["settings"], "settings", s);
    if (root.contains("features"))
        s.features = Word(root["features"], "features");
    if (root.contains("consts"))
        s.consts = Word(root["consts"], "consts");
    if (root.contains("echo_delay_ms"))
        ReadEchoDelays(root["echo_delay_ms"], "echo_delay_ms", s);
    if (root.contains("open_delay_ms"))
        s.openDelayMs = static_cast<uint32_t>(
            Integer(root["open_delay_ms"], "open_delay_ms", 0, kMaxDelayMs));
    if (root.contains("card") && root.contains("find_results"))
        Fail("find_results", "cannot be given together with \"card\"");
    if (root.contains("card")) {
        s.card = Card(root["card"], "card");
        s.findResults.clear();
    }
    if (root.contains("find_results")) {
        s.findResults = FindResults(root["find_results"], "find_results");
        s.card.reset();
    }
    if (root.contains("error_messages"))
        ReadErrorMessages(root["error_messages"], "error_messages", s);
    if (root.contains("unknown_messages_null"))
        s.unknownMessagesNull = Boolean(root["unknown_messages_null"], "unknown_messages_null");
    if (root.contains("status"))
        ReadStatus(root["status"], "status", s);
}

// Parses JSON, refusing a key given twice in one object (the parser itself
// would silently keep the last one).
Json ParseJson(const std::string &text)
{
    std::vector<std::set<std::string>> seen;
    std::string repeated;
    auto check = [&](int, Json::parse_event_t event, Json &parsed) {
        if (event == Json::parse_event_t::object_start)
            seen.emplace_back();
        else if (event == Json::parse_event_t::object_end && !seen.empty())
            seen.pop_back();
        else if (event == Json::parse_event_t::key && !seen.empty() &&
                 !seen.back().insert(parsed.get<std::string>()).second && repeated.empty())
            repeated = parsed.get<std::string>();
        return true;
    };
    Json root;
    try {
        root = Json::parse(text, check);
    } catch (const Json::exception &e) {
        throw ScenarioError(std::string("JSON syntax: ") + e.what());
    }
    if (!repeated.empty())
        throw ScenarioError(repeated + ": key given twice in one object");
    return root;
}

} // namespace

const char *ExportName(Export entry)
{
    const int index = static_cast<int>(entry);
    return index >= 0 && index < kExportCount ? kExportNames[index] : "?";
}

bool ParseScenario(const std::string &json, const Scenario &base, Scenario &result,
                   std::string &error)
{
    try {
        Scenario scenario = base;
        ReadScenario(ParseJson(json), scenario);
        result = std::move(scenario);
        return true;
    } catch (const ScenarioError &e) {
        error = e.what();
    } catch (const Json::exception &e) {
        error = std::string("scenario: ") + e.what();
    }
    return false;
}

const Scenario &BuiltInScenario()
{
    static const Scenario scenario = [] {
        Scenario built;
        std::string error;
        if (!ParseScenario(kBuiltInJson, Scenario(), built, error))
            throw std::logic_error("built-in scenario: " + error);
        return built;
    }();
    return scenario;
}

std::string LinkName(const Scenario &scenario, const std::string &openedName)
{
    if (openedName != "auto")
        return openedName;
    for (const std::string &name : scenario.answersOn) {
        if (name != "auto")
            return name;
    }
    return openedName;
}

} // namespace norvsim
