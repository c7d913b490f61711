// The library binding against the builds of the stand-in reader library:
// loading, the status codes and their messages, the device list, the
// version query, disconnecting and the end hook.
#include "qarntest.h"
#include "uQarnDyn.h"
#include "uQarnDynPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QtTest>

#include <dlfcn.h>

using qarntest::LoadStandIn;
using qarntest::StandIn;

namespace {

const std::string kNotLoaded =
    "ERROR : norvane.dll not found or can't be loaded. Please run the installation procedure again !";
const std::string kCorrupted =
    "ERROR : norvane.dll appears to be corrupted. Please run the installation procedure again !";
const std::string kNotOnPort = "Reader not found on specified port. Please ensure your device is "
                               "powered on, and plugged onto the right port.";
const std::string kNotFound = "Reader not found. Please ensure your device is powered on, and "
                              "plugged onto a valid computer port.";

std::string Message(TQarnStatus code)
{
    std::string text = "untouched";
    DynGetErrorMessage(code, text);
    return text;
}

std::vector<std::string> CommList(TQarnStatus *status = nullptr)
{
    std::vector<std::string> list;
    const TQarnStatus result = DynGetCommList(list);
    if (status)
        *status = result;
    return list;
}

} // namespace

class TestBinding : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qarntest::UnloadStandIn(); }

    void withoutLibrary_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::newRow("no file") << QString();
        QTest::newRow("not a library") << QStringLiteral("corrupt");
    }
    void withoutLibrary()
    {
        QFETCH(QString, variant);
        LoadStandIn(variant);

        std::string version = "old version";
        std::string path = "old path";
        QCOMPARE(DynGetLibraryInfo(version, path), QARN_LIBRARY_NOT_LOADED);
        QCOMPARE(version, std::string());
        QCOMPARE(path, std::string("old path"));

        for (TQarnStatus code : {QARN_LIBRARY_NOT_LOADED, QARN_ENTRY_POINT_MISSING,
                                 QARN_READER_NOT_FOUND, TQarnStatus(-5), TQarnStatus(0)})
            QCOMPARE(Message(code), kNotLoaded);

        std::vector<std::string> list{"kept"};
        QCOMPARE(DynGetCommList(list), QARN_LIBRARY_NOT_LOADED);
        QCOMPARE(list, std::vector<std::string>{"kept"});

        std::string device = "COM3", firmware = "f", hwid = "h", snr = "s";
        uint32_t settings = 0x1D, consts = 7, features = 9;
        QCOMPARE(DynConnect(device, firmware, hwid, snr, settings, consts, features),
                 QARN_ENTRY_POINT_MISSING);
        QCOMPARE(device, std::string("COM3"));
        QVERIFY(firmware.empty() && hwid.empty() && snr.empty());
        QCOMPARE(settings, 0x1Du);
        QCOMPARE(consts, 0u);
        QCOMPARE(features, 0u);

        std::string uid = "uid", type = "type";
        QCOMPARE(DynFindCard(uid, type), QARN_ENTRY_POINT_MISSING);
        QCOMPARE(uid, std::string("uid"));
        QCOMPARE(type, std::string("type"));

        TEchoAverage a{true, 5}, b{true, 5}, c{true, 5};
        QCOMPARE(DynBenchmark(a, b, c), QARN_OK);
        QVERIFY(!a.measured && !b.measured && !c.measured);

        DynDisconnect(); // nothing to call, nothing to break
    }

    void libraryInfo()
    {
        LoadStandIn(QStringLiteral("default"));
        std::string version, path;
        QCOMPARE(DynGetLibraryInfo(version, path), QARN_OK);
        QVERIFY(!version.empty());
        const QString expected =
            QFileInfo(qarntest::StandInFolder(QStringLiteral("default")) + "/libnorvane.so")
                .canonicalFilePath();
        QCOMPARE(QString::fromStdString(path), expected);
        QCOMPARE(StandIn::CallLog(), QStringList{QStringLiteral("NORV_GetLibraryA(257)")});
    }

    void libraryInfoVersionCutTo256_data()
    {
        QTest::addColumn<QByteArray>("versionSpec");
        QTest::addColumn<int>("expectedLength");
        QTest::newRow("256") << QByteArray(R"({"text":"v","repeat":256})") << 256;
        QTest::newRow("257, no terminator")
            << QByteArray(R"({"text":"v","repeat":257,"terminator":false})") << 256;
        QTest::newRow("4000, no terminator")
            << QByteArray(R"({"text":"v","repeat":4000,"terminator":false})") << 256;
        QTest::newRow("empty") << QByteArray(R"("")") << 0;
    }
    void libraryInfoVersionCutTo256()
    {
        QFETCH(QByteArray, versionSpec);
        QFETCH(int, expectedLength);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(("{\"version\":" + versionSpec + "}").constData()));
        std::string version, path;
        QCOMPARE(DynGetLibraryInfo(version, path), QARN_OK);
        QCOMPARE(int(version.size()), expectedLength);
        QCOMPARE(version, std::string(std::size_t(expectedLength), 'v'));
    }

    void libraryInfoFailingStatusKeepsPath()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(R"({"status":{"NORV_GetLibraryA":-7}})"));
        std::string version = "x", path;
        QCOMPARE(DynGetLibraryInfo(version, path), TQarnStatus(-7));
        QCOMPARE(version, std::string());
        QVERIFY(!path.empty());
    }

    void libraryWithoutVersionEntry()
    {
        LoadStandIn(QStringLiteral("no_GetLibraryA"));
        std::string version = "x", path;
        QCOMPARE(DynGetLibraryInfo(version, path), QARN_ENTRY_POINT_MISSING);
        QCOMPARE(version, std::string());
        QVERIFY(QString::fromStdString(path).endsWith(QStringLiteral("/no_GetLibraryA/libnorvane.so")));
        QCOMPARE(StandIn::CallLog(), QStringList());
    }

    // The file behind the loaded library is gone: its path cannot be told,
    // the version is still read.
    void libraryPathUnavailable()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::copy(qarntest::StandInFolder(QStringLiteral("default")) + "/libnorvane.so",
                            folder.path() + "/libnorvane.so"));
        qarntest::UnloadStandIn();
        qarn::platform::SetProgramFolderOverride(folder.path().toStdString());
        DynStartHook();
        QVERIFY(QFile::remove(folder.path() + "/libnorvane.so"));
        std::string version, path;
        QCOMPARE(DynGetLibraryInfo(version, path), QARN_OK);
        QCOMPARE(path, std::string("???"));
        QVERIFY(!version.empty());
    }

    void errorMessages()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(
            R"({"error_messages":{"-999":"library -999","-100":"not supported","-12":null}})"));
        StandIn::ClearLog();

        QCOMPARE(Message(-999), std::string("library -999"));
        QCOMPARE(Message(-100), std::string("not supported"));
        QCOMPARE(Message(-12), std::string("ERROR : unsupported error code -12"));
        QCOMPARE(Message(QARN_LIBRARY_NOT_LOADED), kNotLoaded);
        QCOMPARE(Message(QARN_ENTRY_POINT_MISSING), kCorrupted);
        QCOMPARE(Message(QARN_READER_NOT_FOUND_ON_PORT), kNotOnPort);
        QCOMPARE(Message(QARN_READER_NOT_FOUND), kNotFound);
        QCOMPARE(Message(QARN_STOPPED), std::string("Stopped on request before the end"));
        QCOMPARE(Message(-1005), std::string("ERROR : unsupported error code -1005"));
        QCOMPARE(Message(-32768), std::string("ERROR : unsupported error code -32768"));
        // -999 and above go to the library, -1000 and below never do.
        QCOMPARE(StandIn::CallLog(),
                 (QStringList{"NORV_GetErrorMessage(-999)", "NORV_GetErrorMessage(-100)",
                              "NORV_GetErrorMessage(-12)"}));

        StandIn::ClearLog();
        Message(0);
        Message(32767);
        QCOMPARE(StandIn::CallLog(),
                 (QStringList{"NORV_GetErrorMessage(0)", "NORV_GetErrorMessage(32767)"}));
    }

    void errorMessagesWithoutMessageEntry()
    {
        LoadStandIn(QStringLiteral("no_GetErrorMessage"));
        for (TQarnStatus code : {TQarnStatus(0), TQarnStatus(-100), QARN_LIBRARY_NOT_LOADED,
                                 QARN_READER_NOT_FOUND_ON_PORT, QARN_READER_NOT_FOUND,
                                 TQarnStatus(-2000)})
            QCOMPARE(Message(code), kCorrupted);
    }

    void commList_data()
    {
        QTest::addColumn<QByteArray>("listSpec");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("last line without line feed")
            << QByteArray(R"("COM1=a\nCOM2=b")") << QStringList{"COM1=a"};
        QTest::newRow("CR LF kept in the line")
            << QByteArray(R"("COM1=a\r\nCOM2=b\r\n")") << QStringList{"COM1=a\r", "COM2=b\r"};
        QTest::newRow("empty text") << QByteArray(R"("")") << QStringList{};
        QTest::newRow("two line feeds in a row")
            << QByteArray(R"("COM1=a\n\nCOM2=b\n")") << QStringList{"COM1=a", "", "COM2=b"};
        QTest::newRow("starts with a line feed") << QByteArray(R"("\nX=1\n")") << QStringList{"", "X=1"};
        QTest::newRow("no equals sign") << QByteArray(R"("plain\n")") << QStringList{"plain"};
    }
    void commList()
    {
        QFETCH(QByteArray, listSpec);
        QFETCH(QStringList, expected);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(("{\"comm_list\":" + listSpec + "}").constData()));
        TQarnStatus status = -1;
        QStringList lines;
        for (const std::string &line : CommList(&status))
            lines << QString::fromStdString(line);
        QCOMPARE(status, QARN_OK);
        QCOMPARE(lines, expected);
        QCOMPARE(StandIn::CallLog(), QStringList{"NORV_GetCommListA(4096)"});
    }

    // 4096 bytes with no terminator: the last byte counts as one, so the
    // text is 4095 bytes and its unfinished last line is dropped.
    void commListFillsWholeBuffer()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(
            R"({"comm_list":{"text":"COMx=1\n","repeat":600,"terminator":false}})"));
        std::vector<std::string> list{"already there"};
        QCOMPARE(DynGetCommList(list), QARN_OK);
        // 4095 bytes hold 585 whole lines of 7 bytes.
        QCOMPARE(int(list.size()), 1 + 585);
        QCOMPARE(list.front(), std::string("already there"));
        QCOMPARE(list.back(), std::string("COMx=1"));
    }

    void commListFailingStatusLeavesList()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(R"({"status":{"NORV_GetCommListA":-3}})"));
        std::vector<std::string> list{"kept"};
        QCOMPARE(DynGetCommList(list), TQarnStatus(-3));
        QCOMPARE(list, std::vector<std::string>{"kept"});

        LoadStandIn(QStringLiteral("no_GetCommListA"));
        QCOMPARE(DynGetCommList(list), QARN_ENTRY_POINT_MISSING);
        QCOMPARE(list, std::vector<std::string>{"kept"});
    }

    // Disconnecting, by itself and as the end hook does it: RF off, then the
    // reader closed, whether or not a reader is open and whatever the RF-off
    // call answers.
    void disconnect_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<bool>("readerOpen");
        QTest::addColumn<bool>("endHook");
        QTest::addColumn<QStringList>("calls");
        const QStringList both{"NORV_ControlRF(0)", "NORV_ReaderClose()"};
        const QByteArray rfFails = R"({"status":{"NORV_ControlRF":-27}})";
        QTest::newRow("no reader open") << "default" << QByteArray() << false << false << both;
        QTest::newRow("reader open") << "default" << QByteArray() << true << false << both;
        QTest::newRow("RF off fails") << "default" << rfFails << true << false << both;
        QTest::newRow("no ReaderClose") << "no_ReaderClose" << QByteArray() << true << false
                                        << QStringList{"NORV_ControlRF(0)"};
        QTest::newRow("end hook, reader open") << "default" << QByteArray() << true << true << both;
        QTest::newRow("end hook, RF off fails") << "default" << rfFails << true << true << both;
    }
    void disconnect()
    {
        QFETCH(QString, variant);
        QFETCH(QByteArray, scenario);
        QFETCH(bool, readerOpen);
        QFETCH(bool, endHook);
        QFETCH(QStringList, calls);
        LoadStandIn(variant);
        // Held here too, so that the call log outlives the end hook's unload.
        void *held = ::dlopen(QFile::encodeName(qarntest::StandInFolder(variant) +
                                                QStringLiteral("/libnorvane.so")).constData(),
                              RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(held);
        const auto release = qScopeGuard([held]() { ::dlclose(held); });
        if (!scenario.isEmpty())
            QVERIFY(StandIn::Scenario(scenario.constData()));
        if (readerOpen) {
            std::string device = "auto", firmware, hwid, snr;
            uint32_t settings = 0, consts = 0, features = 0;
            DynConnect(device, firmware, hwid, snr, settings, consts, features);
            QVERIFY(StandIn::CallLog().contains(QStringLiteral("NORV_ReaderOpenA(\"auto\")")));
        }
        StandIn::ClearLog();
        if (endHook)
            DynUnloadLibrary();
        else
            DynDisconnect();
        QCOMPARE(StandIn::CallLog(), calls);
    }

    void hooksActOnce()
    {
        LoadStandIn(QStringLiteral("default"));
        DynStartHook(); // a second start hook does not load again
        std::string version, path;
        QCOMPARE(DynGetLibraryInfo(version, path), QARN_OK);

        DynUnloadLibrary();
        QCOMPARE(DynGetLibraryInfo(version, path), QARN_LIBRARY_NOT_LOADED);
        // The message table is emptied by the end hook.
        QCOMPARE(Message(QARN_LIBRARY_NOT_LOADED), std::string());
        DynUnloadLibrary(); // a second end hook does nothing
        DynDisconnect();
        QCOMPARE(Message(-1), std::string());
    }

    void cardTypeNames()
    {
        QCOMPARE(DynCardTypeName(1), std::string("ISO/IEC 14443-A or NXP Mifare"));
        QCOMPARE(DynCardTypeName(0x80), std::string("Calypso (Innovatron protocol)"));
        QCOMPARE(DynCardTypeName(0), std::string("Unknown type 0000"));
        QCOMPARE(DynCardTypeName(3), std::string("Unknown type 0003"));
        QCOMPARE(DynCardTypeName(0x0100), std::string("Unknown type 0100"));
        QCOMPARE(DynCardTypeName(0xFFFF), std::string("Unknown type FFFF"));
    }

    // Found by the binding fuzzer: an empty text from the library is no
    // message, so the window never shows an empty one; the code is shown.
    void errorMessageEmptyFromLibrary()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(R"({"error_messages":{"-7":"","0":"","-999":" "}})"));
        QCOMPARE(Message(-7), std::string("ERROR : unsupported error code -7"));
        QCOMPARE(Message(0), std::string("ERROR : unsupported error code 0"));
        QCOMPARE(Message(-999), std::string(" "));
    }
};

QTEST_APPLESS_MAIN(TestBinding)
#include "tst_binding.moc"
