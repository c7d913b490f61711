// The PC/SC reader library against a real pcscd: a private daemon with the
// virtual reader driver, virtual cards on its two readers, the library
// loaded into the real binding, and the real main window.  Hostile cards
// check that every bad answer ends in a clear status and that nothing is
// written past the caller's buffers.  The command line runs as the built
// program beside the library.
#include "pcscdtestbed.h"
#include "qarnwindowtest.h"
#include "vcard_card.h"

#include "NorvaneApi.h"
#include "norvpcsc_card.h"
#include "norvpcsc_settings.h"
#include "uDiagnosisReport.h"
#include "uQarnDyn.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <memory>

using namespace qarnvcard;
using qarntest::PcscdTestBed;

Q_DECLARE_METATYPE(TCardBehaviour)

namespace {

const QString kLibraryFolder = QStringLiteral(QARN_PCSC_DIR);
// A find that pcscd itself refuses, with one of the pcsc-lite statuses.
constexpr int kPcscd = 1;

const QString kNotOnPort = QStringLiteral("Reader not found on specified port. Please ensure your "
                                          "device is powered on, and plugged onto the right port.");

TBytes Bytes(const char *hex)
{
    TBytes bytes;
    if (!ParseHex(hex, bytes))
        qFatal("bad hex in a test table: %s", hex);
    return bytes;
}

// count bytes 0x01, 0x12, 0x23, ...
TBytes Uid(int count)
{
    TBytes uid;
    for (int i = 0; i < count; ++i)
        uid.push_back(uint8_t(0x01 + i * 0x11));
    return uid;
}

QString Hex(const TBytes &bytes) { return QString::fromStdString(ToHex(bytes)); }

QByteArray Raw(const TBytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

TCardBehaviour Card(const TBytes &atr, const TBytes &uidAnswer)
{
    TCardBehaviour card;
    card.atr = atr;
    card.uidAnswer = uidAnswer;
    return card;
}

QString Message(TQarnStatus status)
{
    std::string text;
    DynGetErrorMessage(status, text);
    return QString::fromStdString(text);
}

// A status the library explains itself: not the binding's fallback text.
bool Explained(TQarnStatus status)
{
    const QString text = Message(status);
    return !text.isEmpty() && !text.startsWith(QStringLiteral("ERROR : unsupported error code"));
}

TQarnStatus Connect(const std::string &device, uint32_t settings = 0,
                    std::string *deviceText = nullptr, std::string *firmware = nullptr)
{
    std::string outDevice = device, outFirmware, hwid, snr;
    uint32_t consts = 0, features = 0;
    const TQarnStatus status =
        DynConnect(outDevice, outFirmware, hwid, snr, settings, consts, features);
    if (deviceText)
        *deviceText = outDevice;
    if (firmware)
        *firmware = outFirmware;
    return status;
}

QStringList CommList(TQarnStatus *status = nullptr)
{
    std::vector<std::string> lines;
    const TQarnStatus result = DynGetCommList(lines);
    if (status)
        *status = result;
    QStringList list;
    for (const std::string &line : lines)
        list << QString::fromStdString(line);
    return list;
}

template <typename T> T Export(const char *name)
{
    return reinterpret_cast<T>(qarntest::LoadedSymbol(name));
}

// What pcsc_scan, run on the same daemon, reports: its reader list and the
// answer to reset it reads on each reader.
struct TPeerScan {
    QStringList readers;
    QMap<QString, QString> atrs; // reader -> "3B 8F ..."
};

TPeerScan PeerScan()
{
    QProcess scan;
    scan.start(QStringLiteral("timeout"),
               {QStringLiteral("20"), QStringLiteral("pcsc_scan"), QStringLiteral("-n"),
                QStringLiteral("-t"), QStringLiteral("1")});
    scan.waitForFinished(30000);
    TPeerScan result;
    QString reader;
    static const QRegularExpression listed(QStringLiteral("^(\\d+): (.+)$"));
    static const QRegularExpression heading(QStringLiteral("^\\s*Reader \\d+: (.+)$"));
    static const QRegularExpression atr(QStringLiteral("^\\s*ATR: ([0-9A-F ]+)$"));
    const QString output = QString::fromLocal8Bit(scan.readAllStandardOutput());
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        QRegularExpressionMatch match;
        if ((match = listed.match(line)).hasMatch())
            result.readers << match.captured(2).trimmed();
        else if ((match = heading.match(line)).hasMatch())
            reader = match.captured(1).trimmed();
        else if ((match = atr.match(line)).hasMatch() && !reader.isEmpty())
            result.atrs.insert(reader, match.captured(1).trimmed());
    }
    return result;
}

// A whole output line, as a pattern.
QString Line(const QString &text) { return QRegularExpression::escape(text); }

QString SpacedHex(const TBytes &bytes)
{
    QStringList parts;
    for (const uint8_t b : bytes)
        parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestPcsc : public QObject {
    Q_OBJECT

    PcscdTestBed FBed;
    std::array<std::unique_ptr<TVirtualCard>, 2> FCards;

    // Puts a card with this behaviour on the reader of slot (unless it lies
    // there already) and waits until pcscd has seen it leave and the new one
    // come.
    void PutCard(int slot, const TCardBehaviour &behaviour)
    {
        if (FCards[slot]->Connected() && FCards[slot]->Behaviour() == behaviour)
            return;
        FCards[slot]->Remove();
        QVERIFY(PcscdTestBed::WaitForCard(slot, false));
        FCards[slot]->SetBehaviour(behaviour);
        QVERIFY(FCards[slot]->Insert());
        // pcscd takes a card with an empty answer to reset for no card.
        if (!behaviour.atr.empty())
            QVERIFY(PcscdTestBed::WaitForCard(slot, true));
    }

private slots:
    void initTestCase()
    {
        const QString missing = PcscdTestBed::Unavailable();
        if (!missing.isEmpty())
            QARN_SKIP_ALL(qPrintable(QStringLiteral("no pcscd test bed: ") + missing));
        QVERIFY(FBed.Start());
        for (int slot = 0; slot < 2; ++slot)
            FCards[slot] = std::make_unique<TVirtualCard>(FBed.Port(slot));
        PutCard(0, TCardBehaviour{});
        QVERIFY2(QFile::exists(kLibraryFolder + QStringLiteral("/libnorvane.so")),
                 "the PC/SC reader library is not built");
    }

    void init()
    {
        // The test driver's readers are there only for the test that uses
        // them: the others see the two virtual readers alone.
        const int simReaders = QTest::currentTestFunction() == QByteArray("driverReaders") ? 2 : 0;
        if (FBed.SimReaders() != simReaders) {
            FBed.SetSimReaders(simReaders);
            QVERIFY(FBed.Start());
        }
        // Every test starts with the plain card on the first reader and
        // none on the second.
        PutCard(0, TCardBehaviour{});
        if (FCards[1]->Connected()) {
            FCards[1]->Remove();
            QVERIFY(PcscdTestBed::WaitForCard(1, false));
        }
        // The window's session ends the binding's when it closes.
        qarntest::LoadStandIn(kLibraryFolder);
    }

    void cleanup() { DynDisconnect(); }

    void cleanupTestCase()
    {
        qarntest::UnloadStandIn();
        for (auto &card : FCards)
            card.reset();
        FBed.Stop();
    }

    // ---- what the library reads from bytes alone -------------------------------

    // Answers to reset and the card line's type they give.
    void answerToReset_data()
    {
        QTest::addColumn<QByteArray>("atr");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("type");
        const QString a = "ISO/IEC 14443-A or NXP Mifare", b = "ISO/IEC 14443-B";
        const QString none = "Unknown type 0000";
        const auto part4 = [](const char *bytes) { return Raw(Iso14443Part4Atr(Bytes(bytes))); };
        const auto storage = [](uint8_t ss, uint16_t nn) { return Raw(StorageCardAtr(ss, nn)); };
        QTest::newRow("A") << part4("80 73 C8 21 10") << 0 << a;
        QTest::newRow("A, 8 bytes of compact TLV") << part4("80 31 80 64 B0 85 03 00") << 0 << a;
        QTest::newRow("B, family 00") << Raw(Bytes("3B 88 80 01 00 00 00 00 77 81 91 00 6E")) << 0
                                      << b;
        QTest::newRow("B, family E1") << part4("E1 00 00 00 00 81 81 00") << 0 << b;
        QTest::newRow("B, protocol type not 14443-4") << part4("11 22 33 44 00 80 71 80") << 0 << a;
        QTest::newRow("Calypso") << part4("80 5A 0A 01 03 20 03 11 23 45 67 89 82 90 00") << 0
                                 << "Calypso (Innovatron protocol)";
        QTest::newRow("ICODE1") << storage(0x0B, 0x0016) << 0 << "NXP ICODE1";
        QTest::newRow("SR family") << storage(0x07, 0x0006) << 0 << "ST MicroElectronics SR";
        for (const uint16_t name : {0x0017, 0x0019, 0x0020})
            QTest::addRow("PicoTAG family, %04X", name) << storage(0x0B, name) << 0 << "Inside Contactless PicoTAG";
        QTest::newRow("15693") << storage(0x0B, 0x0014) << 0 << "ISO/IEC 15693";
        QTest::newRow("JIS X 6319-4") << storage(0x11, 0x003B) << 0 << none;
        QTest::newRow("contact") << Raw(Bytes("3B 02 14 50")) << 0 << none;
        QByteArray wrongCheck = storage(0x03, 0x0001);
        wrongCheck.back() = char(wrongCheck.back() ^ 0xFF);
        QTest::newRow("wrong TCK") << wrongCheck << 0 << a;
        QTest::newRow("no TCK") << storage(0x03, 0x0001).chopped(1) << 0 << a;
        QTest::newRow("a byte more") << storage(0x03, 0x0001) + '\0' << -122 << "";
        QTest::newRow("cut short") << Raw(Bytes("3B 8F 80 01 80 4F 0C")) << -122 << "";
        QTest::newRow("first byte") << Raw(Bytes("12 34")) << -122 << "";
        QTest::newRow("empty") << QByteArray() << -120 << "";
        QTest::newRow("34 bytes") << QByteArray(34, 0x3B) << -121 << "";
    }
    void answerToReset()
    {
        QFETCH(QByteArray, atr);
        QFETCH(int, status);
        QFETCH(QString, type);
        uint16_t cardType = 0xBEEF;
        const auto *bytes = reinterpret_cast<const uint8_t *>(atr.constData());
        QCOMPARE(int(norvpcsc::CardTypeOfAtr(bytes, std::size_t(atr.size()), cardType)), status);
        QCOMPARE(status ? QString() : QString::fromStdString(DynCardTypeName(cardType)), type);
    }

    void linkSettingsWord_data()
    {
        QTest::addColumn<uint>("channel");
        QTest::addColumn<uint>("word");
        QTest::newRow("USB") << 0x0020u << 0x4Au;
        QTest::newRow("serial") << 0x0001u << 0x02u;
        QTest::newRow("not told") << 0x0000u << 0x102u;
    }
    void linkSettingsWord()
    {
        QFETCH(uint, channel);
        QFETCH(uint, word);
        QCOMPARE(uint(norvpcsc::LinkSettingsWord(uint16_t(channel))), word);
    }

    // ---- the port list and opening a reader ----------------------------------

    // The text exports, called as any Norvane-API program may: cut to the
    // caller's size with room for the zero byte, the port list to whole
    // lines, nothing written past the size.
    void textExports_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("room"); // the caller's size less the whole text's length
        for (const char *name : {"NORV_GetLibraryA", "NORV_ReaderGetDeviceA", "NORV_GetCommListA"})
            for (int room : {-1, 0, 1})
                QTest::addRow("%s, %d", name, room) << QByteArray(name) << room;
    }
    void textExports()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, room);
        const auto text = Export<norv::tGetLibraryA>(name.constData());
        const auto open = Export<norv::tReaderOpenA>("NORV_ReaderOpenA");
        QVERIFY(text && open);
        QCOMPARE(open("auto"), TQarnStatus(0));
        std::array<char, 4096> whole{};
        QCOMPARE(text(whole.data(), int(whole.size())), TQarnStatus(0));
        const QByteArray full(whole.data());
        const int size = int(full.size()) + room;
        QByteArray expected = full.left(size - 1);
        if (name == "NORV_GetCommListA")
            expected.truncate(int(expected.lastIndexOf('\n')) + 1);
        std::array<char, 4096> buffer;
        buffer.fill('#');
        buffer.back() = '\0';
        QCOMPARE(text(buffer.data(), size), TQarnStatus(0));
        QCOMPARE(QByteArray(buffer.data()), expected);
        QVERIFY(std::all_of(buffer.begin() + size, buffer.end() - 1, [](char c) { return c == '#'; }));
        Export<norv::tReaderClose>("NORV_ReaderClose")();
    }


    void portListAndOpen_data()
    {
        QTest::addColumn<QByteArray>("device"); // "@1": the name of the second listed reader
        QTest::addColumn<int>("status");        // DynConnect's
        QTest::addColumn<int>("openStatus");    // NORV_ReaderOpenA's own
        QTest::addColumn<int>("slot");          // the reader opened
        QTest::newRow("auto") << QByteArray("auto") << 0 << 0 << 0;
        QTest::newRow("none named") << QByteArray() << 0 << 0 << 0;
        QTest::newRow("listed name") << QByteArray("@1") << 0 << 0 << 1;
        QTest::newRow("USB") << QByteArray("USB") << -1002 << -103 << -1;
        QTest::newRow("unknown name") << QByteArray("Reader 9") << -1002 << -102 << -1;
        QTest::newRow("auto in capitals") << QByteArray("AUTO") << -1002 << -102 << -1;
    }
    void portListAndOpen()
    {
        QFETCH(QByteArray, device);
        QFETCH(int, status);
        QFETCH(int, openStatus);
        QFETCH(int, slot);

        // One line per reader of pcscd, in its order, each naming it.
        TQarnStatus listStatus = -1;
        const QStringList list = CommList(&listStatus);
        QCOMPARE(listStatus, TQarnStatus(0));
        const QStringList readers = PcscdTestBed::Readers();
        QCOMPARE(readers, QStringList({PcscdTestBed::ReaderName(0), PcscdTestBed::ReaderName(1)}));
        QCOMPARE(list.size(), readers.size());
        QStringList names;
        for (int i = 0; i < list.size(); ++i) {
            QVERIFY2(list[i].contains(QLatin1Char('=')), qPrintable(list[i]));
            QVERIFY2(list[i].contains(readers[i]), qPrintable(list[i]));
            names << list[i].section(QLatin1Char('='), 0, 0);
        }
        QCOMPARE(names.removeDuplicates(), 0);

        if (device == "@1")
            device = names[1].toLocal8Bit();
        std::string deviceText;
        QCOMPARE(Connect(device.toStdString(), 0, &deviceText), TQarnStatus(status));
        if (slot >= 0)
            QCOMPARE(QString::fromStdString(deviceText), readers[slot]);
        else
            QCOMPARE(Message(TQarnStatus(status)), kNotOnPort);
        DynDisconnect();

        // The library's own status, which the binding replaces, says what
        // was not found.
        const auto open = Export<norv::tReaderOpenA>("NORV_ReaderOpenA");
        const auto close = Export<norv::tReaderClose>("NORV_ReaderClose");
        QVERIFY(open && close);
        const TQarnStatus own = open(device.isEmpty() ? nullptr : device.constData());
        close();
        QCOMPARE(own, TQarnStatus(openStatus));
        if (own != 0)
            QVERIFY2(Explained(own), qPrintable(Message(own)));
    }

    // ---- the connection --------------------------------------------------------

    void forcedSettings_data()
    {
        QTest::addColumn<uint>("settings");
        QTest::addColumn<int>("status");
        QTest::newRow("best match") << 0x00u << 0;
        QTest::newRow("protocol 0x04") << 0x04u << -110;
        QTest::newRow("protocol 0x06") << 0x06u << -110;
        QTest::newRow("protocol 0x05") << 0x05u << -110;
        QTest::newRow("speed 0x10") << 0x10u << -111;
        QTest::newRow("speed 0x18") << 0x18u << -111;
        QTest::newRow("both") << 0x15u << -110;
    }
    void forcedSettings()
    {
        QFETCH(uint, settings);
        QFETCH(int, status);
        QCOMPARE(Connect("auto", settings), TQarnStatus(status));
        if (status != 0)
            QVERIFY2(Message(TQarnStatus(status)).contains(QStringLiteral("cannot be forced")),
                     qPrintable(Message(TQarnStatus(status))));
    }

    // The whole sequence through the real window: the device line, the
    // firmware text, then polling a card that comes and goes.
    void windowConnectsAndPolls()
    {
        std::string firmware;
        QCOMPARE(Connect("auto", 0, nullptr, &firmware), TQarnStatus(0));
        DynDisconnect();
        QVERIFY(!firmware.empty());

        qarntest::WindowSession session(kLibraryFolder);
        session.Show();
        TfQarnDiag &w = session.window();
        QVERIFY2(w.eQarnVersion->text().isEmpty(), "connected before the test");
        w.btnTest->click();
        QCOMPARE(session.boxes().boxes.size(), 0);
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("OK"));
        // The virtual reader's driver does not tell its link: the word then
        // holds only "binary", which the window reads as RS232.
        QCOMPARE(w.lbDeviceInfo->text(), QStringLiteral("Connected on ") +
                                             PcscdTestBed::ReaderName(0) +
                                             QStringLiteral(" - RS232 (38400bps), Binary"));
        QCOMPARE(w.eQarnVersion->text(), QString::fromStdString(firmware));
        QCOMPARE(w.eQarnChipsetHWID->text().size(), 15);
        QCOMPARE(w.eQarnChipsetSNR->text().size(), 12);
        QCOMPARE(w.eQarnFeatures->text().size(), 8);
        QVERIFY(w.btnPolling->isEnabled());

        const QString card = QStringLiteral("ISO/IEC 14443-A or NXP Mifare : 04A2197F");
        const QString none = QStringLiteral("No card on the reader");
        w.btnPolling->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.lbCard->text(), card, 5000);
        FCards[0]->Remove();
        QTRY_COMPARE_WITH_TIMEOUT(w.lbCard->text(), none, 5000);
        QVERIFY(FCards[0]->Insert());
        QTRY_COMPARE_WITH_TIMEOUT(w.lbCard->text(), card, 5000);
        QCOMPARE(session.boxes().boxes.size(), 0);
        w.btnPolling->click();
        w.btnTest->click();
        QCOMPARE(w.btnTest->text(), QStringLiteral("Test communication"));
    }

    // ---- finding cards, friendly and hostile -----------------------------------

    void find_data()
    {
        QTest::addColumn<TCardBehaviour>("card");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<int>("type");

        const TBytes uid4 = Bytes("04A2197F");
        const auto storage = [](uint8_t standard) { return StorageCardAtr(standard, 0x0001); };
        QTest::newRow("A, 4-byte UID") << Card(storage(0x03), UidAnswer(uid4)) << 0
                                       << "04A2197F" << 1;
        QTest::newRow("A, 7-byte UID") << Card(storage(0x03), UidAnswer(Uid(7))) << 0
                                       << Hex(Uid(7)) << 1;
        QTest::newRow("B, 10-byte UID") << Card(storage(0x07), UidAnswer(Uid(10))) << 0
                                        << Hex(Uid(10)) << 2;
        QTest::newRow("ISO 15693") << Card(storage(0x0B), UidAnswer(uid4)) << 0 << "04A2197F"
                                   << 4;
        QTest::newRow("no standard") << Card(storage(0x00), UidAnswer(uid4)) << 0
                                     << "04A2197F" << 0;
        QTest::newRow("14443-4 A") << Card(Iso14443Part4Atr(Bytes("80 73 C8 21 10")),
                                           UidAnswer(uid4))
                                   << 0 << "04A2197F" << 1;
        QTest::newRow("14443-4 B") << Card(Iso14443Part4Atr(Bytes("11 22 33 44 00 81 71 80")),
                                           UidAnswer(uid4))
                                   << 0 << "04A2197F" << 2;
        QTest::newRow("contact card ATR") << Card(Bytes("3B 02 14 50"), UidAnswer(uid4)) << 0
                                          << "04A2197F" << 0;
        QTest::newRow("UID of 11") << Card(storage(0x03), UidAnswer(Uid(11))) << 0
                                   << Hex(Uid(11)) << 1;
        QTest::newRow("UID of 12") << Card(storage(0x03), UidAnswer(Uid(12))) << 0
                                   << Hex(Uid(12)) << 1;
        // Hostile answers: a clear status, nothing written.
        QTest::newRow("UID of 0") << Card(storage(0x03), Bytes("9000")) << -133 << "" << 0;
        QTest::newRow("UID of 13") << Card(storage(0x03), UidAnswer(Uid(13))) << -132 << "" << 0;
        QTest::newRow("UID of 200") << Card(storage(0x03), UidAnswer(Uid(200))) << -132 << ""
                                    << 0;
        QTest::newRow("UID, no status word") << Card(storage(0x03), Bytes("04")) << -130 << ""
                                             << 0;
        QTest::newRow("UID, error status") << Card(storage(0x03), Bytes("6A81")) << -131 << ""
                                           << 0;
        QTest::newRow("UID, 6D 00") << Card(storage(0x03), Bytes("6D00")) << -131 << "" << 0;
        QTest::newRow("UID, 62 82") << Card(storage(0x03), Bytes("04A2197F 6282")) << 0
                                    << "04A2197F" << 1;
        QTest::newRow("UID, 62 82 alone") << Card(storage(0x03), Bytes("6282")) << -131 << "" << 0;
        QTest::newRow("UID, bytes as status") << Card(storage(0x03), uid4) << -131 << "" << 0;
        TBytes badCheck = storage(0x03);
        badCheck.back() ^= 0xFF;
        QTest::newRow("ATR, wrong check byte") << Card(badCheck, UidAnswer(uid4)) << 0
                                               << "04A2197F" << 1;
        QTest::newRow("ATR, cut short") << Card(Bytes("3B 8F 80 01 80 4F 0C"), UidAnswer(uid4))
                                        << -122 << "" << 0;
        // pcscd itself refuses these: its status, explained.
        QTest::newRow("ATR, bad first byte") << Card(Bytes("12 34"), UidAnswer(uid4)) << kPcscd
                                             << "" << 0;
        QTest::newRow("ATR, empty") << Card(TBytes(), UidAnswer(uid4)) << -1 << "" << 0;
        QTest::newRow("ATR, 40 bytes") << Card(TBytes(40, 0x3B), UidAnswer(uid4)) << kPcscd
                                       << "" << 0;
    }
    void find()
    {
        QFETCH(TCardBehaviour, card);
        QFETCH(int, status);
        QFETCH(QString, uid);
        QFETCH(int, type);
        PutCard(0, card);
        QCOMPARE(Connect("auto"), TQarnStatus(0));

        // Straight to the export, with guard bytes after the 12-byte buffer.
        const auto find = Export<norv::tFind>("NORV_Find");
        QVERIFY(find);
        std::array<uint8_t, 32> buffer;
        buffer.fill(0xA5);
        uint16_t cardType = 0xBEEF;
        uint8_t length = 12;
        const TQarnStatus own = find(0xFFFF, &cardType, buffer.data(), &length);
        for (std::size_t i = 12; i < buffer.size(); ++i)
            QCOMPARE(buffer[i], uint8_t(0xA5));
        if (status == kPcscd)
            QVERIFY2(own <= -300 && own > -500, qPrintable(QString::number(own)));
        else
            QCOMPARE(own, TQarnStatus(status));
        if (own == 0) {
            QCOMPARE(Hex(TBytes(buffer.begin(), buffer.begin() + length)), uid);
            QCOMPARE(int(cardType), type);
        } else if (own != -1) {
            QVERIFY2(Explained(own), qPrintable(Message(own)));
        }
        // A refusal tells the card's status word.
        if (own == -131)
            QVERIFY2(Message(own).endsWith(SpacedHex(TBytes(card.uidAnswer.end() - 2,
                                                             card.uidAnswer.end())) + ')'),
                     qPrintable(Message(own)));

        // Through the binding, as the window polls.
        std::string uidText = "old", typeName = "old";
        QCOMPARE(DynFindCard(uidText, typeName), own);
        QCOMPARE(QString::fromStdString(uidText), status == 0 ? uid : QStringLiteral("old"));
        QCOMPARE(typeName, status == 0 ? DynCardTypeName(uint16_t(type)) : std::string("old"));
    }

    // A card that leaves between two polls, before or after pcscd has
    // noticed, or in the middle of one: "no card", never an error, and the
    // card is found again when it comes back.  The virtual driver answers
    // an exchange with a card that has just gone by an empty answer.
    void cardLeaves_data()
    {
        QTest::addColumn<bool>("midPoll");
        QTest::addColumn<bool>("noticed");
        QTest::newRow("between polls, pcscd knows") << false << true;
        QTest::newRow("between polls, pcscd not yet") << false << false;
        QTest::newRow("on the UID request") << true << false;
    }
    void cardLeaves()
    {
        QFETCH(bool, midPoll);
        QFETCH(bool, noticed);
        QCOMPARE(Connect("auto"), TQarnStatus(0));
        std::string uid, type;
        if (midPoll) {
            TCardBehaviour leaving;
            leaving.leaveAtApdu = 1;
            PutCard(0, leaving);
        } else {
            QCOMPARE(DynFindCard(uid, type), TQarnStatus(0));
            FCards[0]->Remove();
            if (noticed)
                QVERIFY(PcscdTestBed::WaitForCard(0, false));
        }
        const TQarnStatus status = DynFindCard(uid, type);
        QVERIFY2(status == -1, qPrintable(QStringLiteral("%1: %2").arg(status).arg(Message(status))));
        QVERIFY(FCards[0]->WaitLeft(1000));
        QVERIFY(PcscdTestBed::WaitForCard(0, false));
        QCOMPARE(DynFindCard(uid, type), TQarnStatus(-1));

        PutCard(0, TCardBehaviour{});
        uid.clear();
        QCOMPARE(DynFindCard(uid, type), TQarnStatus(0));
        QCOMPARE(uid, std::string("04A2197F"));
    }

    // ---- the echo benchmark --------------------------------------------------------

    void echoBenchmark_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QByteArray>("answer"); // to every echo command; empty: the echo
        QTest::addColumn<int>("leaveAt"); // the command the card leaves at; -1: after the open, -2: before
        QTest::addColumn<int>("status");
        QTest::newRow("echo") << true << QByteArray() << 0 << 0;
        // Not supported: every series ends quietly, "Test not available".
        QTest::newRow("no echo") << false << QByteArray() << 0 << 0;
        for (const char *word : {"6800", "6A81", "6E00"})
            QTest::newRow(word) << true << QByteArray(word) << 0 << 0;
        QTest::newRow("card leaves after the probe") << true << QByteArray() << 1 << 0;
        QTest::newRow("refused") << true << QByteArray("6F00") << 0 << -141;
        QTest::newRow("other data") << true << QByteArray("00 9000") << 0 << -140;
        QTest::newRow("no status word") << true << QByteArray("00") << 0 << -140;
        QTest::newRow("no card") << true << QByteArray() << -1 << -142;
        QTest::newRow("no card from the open") << true << QByteArray() << -2 << -142;
    }
    void echoBenchmark()
    {
        QFETCH(bool, echo);
        QFETCH(QByteArray, answer);
        QFETCH(int, leaveAt);
        QFETCH(int, status);
        TCardBehaviour card;
        card.echo = echo;
        card.echoDelayMs = 2;
        card.echoAnswer = Bytes(answer.constData());
        card.leaveAtApdu = unsigned(std::max(leaveAt, 0));
        PutCard(0, card);
        for (const int step : {-2, 0, -1}) { // the card leaves before the open, the open, after it
            if (step == 0) {
                QCOMPARE(Connect("auto"), TQarnStatus(0));
            } else if (leaveAt == step) {
                FCards[0]->Remove();
                QVERIFY(PcscdTestBed::WaitForCard(0, false));
            }
        }
        const unsigned before = FCards[0]->ApduCount();

        TEchoAverage averages[3];
        const TQarnStatus result = DynBenchmark(averages[0], averages[1], averages[2]);
        QCOMPARE(result, TQarnStatus(status));
        if (status != 0) {
            // A wrong echo is never taken for a measured one.
            QVERIFY2(Explained(result), qPrintable(Message(result)));
            QVERIFY2(status != -141 || Message(result).endsWith("(status word 6F 00)"),
                     qPrintable(Message(result)));
            return;
        }
        const bool measured = echo && answer.isEmpty() && leaveAt == 0;
        for (const TEchoAverage &average : averages) {
            QCOMPARE(average.measured, measured);
            // Each exchange waits for the card's delay at least.
            QVERIFY(!measured || average.milliseconds > 0);
        }
        // Each of the 75 exchanges reaches the card, in commands of at most
        // 255 bytes (768 bytes: four of them).
        const unsigned commands = FCards[0]->ApduCount() - before;
        if (measured)
            QVERIFY2(commands >= 25 * (1 + 2 + 4), qPrintable(QString::number(commands)));
        for (const TBytes &apdu : FCards[0]->RecentApdus())
            if (apdu.size() >= 5 && apdu[0] == 0x80 && apdu[1] == 0xEE)
                QCOMPARE(apdu.size(), std::size_t(apdu[4]) + 6);
    }

    // NORVANE_PCSC_TRACE: each PC/SC call with its result, and every
    // command and answer in hex, while the variable is set.
    void trace()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trace.log"));
        qputenv("NORVANE_PCSC_TRACE", path.toLocal8Bit());
        QCOMPARE(Connect("auto"), TQarnStatus(0));
        std::string uid, type;
        QCOMPARE(DynFindCard(uid, type), TQarnStatus(0));
        qunsetenv("NORVANE_PCSC_TRACE");
        DynDisconnect();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString trace = QString::fromUtf8(file.readAll());
        const QString atr = SpacedHex(FCards[0]->Behaviour().atr);
        const QString reader = PcscdTestBed::ReaderName(0);
        const QStringList parts = {"SCardConnect(context 0x", '"' + reader + "\", share 2",
                                   "< " + atr + '\n', "SCardTransmit(card 0x", " = 0x00000000 ",
                                   "> FF CA 00 00 00\nnorvpcsc     < 04 A2 19 7F 90 00\n"};
        for (const QString &part : parts)
            QVERIFY2(trace.contains(part), qPrintable(part + " not in:\n" + trace));
        QVERIFY2(!trace.contains(QStringLiteral("SCardReleaseContext")), qPrintable(trace));
    }

    // ---- the command line --------------------------------------------------------

    // The built program with this library beside it (it takes the one in its
    // own folder first), on the private daemon: each output as lines (whole
    // line patterns, in this order) or as JSON ("key/key=value"), and the
    // exact exit status.  The poll sees the card go and come back.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("expected");

        const QString reader0 = PcscdTestBed::ReaderName(0);
        const QString reader1 = PcscdTestBed::ReaderName(1);
        const QString card = Line(QStringLiteral("Card : ISO/IEC 14443-A or NXP Mifare : 04A2197F"));
        const QString head = QStringLiteral(
            "Norvane library version : Norvane reader library for PC/SC \\d+\\.\\d+\\.\\d+ .*");
        const auto connected = [&](const QString &reader) {
            return QStringList{Line(QStringLiteral("Connection test : OK")),
                               Line(QStringLiteral("Device information : Connected on ") + reader +
                                    QStringLiteral(" - RS232 (38400bps), Binary")),
                               Line(QStringLiteral("Product name and version : ") + reader)};
        };
        QTest::newRow("list") << QStringList{"--list"} << 0
                              << QStringList{head, Line("Port : " + reader0 + "=PC/SC reader"),
                                             Line("Port : " + reader1 + "=PC/SC reader")};
        QTest::newRow("check, auto") << QStringList{"--check"} << 0
                                     << QStringList{head, Line("Device choice : auto")} +
                                            connected(reader0);
        QTest::newRow("check, listed") << QStringList{"--check", "--device", reader1} << 0
                                       << connected(reader1);
        QTest::newRow("check, unknown")
            << QStringList{"--check", "--device", "Reader 9"} << 4
            << QStringList{Line("Connection test : Failed"),
                           Line("Connection error : " + kNotOnPort + " (status -1002)"),
                           "Reader library status : -102 .+"};
        QTest::newRow("check, forced speed")
            << QStringList{"--check", "--settings", "0x10"} << 5
            << QStringList{Line("Connection test : Failed"),
                           "Connection error : The speed of a PC/SC reader cannot be forced.* "
                           "\\(status -111\\)"};
        QTest::newRow("check, JSON")
            << QStringList{"--check", "--json"} << 0
            << QStringList{"exitCode=0", "library/available=true", "device/choice=auto",
                           "connection/passed=true", "connection/status=0",
                           "connection/deviceText=" + reader0,
                           "connection/deviceInformation=Connected on " + reader0 +
                               " - RS232 (38400bps), Binary",
                           "connection/product=" + reader0, "connection/features=00000000"};
        QTest::newRow("poll") << QStringList{"--poll", "4"} << 0
                              << QStringList{card, Line("Card : No card on the reader"), card};
        QTest::newRow("benchmark")
            << QStringList{"--benchmark"} << 0
            << connected(reader0) + QStringList{Line("Benchmark : OK"),
                                                "Echo of 128 bytes : Passed, \\d+ms",
                                                "Echo of 256 bytes : Passed, \\d+ms",
                                                "Echo of 768 bytes : Passed, \\d+ms"};
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QStringList, expected);
        TCardBehaviour card;
        card.echoDelayMs = 1;
        PutCard(0, card);

        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("QarnDiag"));
        QVERIFY(QFile::copy(QStringLiteral(QARN_PROGRAM), program));
        QVERIFY(QFile::copy(kLibraryFolder + QStringLiteral("/libnorvane.so"),
                            dir.filePath(QStringLiteral("libnorvane.so"))));
        QProcess process;
        process.setProcessEnvironment(qarntest::ProgramEnvironment(dir.path()));
        process.start(program, arguments);
        QVERIFY(process.waitForStarted(10000));

        // While polling, the card leaves once it was seen and comes back
        // once its absence was.
        QByteArray output;
        int moves = 0;
        const QDeadlineTimer deadline(60000);
        while ((process.state() == QProcess::Running || process.bytesAvailable() > 0) &&
               !deadline.hasExpired()) {
            process.waitForReadyRead(100);
            output += process.readAllStandardOutput();
            if (moves == 0 && output.contains("Card : ISO")) {
                FCards[0]->Remove();
                ++moves;
            } else if (moves == 1 && output.contains("Card : No card")) {
                QVERIFY(FCards[0]->Insert());
                ++moves;
            }
        }
        QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(30000));
        output += process.readAllStandardOutput();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());
        QVERIFY2(process.exitCode() == code, output.constData());

        if (arguments.contains(QStringLiteral("--json"))) {
            QJsonParseError error{};
            const QJsonObject json = QJsonDocument::fromJson(output, &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
            for (const QString &item : expected) {
                const QStringList keys = item.section(QLatin1Char('='), 0, 0).split('/');
                QJsonValue value = json;
                for (const QString &key : keys)
                    value = value.toObject().value(key);
                QCOMPARE(keys.join('/') + '=' + value.toVariant().toString(), item);
            }
            return;
        }
        const QStringList lines = QString::fromUtf8(output).split('\n');
        qsizetype at = 0;
        for (const QString &pattern : expected) {
            const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern));
            while (at < lines.size() && !whole.match(lines[at]).hasMatch())
                ++at;
            QVERIFY2(at < lines.size(), qPrintable(pattern + QStringLiteral(" not in order in:\n") +
                                                   QString::fromUtf8(output)));
            ++at;
        }
        // Every change of the card line, and no other.
        if (arguments.contains(QStringLiteral("--poll")))
            QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Card : "))).size(),
                     expected.size());
    }

    // ---- pcscd's state --------------------------------------------------------------

    // Why pcscd cannot serve the program, as the built program shows it in
    // --list, in the report and in JSON: not installed, stopped (what to
    // start comes from the unit files laid out under the stand-in root),
    // refusing (a socket that accepts and closes at once, as pcscd does with
    // a client it refuses), running with no reader, no reader of that name.
    void daemonStates_data()
    {
        QTest::addColumn<QString>("setUp"); // files under the root, or what answers on the socket
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text"); // how the status's text ends
        const QString units = "usr/sbin/pcscd lib/systemd/system/pcscd.socket lib/systemd/system/pcscd.service";
        QTest::newRow("not installed") << QString() << -160 << "not installed: install the PC/SC service pcscd "
                                                               "(Debian: the packages pcscd and libccid) and try again";
        QTest::newRow("stopped, socket unit enabled")
            << units + " etc/systemd/system/sockets.target.wants/pcscd.socket" << -161
            << "\"systemctl start pcscd.socket\" (unit file /lib/systemd/system/pcscd.socket)";
        QTest::newRow("stopped, socket unit not enabled")
            << units << -161 << "\"systemctl enable --now pcscd.socket\" (unit file /lib/systemd/system/pcscd.socket)";
        QTest::newRow("stopped, service unit only")
            << "usr/sbin/pcscd usr/lib/systemd/system/pcscd.service" << -161
            << "\"systemctl enable --now pcscd.service\" (unit file /usr/lib/systemd/system/pcscd.service; no pcscd.socket)";
        QTest::newRow("stopped, no unit") << "usr/sbin/pcscd" << -161
                                          << "\"/usr/sbin/pcscd\" as root (no systemd unit file of pcscd)";
        QTest::newRow("refusing") << "@refusing" << -162 << "refuses this program (access denied): allow "
                                                            "this user in pcscd's access rules (polkit), "
                                                            "or run the program as a user that pcscd accepts";
        QTest::newRow("no reader") << "@empty" << -163 << "knows no reader: plug the reader in, and check that "
                                                          "its driver is installed (libccid for USB readers) and takes it";
        QTest::newRow("no reader of that name")
            << "@running" << -102 << "; it lists: " + PcscdTestBed::ReaderName(0) + ", " + PcscdTestBed::ReaderName(1);
    }
    void daemonStates()
    {
        QFETCH(QString, setUp);
        QFETCH(int, status);
        QFETCH(QString, text);
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QStringLiteral(QARN_PROGRAM), dir.filePath("QarnDiag")) &&
                QFile::copy(kLibraryFolder + "/libnorvane.so", dir.filePath("libnorvane.so")));
        QProcessEnvironment environment = qarntest::ProgramEnvironment(dir.path());
        environment.insert("NORVANE_PCSC_SYSTEM_ROOT", dir.filePath("root"));
        environment.insert("PCSCLITE_CSOCK_NAME", dir.filePath("pcscd.comm"));
        const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto closeListener = qScopeGuard([listener] { ::close(listener); });
        QSocketNotifier refusing(listener, QSocketNotifier::Read);
        connect(&refusing, &QSocketNotifier::activated, &refusing,
                [listener] { ::close(::accept(listener, nullptr, nullptr)); });
        if (setUp == "@refusing") {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, dir.filePath("pcscd.comm").toLocal8Bit().constData(),
                     sizeof address.sun_path);
            QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                    ::listen(listener, 8) == 0);
        } else if (setUp == "@empty") {
            QCOMPARE(QProcess::execute(QARN_SOURCE_DIR "/scripts/pcscd_testbed.sh", {"empty", dir.filePath("empty")}), 0);
            environment.insert("PCSCLITE_CSOCK_NAME", dir.filePath("empty/run/pcscd/pcscd.comm"));
        } else if (setUp == "@running") {
            environment.insert("PCSCLITE_CSOCK_NAME", PcscdTestBed::SocketPath());
        }
        for (const QString &file : setUp.split(' ', Qt::SkipEmptyParts)) {
            QVERIFY(file.startsWith('@') || (QDir().mkpath(QFileInfo(dir.filePath("root/" + file)).path()) &&
                                             QFile(dir.filePath("root/" + file)).open(QIODevice::WriteOnly)));
            QFile::setPermissions(dir.filePath("root/" + file), QFileDevice::ExeOwner | QFileDevice::ReadOwner);
        }
        const auto run = [&](const QStringList &arguments) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(dir.filePath("QarnDiag"), arguments);
            while (process.state() != QProcess::NotRunning)
                QTest::qWait(5); // the refusing socket answers meanwhile
            return QString::fromUtf8(process.readAllStandardOutput());
        };
        const QString listed = run({"--list"});
        const QString report = run({"--check", "--device", "Reader 9"});
        const QJsonObject json =
            QJsonDocument::fromJson(run({"--check", "--device", "Reader 9", "--json"}).toUtf8()).object();
        QProcess::execute(QStringLiteral(QARN_SOURCE_DIR "/scripts/pcscd_testbed.sh"),
                          {"stop", dir.filePath("empty")});
        QVERIFY2(status == -102 || listed.contains(text + QString(" (status %1)\n").arg(status)), qPrintable(listed));
        QVERIFY2(report.contains(QString("\nReader library status : %1 ").arg(status)) && report.contains(text + '\n'),
                 qPrintable(report));
        const QJsonObject connection = json.value("connection").toObject();
        QCOMPARE(connection.value("libraryStatus").toInt(), status);
        QVERIFY(connection.value("libraryMessage").toString().endsWith(text));
    }

    // ---- the peer's view -----------------------------------------------------------

    // pcsc_scan lists the same readers as the port list, and reads the same
    // answer to reset on which the card type rests.
    void peerSeesTheSame()
    {
        const TCardBehaviour second =
            Card(Iso14443Part4Atr(Bytes("11 22 33 44 00 81 71 80")), UidAnswer(Uid(7)));
        PutCard(1, second);
        const QStringList list = CommList();
        const TPeerScan peer = PeerScan();
        QCOMPARE(peer.readers, PcscdTestBed::Readers());
        QCOMPARE(peer.readers.size(), list.size());
        const TBytes atrs[2] = {FCards[0]->Behaviour().atr, second.atr};
        const uint16_t types[2] = {1, 2};
        for (int i = 0; i < list.size(); ++i) {
            QVERIFY2(list[i].contains(peer.readers[i]), qPrintable(list[i]));
            QCOMPARE(peer.atrs.value(peer.readers[i]), SpacedHex(atrs[i]));
            QCOMPARE(Connect(list[i].section(QLatin1Char('='), 0, 0).toStdString()),
                     TQarnStatus(0));
            std::string uid, type;
            QCOMPARE(DynFindCard(uid, type), TQarnStatus(0));
            QCOMPARE(type, DynCardTypeName(types[i]));
            DynDisconnect();
        }
    }

    // ---- the daemon goes away --------------------------------------------------------

    // pcscd stops while a reader is open, then comes back: clear statuses
    // meanwhile; the open reader works again by itself, and after a new
    // connection test.
    void daemonStopsAndReturns()
    {
        QCOMPARE(Connect("auto"), TQarnStatus(0));
        std::string uid, type;
        for (const bool openMeanwhile : {true, false}) {
            FBed.Stop();
            const TQarnStatus gone = DynFindCard(uid, type);
            QVERIFY2(Message(gone).startsWith(QStringLiteral("pcscd ")), qPrintable(Message(gone)));
            TEchoAverage averages[3];
            QVERIFY(DynBenchmark(averages[0], averages[1], averages[2]) != 0);
            if (!openMeanwhile) {
                DynDisconnect();
                TQarnStatus status = 0;
                QCOMPARE(CommList(&status), QStringList());
                QVERIFY2(Message(status).startsWith(QStringLiteral("pcscd is installed but not running")),
                         qPrintable(Message(status)));
                QCOMPARE(Connect("auto"), TQarnStatus(-1002));
                // The report tells what the library said.
                QVERIFY(ConnectionLines(TestConnection("auto", 0))
                            .filter(QRegularExpression(
                                "^Reader library status : -161 pcscd is installed but not running, .*"))
                            .size() == 1);
            }
            QVERIFY(FBed.Start());
            QVERIFY(PcscdTestBed::WaitForCard(0, true)); // the card comes back by itself
            if (!openMeanwhile)
                QCOMPARE(Connect("auto"), TQarnStatus(0));
            uid.clear();
            QCOMPARE(DynFindCard(uid, type), TQarnStatus(0));
            QCOMPARE(uid, std::string("04A2197F"));
        }
    }

    // ---- readers of the test driver ----------------------------------------------------

    // Readers whose driver tells its attributes as a USB one does, as a serial
    // one, not at all, or oddly: the firmware text, the chipset boxes and the
    // settings word; "USB" opens the reader of the USB channel.  Then the
    // reader vanishes (-105), its card goes and comes (the attributes read
    // again), or pcscd comes back without it.
    void driverReaders_data()
    {
        QTest::addColumn<QByteArray>("configA");
        QTest::addColumn<QByteArray>("configB");
        QTest::addColumn<QByteArray>("device"); // "A", "B": that reader's name
        QTest::addColumn<int>("opened");        // the reader opened, -1 none
        QTest::addColumn<QString>("firmware");  // empty: the reader's name
        QTest::addColumn<QString>("hwid");
        QTest::addColumn<QString>("snr");
        QTest::addColumn<uint>("settings");
        QTest::addColumn<QByteArray>("event"); // "gone", "card", "restart"

        const QByteArray card = "atr=" + QByteArray::fromStdString(ToHex(StorageCardAtr(3, 1))) +
                                "\nuid_answer=04A2197F9000\n";
        const QByteArray usb = "vendor=text:Ardanel Devices\nifd_type=text:Qarn Lab-Reader\n"
                               "version=dword:0x01610000\nserial=text:QL0001234567\n"
                               "channel=dword:0x00200005\n" + card;
        const QByteArray serial = "channel=dword:0x00010002\n" + card;
        const QString usbText = QStringLiteral("Ardanel Devices Qarn Lab-Reader 1.61");
        const QString usbHwid = QStringLiteral("01 61 00 00 00 "), usbSnr = QStringLiteral("34 35 36 37 ");
        const QString zeros5 = QStringLiteral("00 00 00 00 00 "), zeros4 = QStringLiteral("00 00 00 00 ");
        QTest::newRow("USB") << serial << usb << QByteArray("USB") << 1 << usbText << usbHwid << usbSnr
                             << 0x4Au << QByteArray();
        QTest::newRow("USB by name") << usb << serial << QByteArray("A") << 0 << usbText << usbHwid
                                     << usbSnr << 0x4Au << QByteArray();
        QTest::newRow("USB, none") << serial << card << QByteArray("USB") << -1 << QString()
                                   << QString() << QString() << 0u << QByteArray();
        QTest::newRow("serial") << usb << serial << QByteArray("B") << 1 << QString() << zeros5
                                << zeros4 << 0x02u << QByteArray();
        QTest::newRow("tells nothing") << card << usb << QByteArray("A") << 0 << QString() << zeros5
                                       << zeros4 << 0x102u << QByteArray();
        QTest::newRow("build number")
            << "vendor=text: Ardanel\x01\nversion=dword:0x02000007\nserial=text:7\n" + card
            << card << QByteArray("A") << 0 << "Ardanel 2.00.7" << "02 00 00 07 00 "
            << "00 00 00 37 " << 0x102u << QByteArray();
        QTest::newRow("odd sizes")
            << "vendor=hex:4142\nifd_type=hex:0043\nversion=hex:0102\nserial=hex:\n"
               "channel=hex:000020\n" + card
            << card << QByteArray("A") << 0 << "AB" << zeros5 << zeros4 << 0x102u << QByteArray();
        QTest::newRow("errors")
            << "vendor=error:618\nifd_type=error:612\nversion=error:618\nserial=error:606\n"
               "channel=error:617\n" + card
            << card << QByteArray("A") << 0 << QString() << zeros5 << zeros4 << 0x102u << QByteArray();
        QTest::newRow("reader vanishes") << usb << serial << QByteArray("USB") << 0 << usbText
                                         << usbHwid << usbSnr << 0x4Au << QByteArray("gone");
        QTest::newRow("card event") << usb << serial << QByteArray("USB") << 0 << usbText << usbHwid
                                    << usbSnr << 0x4Au << QByteArray("card");
        QTest::newRow("pcscd back without it") << usb << serial << QByteArray("A") << 0 << usbText
                                               << usbHwid << usbSnr << 0x4Au << QByteArray("restart");
    }
    void driverReaders()
    {
        QFETCH(QByteArray, configA);
        QFETCH(QByteArray, configB);
        QFETCH(QByteArray, device);
        QFETCH(int, opened);
        QFETCH(QString, firmware);
        QFETCH(QString, hwid);
        QFETCH(QString, snr);
        QFETCH(uint, settings);
        QFETCH(QByteArray, event);
        const QByteArray configs[2] = {configA, configB};
        for (int i = 0; i < 2; ++i) {
            QVERIFY(PcscdTestBed::ConfigureSimReader(i, configs[i]));
            QVERIFY(PcscdTestBed::WaitForCard(PcscdTestBed::SimReaderName(i), true));
        }
        const QString name = PcscdTestBed::SimReaderName(qMax(opened, 0));
        std::string deviceText = device.size() == 1 ? PcscdTestBed::SimReaderName(device[0] - 'A').toStdString()
                                                    : device.toStdString();
        std::string fw, chipsetInfo, chipsetId;
        uint32_t word = 0, consts = 0, features = 0;
        const TQarnStatus status = DynConnect(deviceText, fw, chipsetInfo, chipsetId, word, consts, features);
        QCOMPARE(status, TQarnStatus(opened < 0 ? -1002 : 0));
        if (opened < 0)
            return;
        QCOMPARE(QString::fromStdString(deviceText), name);
        QCOMPARE(QString::fromStdString(fw), firmware.isEmpty() ? name : firmware);
        QCOMPARE(QString::fromStdString(chipsetInfo), hwid);
        QCOMPARE(QString::fromStdString(chipsetId), snr);
        QCOMPARE(word, uint32_t(settings));

        const auto readFirmware = Export<norv::tReaderGetFirmwareA>("NORV_ReaderGetFirmwareA");
        char text[80] = {};
        std::string uid, type;
        if (event == "gone") {
            QVERIFY(PcscdTestBed::ConfigureSimReader(opened, configs[opened] + "gone=1\n"));
            QVERIFY(PcscdTestBed::WaitForCard(name, false));
            QCOMPARE(DynFindCard(uid, type), TQarnStatus(-105));
            QCOMPARE(readFirmware(text, sizeof text), int16_t(-105));
            QVERIFY(FBed.Start()); // pcscd does not take a vanished reader up again
        } else if (event == "card") {
            QVERIFY(PcscdTestBed::ConfigureSimReader(opened, configs[opened] + "atr=\n"));
            QVERIFY(PcscdTestBed::WaitForCard(name, false));
            QCOMPARE(DynFindCard(uid, type), TQarnStatus(-1));
            QVERIFY(PcscdTestBed::ConfigureSimReader(opened, configs[opened]));
            QVERIFY(PcscdTestBed::WaitForCard(name, true));
            QCOMPARE(readFirmware(text, sizeof text), int16_t(0));
            QCOMPARE(QString::fromLatin1(text), firmware);
            QCOMPARE(DynFindCard(uid, type), TQarnStatus(0));
        } else if (event == "restart") {
            FBed.Stop();
            FBed.SetSimReaders(0);
            QVERIFY(FBed.Start());
            const TQarnStatus notBack = DynFindCard(uid, type);
            QVERIFY2(notBack == -106 && Message(notBack).contains(QStringLiteral("plug it in")),
                     qPrintable(Message(notBack)));
        }
    }
};

QARN_TEST_MAIN(TestPcsc)
#include "tst_pcsc.moc"
