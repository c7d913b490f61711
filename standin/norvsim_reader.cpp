// The simulated reader: the NORV_ exports and the control exports.
//
// One Reader object holds the scenario and everything the calls change.  A
// mutex guards it: QarnDiag makes every call from its one thread, but other
// software on the Norvane API may call the library from several threads at
// once; NORV_Echo sleeps outside the lock.
#include "norvane_exports.h"
#include "norvsim_control.h"
#include "norvsim_platform.h"
#include "norvsim_scenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>

namespace norvsim {

namespace {

constexpr std::size_t kMaxLogLines = 100000;
constexpr std::size_t kMaxScenarioFileBytes = 16u << 20;
constexpr std::size_t kUidBufferBytes = 12;
constexpr uint32_t kUsbLinkBit = 0x40;
constexpr int16_t kNoCard = -1;

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...)
{
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// "text" with bytes outside 0x20-0x7E, '"' and '\' written as \xNN; NULL bare.
std::string Quoted(const char *text)
{
    if (!text)
        return "NULL";
    std::string quoted = "\"";
    for (const char *p = text; *p; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte > 0x7E || byte == '"' || byte == '\\')
            quoted += Format("\\x%02X", byte);
        else
            quoted += static_cast<char>(byte);
    }
    return quoted + "\"";
}

// Writes at most `size` bytes, never more.
void WriteText(const TextSpec &text, char *buffer, int32_t size)
{
    if (!buffer || size <= 0)
        return;
    const auto room = static_cast<std::size_t>(size);
    const std::size_t length = text.bytes.size();
    if (length < room) {
        std::memcpy(buffer, text.bytes.data(), length);
        if (text.terminator)
            buffer[length] = '\0';
    } else if (text.cutWhenLong) {
        std::memcpy(buffer, text.bytes.data(), room - 1);
        buffer[room - 1] = '\0';
    } else {
        std::memcpy(buffer, text.bytes.data(), room);
    }
}

bool ReadFile(const char *path, std::string &content, std::string &error)
{
    if (!path) {
        error = "no scenario file name given";
        return false;
    }
    std::FILE *file = std::fopen(path, "rb");
    if (!file) {
        error = std::string(path) + ": cannot open: " + std::strerror(errno);
        return false;
    }
    content.clear();
    char block[65536];
    std::size_t count = 0;
    while (content.size() <= kMaxScenarioFileBytes && (count = std::fread(block, 1, sizeof block, file)) > 0)
        content.append(block, count);
    const bool failed = std::ferror(file) != 0;
    const int failure = errno;
    std::fclose(file);
    if (failed)
        error = std::string(path) + ": cannot read: " + std::strerror(failure);
    else if (content.size() > kMaxScenarioFileBytes)
        error = std::string(path) + ": larger than 16 MiB";
    return !failed && content.size() <= kMaxScenarioFileBytes;
}

class Reader {
public:
    Reader()
    {
        mStartup = BuiltInScenario();
        const std::string path = platform::Environment("NORVSIM_SCENARIO");
        if (!path.empty() && !LoadFile(path.c_str(), mStartup, mLastError))
            std::fprintf(stderr, "norvsim: NORVSIM_SCENARIO: %s; using the built-in scenario\n",
                         mLastError.c_str());
        Restart(mStartup);
    }

    // Logs the call and applies the status rules.  A non-zero result is the
    // status to return at once, without writing any output.
    int16_t Begin(Export entry, const std::string &line, std::optional<uint32_t> arg = std::nullopt)
    {
        if (mLog.size() >= kMaxLogLines)
            mLog.pop_front();
        mLog.push_back(line);
        AppendToLogFile(line);

        const auto &rules = mScenario.statusRules[static_cast<int>(entry)];
        auto &counts = mRuleCounts[static_cast<int>(entry)];
        int16_t status = 0;
        bool decided = false;
        for (std::size_t i = 0; i < rules.size(); ++i) {
            const StatusRule &rule = rules[i];
            if (rule.arg && rule.arg != arg)
                continue;
            const uint64_t call = ++counts[i];
            if (!decided && call >= rule.fromCall && (!rule.toCall || call <= *rule.toCall)) {
                status = rule.status;
                decided = true;
            }
        }
        return status;
    }

    const Scenario &CurrentScenario() const { return mScenario; }

