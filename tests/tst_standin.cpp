// The stand-in reader library, loaded the way the program loads it: dlopen
// by path, every function looked up with dlsym.
#include "norvsim_control.h"

#include <QtTest>

#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>

namespace {

const QByteArray kStandinDir = QARN_STANDIN_DIR;

const char *const kExports[] = {
    "GetLibraryA", "GetCommListA", "GetErrorMessage", "ReaderOpenA", "ReaderClose",
    "ControlRF", "Echo", "Find", "ReaderGetDeviceA", "ReaderGetFirmwareA", "ReaderGetRc500Id",
    "ReaderSetDeviceSettings", "ReaderGetDeviceSettings", "ReaderGetFeatures", "ReaderGetConsts"};

using TextFn = int16_t (*)(char *, int32_t);
using WordFn = int16_t (*)(uint32_t *);

struct Api {
    void *handle = nullptr;
    TextFn library, commList, device, firmware;
    const char *(*errorMessage)(int16_t);
    int16_t (*open)(const char *);
    int16_t (*close)();
    int16_t (*controlRf)(uint8_t);
    int16_t (*echo)(uint16_t);
    int16_t (*find)(uint16_t, uint16_t *, uint8_t *, uint8_t *);
    int16_t (*rc500Id)(uint8_t *, uint8_t *);
    int16_t (*setSettings)(uint32_t);
    WordFn getSettings, features, consts;
    norvsim_load_scenario_json_fn load;
    norvsim_load_scenario_file_fn loadFile;
    norvsim_last_error_fn lastError;
    norvsim_reset_fn reset;
    norvsim_call_log_fn callLog;
    norvsim_clear_log_fn clearLog;

    // Looks up every function; false when the library does not load or
    // lacks any of them (those stay null).
    bool bind(const QByteArray &path)
    {
        handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        bool all = true;
        auto get = [&](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
            all = all && fn;
        };
        get(library, "NORV_GetLibraryA"), get(commList, "NORV_GetCommListA");
        get(device, "NORV_ReaderGetDeviceA"), get(firmware, "NORV_ReaderGetFirmwareA");
        get(errorMessage, "NORV_GetErrorMessage"), get(open, "NORV_ReaderOpenA");
        get(close, "NORV_ReaderClose"), get(controlRf, "NORV_ControlRF"), get(echo, "NORV_Echo");
        get(find, "NORV_Find"), get(rc500Id, "NORV_ReaderGetRc500Id");
        get(setSettings, "NORV_ReaderSetDeviceSettings"), get(getSettings, "NORV_ReaderGetDeviceSettings");
        get(features, "NORV_ReaderGetFeatures"), get(consts, "NORV_ReaderGetConsts");
        get(load, "norvsim_load_scenario_json"), get(loadFile, "norvsim_load_scenario_file");
        get(lastError, "norvsim_last_error"), get(reset, "norvsim_reset");
        get(callLog, "norvsim_call_log"), get(clearLog, "norvsim_clear_log");
        return all;
    }

    QByteArray text(TextFn fn, int32_t size = 256) const
    {
        QByteArray buffer(size + 1, '\0');
        return fn(buffer.data(), size) == 0 ? QByteArray(buffer.constData()) : QByteArray("<failed>");
    }

    QByteArray log() const
    {
        QByteArray buffer(int(callLog(nullptr, 0)) + 1, '\0');
        callLog(buffer.data(), size_t(buffer.size()));
        return buffer.left(buffer.size() - 1);
    }
};

} // namespace

class TestStandin : public QObject {
    Q_OBJECT
    Api FApi;

private slots:
    void initTestCase() { QVERIFY2(FApi.bind(kStandinDir + "/default/libnorvane.so"), dlerror()); }
    void init() { FApi.reset(); }
    void cleanupTestCase() { dlclose(FApi.handle); }