    int16_t Open(const char *device)
    {
        const bool answers = device
            ? std::find(mScenario.answersOn.begin(), mScenario.answersOn.end(), device) !=
                  mScenario.answersOn.end()
            : mScenario.nullOpens;
        if (!answers)
            return mScenario.openFailureStatus;
        mOpenedName = device ? device : "auto";
        return 0;
    }

    TextSpec DeviceText() const
    {
        const auto named = mScenario.deviceTextByName.find(mOpenedName);
        if (named != mScenario.deviceTextByName.end())
            return named->second;
        if (mScenario.deviceTextFallback)
            return *mScenario.deviceTextFallback;
        TextSpec link;
        link.bytes = LinkName(mScenario, mOpenedName);
        return link;
    }

    void RequestSettings(uint32_t word) { mRequestedSettings = word; }

    uint32_t ReportedSettingsWord() const
    {
        const auto named = mScenario.reportedByName.find(mOpenedName);
        const ReportedSettings &reported =
            named != mScenario.reportedByName.end() ? named->second : mScenario.reportedFallback;
        if (reported.fixed)
            return reported.word;
        const bool usb = LinkName(mScenario, mOpenedName) == "USB";
        return mRequestedSettings | (usb ? kUsbLinkBit : 0u);
    }

    uint32_t EchoDelayMs(uint16_t length) const
    {
        switch (length) {
        case 128:
            return mScenario.echoDelayMs128;
        case 256:
            return mScenario.echoDelayMs256;
        case 768:
            return mScenario.echoDelayMs768;
        default:
            return 0;
        }
    }

    // The card for this NORV_Find call: the next listed result, or what the
    // card timeline shows now.
    FindResult NextFind()
    {
        FindResult none;
        none.status = kNoCard;
        if (!mScenario.findResults.empty()) {
            const FindResult &result = mScenario.findResults[mFindIndex];
            mFindIndex = (mFindIndex + 1) % mScenario.findResults.size();
            return result;
        }
        if (!mScenario.card)
            return none;
        const CardTimeline &card = *mScenario.card;
        const uint64_t elapsed = platform::MonotonicMs() - mClockStart;
        const uint64_t period = uint64_t(card.presentMs) + card.absentMs;
        return elapsed % period < card.presentMs ? card.card : none;
    }

    const char *ErrorMessage(int16_t status)
    {
        const auto listed = mScenario.errorMessages.find(status);
        if (listed != mScenario.errorMessages.end())
            return listed->second ? Keep(*listed->second) : nullptr;
        if (mScenario.unknownMessagesNull)
            return nullptr;
        return Keep("Norvane error " + std::to_string(status));
    }

    int LoadJson(const char *json)
    {
        Scenario loaded;
        if (!json) {
            mLastError = "no JSON text given";
            return -1;
        }
        if (!ParseScenario(json, BuiltInScenario(), loaded, mLastError))
            return -1;
        Restart(loaded);
        mLastError.clear();
        return 0;
    }

    int LoadFile(const char *path)
    {
        Scenario loaded;
        if (!LoadFile(path, loaded, mLastError))
            return -1;
        Restart(loaded);
        mLastError.clear();
        return 0;
    }

    // Runs a load; an exception (out of memory) becomes a load error rather
    // than crossing the C boundary.
    template <typename Load>
    int Guarded(Load load)
    {
        try {
            return load();
        } catch (const std::exception &e) {
            mLastError = std::string("cannot load the scenario: ") + e.what();
            return -1;
        }
    }

    const char *LastError() const { return mLastError.c_str(); }

    void Reset()
    {
        Restart(mStartup);
        mLog.clear();
        mLastError.clear();
    }

    std::size_t CopyLog(char *buffer, std::size_t size) const
    {
        std::string text;
        for (const std::string &line : mLog)
            text.append(line).push_back('\n');
        if (buffer && size > 0) {
            const std::size_t count = std::min(text.size(), size - 1);
            std::memcpy(buffer, text.data(), count);
            buffer[count] = '\0';
        }
        return text.size();
    }

    void ClearLog() { mLog.clear(); }