    void builtInScenario()
    {
        QCOMPARE(FApi.text(FApi.commList, 4096),
                 QByteArray("COM1=Communications Port\nCOM2=Modem Port\nCOM3=USB Serial Port\n"));
        QCOMPARE(FApi.text(FApi.library), QByteArray("Norvane API stand-in 4.2.1 (simulated reader)"));
        QCOMPARE(FApi.open("usb"), int16_t(-12)); // names are case-sensitive
        QCOMPARE(FApi.open(nullptr), int16_t(0));
        QCOMPARE(FApi.text(FApi.device), QByteArray("USB"));
        uint32_t word = 0;
        QCOMPARE(FApi.getSettings(&word), int16_t(0));
        QCOMPARE(word, 0x4Du);
        QCOMPARE(FApi.open("COM3"), int16_t(0));
        QCOMPARE(FApi.text(FApi.device), QByteArray("COM3"));
        QCOMPARE(FApi.setSettings(0x1D), int16_t(0));
        QCOMPARE(FApi.getSettings(&word), int16_t(0));
        QCOMPARE(word, 0x1Du);

        uint8_t info[17], id[17];
        memset(info, 0xEE, sizeof info);
        memset(id, 0xEE, sizeof id);
        QCOMPARE(FApi.rc500Id(info, id), int16_t(0));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(info), 6), QByteArray::fromHex("8820014C02EE"));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(id), 5), QByteArray::fromHex("3A910F6CEE"));

        // The card clock restarts with the reset: the card is there for 3 s.
        uint16_t type = 0;
        uint8_t uid[12] = {}, length = 12;
        QCOMPARE(FApi.find(0xFFFF, &type, uid, &length), int16_t(0));
        QCOMPARE(type, uint16_t(1));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(uid), length), QByteArray::fromHex("04A2197F"));
    }

    void loadErrorsNameTheKey_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("typo") << QByteArray(R"({"versoin": "x"})") << QByteArray("versoin: unknown key");
        QTest::newRow("nested typo") << QByteArray(R"({"status": {"NORV_Echo": [{"status": -243, "form_call": 3}]}})")
                                     << QByteArray("status.NORV_Echo[0].form_call: unknown key");
        QTest::newRow("list item") << QByteArray(R"({"open": {"answers_on": ["auto", 3]}})")
                                   << QByteArray("open.answers_on[1]: expected a string");
        QTest::newRow("twice") << QByteArray(R"({"version": "a", "version": "b"})") << QByteArray("version: key given twice");
        QTest::newRow("syntax") << QByteArray(R"({"version": )") << QByteArray("JSON syntax");
        QTest::newRow("not object") << QByteArray("[1]") << QByteArray("scenario: expected an object");
        QTest::newRow("hex word") << QByteArray(R"({"features": "0x1G"})") << QByteArray("features: not a hex digit");
        QTest::newRow("word range") << QByteArray(R"({"consts": 4294967296})") << QByteArray("consts: expected an integer from 0 to 4294967295");
        QTest::newRow("fraction") << QByteArray(R"({"echo_delay_ms": {"128": 2.5}})") << QByteArray("echo_delay_ms.128: expected an integer");
        QTest::newRow("too few") << QByteArray(R"({"chipset_info": [1, 2, 3, 4]})") << QByteArray("chipset_info: expected 5 to 17 bytes");
        QTest::newRow("too many") << QByteArray(R"({"chipset_id": "000102030405060708090A0B0C0D0E0F1011"})") << QByteArray("chipset_id: expected 4 to 17 bytes");
        QTest::newRow("byte") << QByteArray(R"({"chipset_id": [1, 2, 3, 256]})") << QByteArray("chipset_id[3]: expected an integer from 0 to 255");
        QTest::newRow("odd hex") << QByteArray(R"({"card": {"uid": "04A"}})") << QByteArray("card.uid: odd number of hex digits");
        QTest::newRow("terminator") << QByteArray(R"({"version": {"text": "a", "terminator": "no"}})") << QByteArray("version.terminator: expected true or false");
        QTest::newRow("card and list") << QByteArray(R"({"card": {"uid": ""}, "find_results": [{"status": -1}]})") << QByteArray("find_results: cannot be given together");
        QTest::newRow("code") << QByteArray(R"({"error_messages": {"x1": "a"}})") << QByteArray("error_messages.x1: expected a status code");
        QTest::newRow("status range") << QByteArray(R"({"status": {"NORV_Find": 40000}})") << QByteArray("status.NORV_Find: expected an integer from -32768");
        QTest::newRow("export") << QByteArray(R"({"status": {"NORV_Eco": -1}})") << QByteArray("status.NORV_Eco: unknown export");
        QTest::newRow("no arg") << QByteArray(R"({"status": {"NORV_ReaderClose": {"status": -1, "arg": 1}}})") << QByteArray("status.NORV_ReaderClose.arg: NORV_ReaderClose has no argument");
        QTest::newRow("open zero") << QByteArray(R"({"open": {"failure_status": 0}})") << QByteArray("open.failure_status: must not be 0");
    }

    void loadErrorsNameTheKey()
    {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, error);
        QCOMPARE(FApi.load(R"({"version": "kept"})"), 0);
        QCOMPARE(FApi.lastError(), "");
        QCOMPARE(FApi.load(json.constData()), -1);
        QVERIFY2(QByteArray(FApi.lastError()).startsWith(error), FApi.lastError());
        QCOMPARE(FApi.text(FApi.library), QByteArray("kept"));
    }

    void loadFileErrors()
    {
        QCOMPARE(FApi.loadFile("/nonexistent/scenario.json"), -1);
        QVERIFY2(QByteArray(FApi.lastError()).startsWith("/nonexistent/scenario.json: cannot open"), FApi.lastError());
        QCOMPARE(FApi.loadFile(QTemporaryDir().path().toLocal8Bit().constData()), -1); // a folder
        QVERIFY2(QByteArray(FApi.lastError()).endsWith(": cannot read: Is a directory"), FApi.lastError());
    }

    // Every text export under every text form; guard bytes after `size`
    // show that nothing is written past it.
    void textOutputs_data()
    {
        QTest::addColumn<QByteArray>("spec");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("short") << QByteArray(R"("abc")") << 8 << QByteArray("abc\0", 4);
        QTest::newRow("utf-8 as is") << QByteArray(R"("\u00e9")") << 8 << QByteArray("\xC3\xA9\0", 3);
        QTest::newRow("no terminator") << QByteArray(R"({"text": "abc", "terminator": false})") << 8 << QByteArray("abc");
        QTest::newRow("one short of size") << QByteArray(R"("abc")") << 4 << QByteArray("abc\0", 4);
        QTest::newRow("exactly size") << QByteArray(R"("abcd")") << 4 << QByteArray("abcd");
        QTest::newRow("repeated, long") << QByteArray(R"({"text": "ab", "repeat": 300})") << 257 << QByteArray("ab").repeated(129).left(257);
        QTest::newRow("cut when long") << QByteArray(R"({"text": "abcdef", "when_long": "cut"})") << 4 << QByteArray("abc\0", 4);
        QTest::newRow("hex") << QByteArray(R"({"hex": "C3 A9 FF 00"})") << 8 << QByteArray("\xC3\xA9\xFF\0\0", 5);
        QTest::newRow("empty") << QByteArray(R"("")") << 1 << QByteArray("\0", 1);
        QTest::newRow("size 0") << QByteArray(R"("abc")") << 0 << QByteArray();
        QTest::newRow("negative size") << QByteArray(R"("abc")") << -1 << QByteArray();
    }

    void textOutputs()
    {
        QFETCH(QByteArray, spec);
        QFETCH(int, size);
        QFETCH(QByteArray, written);
        const struct { const char *key; TextFn fn; } exports[] = {
            {"version", FApi.library}, {"comm_list", FApi.commList},
            {"device_text", FApi.device}, {"firmware", FApi.firmware}};
        for (const auto &e : exports) {
            QCOMPARE(FApi.load(("{\"" + QByteArray(e.key) + "\": " + spec + "}").constData()), 0);
            QByteArray buffer(qMax(size, 0) + 16, '\x55');
            QCOMPARE(e.fn(buffer.data(), size), int16_t(0));
            QCOMPARE(buffer.left(written.size()), written);
            QCOMPARE(buffer.mid(written.size()), QByteArray(buffer.size() - written.size(), '\x55'));
        }
    }

    void statusRules()
    {
        QCOMPARE(FApi.load(R"({"echo_delay_ms": {},
            "status": {"NORV_ReaderGetFeatures": -100, "NORV_GetLibraryA": {"status": -7, "from_call": 2},
                       "NORV_Echo": [{"status": -243, "arg": 768, "from_call": 3}],
                       "NORV_ControlRF": {"status": -5, "arg": "0x00", "from_call": 2, "to_call": 2}}})"), 0);
        uint32_t word = 0xDEADBEEF;
        QCOMPARE(FApi.features(&word), int16_t(-100));
        QCOMPARE(word, 0xDEADBEEFu); // a failing call writes nothing

        char buffer[8] = "xxxxxxx";
        QCOMPARE(FApi.library(buffer, 4), int16_t(0));
        QCOMPARE(FApi.library(buffer, 8), int16_t(-7));
        QCOMPARE(QByteArray(buffer, 8), QByteArray("Norvxxx\0", 8));

        // Only the 768-byte echoes count; the third fails and all after it.
        const uint16_t lengths[] = {768, 128, 768, 256, 0, 768, 128, 768};
        const int16_t expected[] = {0, 0, 0, 0, 0, -243, 0, -243};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(FApi.echo(lengths[i]), expected[i]);

        QCOMPARE(FApi.controlRf(0), int16_t(0));
        QCOMPARE(FApi.controlRf(1), int16_t(0));
        QCOMPARE(FApi.controlRf(0), int16_t(-5));
        QCOMPARE(FApi.controlRf(0), int16_t(0));

        FApi.reset();
        QCOMPARE(FApi.features(&word), int16_t(0));
        QCOMPARE(word, 0x0047F361u);
    }

    void findResultsCycle()
    {
        QCOMPARE(FApi.load(R"({"find_results": [
            {"type": 2, "uid": "01020304"}, {"status": -1},
            {"type": 3, "uid": "00112233445566778899AABBCCDD", "uid_length": 200}],
            "status": {"NORV_Find": {"status": -9, "arg": "0x0001"}}})"), 0);
        struct Expected { int16_t status; uint16_t type; QByteArray uid; uint8_t length; };
        const Expected cycle[] = {
            {0, 2, QByteArray::fromHex("01020304"), 4},
            {-1, 0xEEEE, QByteArray(12, '\xEE'), 12},
            {0, 3, QByteArray::fromHex("00112233445566778899AABB"), 200},
            {0, 2, QByteArray::fromHex("01020304"), 4}};
        for (const Expected &e : cycle) {
            uint8_t uid[16];
            memset(uid, 0xEE, sizeof uid);
            uint16_t type = 0xEEEE;
            uint8_t length = 12;
            QCOMPARE(FApi.find(0x0001, &type, uid, &length), int16_t(-9)); // uses up no result
            QCOMPARE(FApi.find(0xFFFF, &type, uid, &length), e.status);
            QCOMPARE(type, e.type);
            QCOMPARE(length, e.length);
            QCOMPARE(QByteArray(reinterpret_cast<char *>(uid), e.uid.size()), e.uid);
            QCOMPARE(QByteArray(reinterpret_cast<char *>(uid) + 12, 4), QByteArray(4, '\xEE'));
        }
        uint8_t uid[4] = {0xEE, 0xEE, 0xEE, 0xEE}, length = 2; // a caller's smaller buffer
        QCOMPARE(FApi.find(0xFFFF, nullptr, uid, &length), int16_t(-1));
        QCOMPARE(length, uint8_t(2));
        QCOMPARE(FApi.find(0xFFFF, nullptr, uid, &length), int16_t(0));
        QCOMPARE(length, uint8_t(200));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(uid), 4), QByteArray::fromHex("0011EEEE"));
    }

    void errorMessages()
    {
        const char *kept = FApi.errorMessage(-100);
        QCOMPARE(kept, "Function not supported by the reader");
        QCOMPARE(FApi.errorMessage(-5), "Norvane error -5");
        QCOMPARE(FApi.load(R"({"error_messages": {"-12": null, "7": "Seven"}, "unknown_messages_null": true})"), 0);
        QVERIFY(!FApi.errorMessage(-12));
        QVERIFY(!FApi.errorMessage(-100));
        QCOMPARE(FApi.errorMessage(7), "Seven");
        QCOMPARE(kept, "Function not supported by the reader"); // still owned by the library
    }

    void callLogLines()
    {
        char text[300];
        uint8_t bytes[17], length = 12;
        uint16_t type;
        uint32_t word;
        FApi.library(text, 257);
        FApi.commList(text, 300);
        FApi.errorMessage(-100);
        FApi.open("auto");
        FApi.open(nullptr);
        FApi.open("a\"b\\c\x01\xC3\xA9~");
        FApi.close();
        FApi.controlRf(0);
        FApi.echo(128);
        FApi.find(0xFFFF, &type, bytes, &length);
        FApi.find(0x0A, &type, bytes, nullptr);
        FApi.device(text, 256);
        FApi.firmware(text, 256);
        FApi.rc500Id(bytes, bytes);
        FApi.setSettings(0x1D);
        FApi.getSettings(&word);
        FApi.features(&word);
        FApi.consts(&word);
        const QByteArray log = FApi.log();
        QCOMPARE(log.split('\n'), QByteArrayList({
            "NORV_GetLibraryA(257)", "NORV_GetCommListA(300)", "NORV_GetErrorMessage(-100)",
            "NORV_ReaderOpenA(\"auto\")", "NORV_ReaderOpenA(NULL)",
            "NORV_ReaderOpenA(\"a\\x22b\\x5Cc\\x01\\xC3\\xA9~\")", "NORV_ReaderClose()",
            "NORV_ControlRF(0)", "NORV_Echo(128)", "NORV_Find(0xFFFF,12)", "NORV_Find(0x000A,NULL)",
            "NORV_ReaderGetDeviceA(256)", "NORV_ReaderGetFirmwareA(256)", "NORV_ReaderGetRc500Id()",
            "NORV_ReaderSetDeviceSettings(0x0000001D)", "NORV_ReaderGetDeviceSettings()",
            "NORV_ReaderGetFeatures()", "NORV_ReaderGetConsts()", ""}));

        char cut[6];
        QCOMPARE(FApi.callLog(cut, sizeof cut), size_t(log.size()));
        QCOMPARE(QByteArray(cut, sizeof cut), QByteArray("NORV_\0", 6));
        FApi.clearLog();
        QCOMPARE(FApi.callLog(nullptr, 0), size_t(0));
    }

    // Each variant lacks exactly the exports it omits; dlclose unloads a
    // variant, so loading it again reads NORVSIM_SCENARIO again.
    void variants()
    {
        auto library = [](const QByteArray &folder) { return kStandinDir + "/" + folder + "/libnorvane.so"; };
        for (const char *omitted : kExports) {
            Api variant;
            QVERIFY(!variant.bind(library(QByteArray("no_") + omitted)));
            QVERIFY2(variant.handle, dlerror());
            for (const char *name : kExports)
                QCOMPARE(!dlsym(variant.handle, ("NORV_" + QByteArray(name)).constData()), qstrcmp(name, omitted) == 0);
            QVERIFY(variant.reset && variant.callLog);
            dlclose(variant.handle);
        }
        void *none = dlopen(library("none").constData(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(none, dlerror());
        for (const char *name : kExports)
            QVERIFY(!dlsym(none, ("NORV_" + QByteArray(name)).constData()));
        QVERIFY(dlsym(none, "norvsim_call_log"));
        dlclose(none);
        QVERIFY(!dlopen(library("corrupt").constData(), RTLD_NOW | RTLD_LOCAL));

        QTemporaryFile file;
        QVERIFY(file.open());
        const QByteArray path = file.fileName().toLocal8Bit();
        const struct { QByteArray json, version, error; } cases[] = {
            {R"({"version": "from the file"})", "from the file", ""},
            {R"({"vershun": "x"})", "Norvane API stand-in 4.2.1 (simulated reader)",
             path + ": vershun: unknown key"}};
        for (const auto &c : cases) {
            file.resize(0);
            file.write(c.json);
            file.flush();
            qputenv("NORVSIM_SCENARIO", path);
            Api variant;
            variant.bind(library("no_Echo"));
            qunsetenv("NORVSIM_SCENARIO");
            QVERIFY(variant.handle);
            QVERIFY2(QByteArray(variant.lastError()).startsWith(c.error), variant.lastError());
            variant.reset();
            QCOMPARE(variant.text(variant.library), c.version);
            dlclose(variant.handle);
        }
    }
};

QTEST_APPLESS_MAIN(TestStandin)
#include "tst_standin.moc"