    platform::Mutex mutex;

private:
    // NORVSIM_CALL_LOG names a file that gets every call as it is made, so a
    // test can read the log of a program that has ended.
    static void AppendToLogFile(const std::string &line)
    {
        const std::string path = platform::Environment("NORVSIM_CALL_LOG");
        if (path.empty())
            return;
        if (std::FILE *file = std::fopen(path.c_str(), "a")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }

    static bool LoadFile(const char *path, Scenario &loaded, std::string &error)
    {
        std::string json;
        if (!ReadFile(path, json, error))
            return false;
        if (ParseScenario(json, BuiltInScenario(), loaded, error))
            return true;
        error = std::string(path) + ": " + error;
        return false;
    }

    void Restart(const Scenario &scenario)
    {
        mScenario = scenario;
        for (int i = 0; i < kExportCount; ++i)
            mRuleCounts[i].assign(mScenario.statusRules[i].size(), 0);
        mFindIndex = 0;
        mOpenedName = "auto";
        mRequestedSettings = mScenario.initialSettings;
        mClockStart = platform::MonotonicMs();
    }

    // Texts handed out stay valid as long as the library is loaded.
    const char *Keep(const std::string &text) { return mKeptTexts.insert(text).first->c_str(); }

    Scenario mStartup;
    Scenario mScenario;
    std::string mLastError;
    std::deque<std::string> mLog;
    std::vector<uint64_t> mRuleCounts[kExportCount];
    std::size_t mFindIndex = 0;
    std::string mOpenedName = "auto"; // "auto" also for a NULL device
    uint32_t mRequestedSettings = 0;
    uint64_t mClockStart = 0;
    std::set<std::string> mKeptTexts;
};

Reader &TheReader()
{
    static Reader reader;
    return reader;
}

// The card clock starts when the library is loaded.
__attribute__((constructor)) void StartAtLoad() { TheReader(); }

using Lock = std::lock_guard<platform::Mutex>;

int16_t WriteTextCall(Export entry, const char *name, char *buffer, int32_t size,
                      TextSpec (*text)(const Reader &))
{
    Reader &reader = TheReader();
    Lock lock(reader.mutex);
    if (const int16_t status = reader.Begin(entry, Format("%s(%d)", name, size)))
        return status;
    WriteText(text(reader), buffer, size);
    return 0;
}

int16_t WriteWordCall(Export entry, const char *name, uint32_t *out,
                      uint32_t (*word)(const Reader &))
{
    Reader &reader = TheReader();
    Lock lock(reader.mutex);
    if (const int16_t status = reader.Begin(entry, Format("%s()", name)))
        return status;
    if (out)
        *out = word(reader);
    return 0;
}

} // namespace

} // namespace norvsim

using norvsim::Export;
using norvsim::TheReader;

int16_t NORV_GetLibraryA(char *buffer, int32_t size)
{
    return norvsim::WriteTextCall(Export::GetLibraryA, __func__, buffer, size,
                                  [](const norvsim::Reader &r) { return r.CurrentScenario().version; });
}

int16_t NORV_GetCommListA(char *buffer, int32_t size)
{
    return norvsim::WriteTextCall(Export::GetCommListA, __func__, buffer, size,
                                  [](const norvsim::Reader &r) { return r.CurrentScenario().commList; });
}

const char *NORV_GetErrorMessage(int16_t status)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    reader.Begin(Export::GetErrorMessage, norvsim::Format("%s(%d)", __func__, status));
    return reader.ErrorMessage(status);
}

int16_t NORV_ReaderOpenA(const char *device)
{
    norvsim::Reader &reader = TheReader();
    uint32_t delayMs = 0;
    {
        norvsim::Lock lock(reader.mutex);
        if (const int16_t status = reader.Begin(
                Export::ReaderOpenA, std::string(__func__) + "(" + norvsim::Quoted(device) + ")"))
            return status;
        delayMs = reader.CurrentScenario().openDelayMs;
    }
    // A slow open (auto-detection on a real library) blocks like one.
    if (delayMs > 0)
        norvsim::platform::SleepMs(delayMs);
    norvsim::Lock lock(reader.mutex);
    return reader.Open(device);
}

int16_t NORV_ReaderClose(void)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    return reader.Begin(Export::ReaderClose, norvsim::Format("%s()", __func__));
}

int16_t NORV_ControlRF(uint8_t mode)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    return reader.Begin(Export::ControlRF, norvsim::Format("%s(%u)", __func__, mode), mode);
}

int16_t NORV_Echo(uint16_t length)
{
    norvsim::Reader &reader = TheReader();
    uint32_t delayMs = 0;
    {
        norvsim::Lock lock(reader.mutex);
        if (const int16_t status =
                reader.Begin(Export::Echo, norvsim::Format("%s(%u)", __func__, length), length))
            return status;
        delayMs = reader.EchoDelayMs(length);
    }
    if (delayMs > 0)
        norvsim::platform::SleepMs(delayMs);
    return 0;
}

int16_t NORV_Find(uint16_t protocolMask, uint16_t *cardType, uint8_t *uid, uint8_t *uidLength)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    const std::string entryLength = uidLength ? std::to_string(*uidLength) : "NULL";
    if (const int16_t status = reader.Begin(
            Export::Find, norvsim::Format("%s(0x%04X,%s)", __func__, protocolMask, entryLength.c_str()),
            protocolMask))
        return status;
    const norvsim::FindResult result = reader.NextFind();
    if (result.status != 0)
        return result.status;
    // The caller's buffer holds 12 bytes, or fewer when it says so.
    const std::size_t room = std::min<std::size_t>(norvsim::kUidBufferBytes,
                                                   uidLength ? *uidLength : norvsim::kUidBufferBytes);
    if (uid && !result.uid.empty())
        std::memcpy(uid, result.uid.data(), std::min(room, result.uid.size()));
    if (uidLength)
        *uidLength = result.uidLength ? *result.uidLength : static_cast<uint8_t>(result.uid.size());
    if (cardType)
        *cardType = result.type;
    return 0;
}

int16_t NORV_ReaderGetDeviceA(char *buffer, int32_t size)
{
    return norvsim::WriteTextCall(Export::ReaderGetDeviceA, __func__, buffer, size,
                                  [](const norvsim::Reader &r) { return r.DeviceText(); });
}

int16_t NORV_ReaderGetFirmwareA(char *buffer, int32_t size)
{
    return norvsim::WriteTextCall(Export::ReaderGetFirmwareA, __func__, buffer, size,
                                  [](const norvsim::Reader &r) { return r.CurrentScenario().firmware; });
}

int16_t NORV_ReaderGetRc500Id(uint8_t *chipsetInfo, uint8_t *chipsetId)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    if (const int16_t status = reader.Begin(Export::ReaderGetRc500Id, norvsim::Format("%s()", __func__)))
        return status;
    const norvsim::Scenario &s = reader.CurrentScenario();
    if (chipsetInfo)
        std::memcpy(chipsetInfo, s.chipsetInfo.data(), s.chipsetInfo.size());
    if (chipsetId)
        std::memcpy(chipsetId, s.chipsetId.data(), s.chipsetId.size());
    return 0;
}

int16_t NORV_ReaderSetDeviceSettings(uint32_t settings)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    if (const int16_t status = reader.Begin(Export::ReaderSetDeviceSettings,
                                            norvsim::Format("%s(0x%08X)", __func__, settings), settings))
        return status;
    reader.RequestSettings(settings);
    return 0;
}

int16_t NORV_ReaderGetDeviceSettings(uint32_t *settings)
{
    return norvsim::WriteWordCall(Export::ReaderGetDeviceSettings, __func__, settings,
                                  [](const norvsim::Reader &r) { return r.ReportedSettingsWord(); });
}

int16_t NORV_ReaderGetFeatures(uint32_t *features)
{
    return norvsim::WriteWordCall(Export::ReaderGetFeatures, __func__, features,
                                  [](const norvsim::Reader &r) { return r.CurrentScenario().features; });
}

int16_t NORV_ReaderGetConsts(uint32_t *consts)
{
    return norvsim::WriteWordCall(Export::ReaderGetConsts, __func__, consts,
                                  [](const norvsim::Reader &r) { return r.CurrentScenario().consts; });
}

int norvsim_load_scenario_json(const char *json)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    return reader.Guarded([&] { return reader.LoadJson(json); });
}

int norvsim_load_scenario_file(const char *path)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    return reader.Guarded([&] { return reader.LoadFile(path); });
}

const char *norvsim_last_error(void)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    return reader.LastError();
}

void norvsim_reset(void)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    reader.Reset();
}

size_t norvsim_call_log(char *buffer, size_t size)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    return reader.CopyLog(buffer, size);
}

void norvsim_clear_log(void)
{
    norvsim::Reader &reader = TheReader();
    norvsim::Lock lock(reader.mutex);
    reader.ClearLog();
}
