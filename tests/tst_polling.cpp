// Contactless polling: DynFindCard against the stand-in reader, and the
// window's polling button, timer and card label.
#include "qarnwindowtest.h"

#include <QApplication>
#include <QtTest>

#include <memory>

using qarntest::LoadStandIn;
using qarntest::StandIn;
using qarntest::UnloadStandIn;
using qarntest::WindowSession;

namespace {

const QStringList kOneAttempt{QStringLiteral("NORV_Find(0xFFFF,12)"),
                              QStringLiteral("NORV_ControlRF(0)")};

// One find result, used for every NORV_Find call.
QByteArray FindScenario(const QByteArray &result)
{
    return QByteArray(R"({"find_results":[)") + result + "]}";
}

QByteArray Card(int type, const QByteArray &uidHex)
{
    return QByteArray(R"({"status":0,"type":)") + QByteArray::number(type) + R"(,"uid":")" +
           uidHex + R"("})";
}

// count bytes 0x00, 0x11, ..., as hex digits.
QByteArray UidBytes(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char((i * 0x11) & 0xFF));
    return bytes.toHex();
}

const QString kCorrupted = QStringLiteral(
    "ERROR : norvane.dll appears to be corrupted. Please run the installation procedure again !");


} // namespace

class TestPolling : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { UnloadStandIn(); }

    // ---- DynFindCard -------------------------------------------------------

    void cardTypes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("1") << 1 << "ISO/IEC 14443-A or NXP Mifare";
        QTest::newRow("2") << 2 << "ISO/IEC 14443-B";
        QTest::newRow("4") << 4 << "ISO/IEC 15693";
        QTest::newRow("8") << 8 << "NXP ICODE1";
        QTest::newRow("16") << 16 << "Inside Contactless PicoTAG";
        QTest::newRow("32") << 32 << "ST MicroElectronics SR";
        QTest::newRow("64") << 64 << "ASK CTS256B or CTS512B";
        QTest::newRow("128") << 128 << "Calypso (Innovatron protocol)";
        QTest::newRow("two bits") << 3 << "Unknown type 0003";
        QTest::newRow("next bit") << 0x0100 << "Unknown type 0100";
        QTest::newRow("zero") << 0 << "Unknown type 0000";
        QTest::newRow("letters") << 0xABCD << "Unknown type ABCD";
        QTest::newRow("all bits") << 0xFFFF << "Unknown type FFFF";
    }
    void cardTypes()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(DynCardTypeName(uint16_t(type))), name);

        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(FindScenario(Card(type, "04a2197f"))));
        StandIn::ClearLog();
        std::string uid = "old uid", typeName = "old type";
        QCOMPARE(DynFindCard(uid, typeName), QARN_OK);
        QCOMPARE(QString::fromStdString(typeName), name);
        QCOMPARE(uid, std::string("04A2197F"));
        QCOMPARE(StandIn::CallLog(), kOneAttempt);
    }

    // Two upper-case hex digits per byte, no separator, never more than the
    // twelve bytes of the buffer whatever length the library reports.
    void uidLengths_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QString>("uid");
        QTest::newRow("0 bytes") << Card(2, "") << QString();
        QTest::newRow("4 bytes") << Card(2, "deadBEEF") << "DEADBEEF";
        QTest::newRow("10 bytes") << Card(2, UidBytes(10)) << "00112233445566778899";
        QTest::newRow("12 bytes") << Card(2, UidBytes(12)) << "00112233445566778899AABB";
        QTest::newRow("13 bytes") << Card(2, UidBytes(13)) << "00112233445566778899AABB";
        QTest::newRow("200 bytes") << Card(2, UidBytes(200)) << "00112233445566778899AABB";
        // A reported length past what was written: the unwritten bytes are zero.
        QTest::newRow("reported 255 for 4")
            << QByteArray(R"({"status":0,"type":2,"uid":"01020304","uid_length":255})")
            << "010203040000000000000000";
        QTest::newRow("reported 2 for 4")
            << QByteArray(R"({"status":0,"type":2,"uid":"01020304","uid_length":2})") << "0102";
    }
    void uidLengths()
    {
        QFETCH(QByteArray, result);
        QFETCH(QString, uid);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(FindScenario(result)));
        StandIn::ClearLog();
        std::string uidText = "old uid", typeName;
        QCOMPARE(DynFindCard(uidText, typeName), QARN_OK);
        QCOMPARE(QString::fromStdString(uidText), uid);
        QCOMPARE(typeName, std::string("ISO/IEC 14443-B"));
        QCOMPARE(StandIn::CallLog(), kOneAttempt);
    }

    // No card, or a failure: the status comes back, the outputs stay as they
    // were, and the RF field is still switched off.
    void findFails_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("status");
        QTest::newRow("no card") << FindScenario(R"({"status":-1})") << -1;
        QTest::newRow("find result status") << FindScenario(R"({"status":-12})") << -12;
        QTest::newRow("find entry status")
            << QByteArray(R"({"status":{"NORV_Find":-5}})") << -5;
        QTest::newRow("positive") << FindScenario(R"({"status":2})") << 2;
        QTest::newRow("lowest") << FindScenario(R"({"status":-32768})") << -32768;
    }
    void findFails()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(int, status);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(scenario));
        StandIn::ClearLog();
        std::string uid = "old uid", typeName = "old type";
        QCOMPARE(int(DynFindCard(uid, typeName)), status);
        QCOMPARE(uid, std::string("old uid"));
        QCOMPARE(typeName, std::string("old type"));
        QCOMPARE(StandIn::CallLog(), kOneAttempt);
    }

    // A failure to switch the field off does not change the result.
    void rfOffFailureIgnored()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(
            R"({"find_results":[{"status":0,"type":1,"uid":"0A0B"}],"status":{"NORV_ControlRF":-9}})"));
        StandIn::ClearLog();
        std::string uid, typeName;
        QCOMPARE(DynFindCard(uid, typeName), QARN_OK);
        QCOMPARE(uid, std::string("0A0B"));
        QCOMPARE(StandIn::CallLog(), kOneAttempt);
    }

    // Every attempt is followed by its own RF off, card or not.
    void everyAttemptSwitchesRfOff()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(
            R"({"find_results":[{"status":0,"type":8,"uid":"E0"},{"status":-1},{"status":-12}]})"));
        StandIn::ClearLog();
        std::string uid, typeName;
        QCOMPARE(DynFindCard(uid, typeName), QARN_OK);
        QCOMPARE(DynFindCard(uid, typeName), TQarnStatus(-1));
        QCOMPARE(DynFindCard(uid, typeName), TQarnStatus(-12));
        QCOMPARE(uid, std::string("E0"));
        QCOMPARE(typeName, std::string("NXP ICODE1"));
        QCOMPARE(StandIn::CallLog(), kOneAttempt + kOneAttempt + kOneAttempt);
    }

    void entryMissing_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::newRow("no NORV_Find") << QStringLiteral("no_Find");
        QTest::newRow("no NORV_ControlRF") << QStringLiteral("no_ControlRF");
        QTest::newRow("no entry at all") << QStringLiteral("none");
        QTest::newRow("no library") << QString();
    }
    void entryMissing()
    {
        QFETCH(QString, variant);
        LoadStandIn(variant);
        StandIn::ClearLog();
        std::string uid = "old uid", typeName = "old type";
        QCOMPARE(DynFindCard(uid, typeName), QARN_ENTRY_POINT_MISSING);
        QCOMPARE(uid, std::string("old uid"));
        QCOMPARE(typeName, std::string("old type"));
        QVERIFY(StandIn::CallLog().isEmpty());
    }

    // ---- the polling button and timer --------------------------------------

    void pollingButtonOnlyToggles()
    {
        auto session = qarntest::ConnectedSession(FindScenario(Card(1, "04A2197F")));
        TfQarnDiag &w = session->window();
        QVERIFY(w.btnPolling->isEnabled());
        QCOMPARE(Tag(w.btnPolling), 0);
        QCOMPARE(w.btnPolling->text(), QStringLiteral("Contactless polling"));
        const QString card = w.lbCard->text();
        const QString status = w.sbStatus->currentMessage();

        QTest::mouseClick(w.btnPolling, Qt::LeftButton);
        QCOMPARE(Tag(w.btnPolling), 1);
        QCOMPARE(w.btnPolling->text(), QStringLiteral("Terminate polling"));
        QTest::mouseClick(w.btnPolling, Qt::LeftButton);
        QCOMPARE(Tag(w.btnPolling), 0);
        QCOMPARE(w.btnPolling->text(), QStringLiteral("Contactless polling"));

        // Two quick clicks come back to where they started.
        w.btnPolling->click();
        w.btnPolling->click();
        QCOMPARE(Tag(w.btnPolling), 0);
        QCOMPARE(w.btnPolling->text(), QStringLiteral("Contactless polling"));

        // Nothing else: no library call, same texts, no box.
        QVERIFY(StandIn::CallLog().isEmpty());
        QCOMPARE(w.lbCard->text(), card);
        QCOMPARE(w.sbStatus->currentMessage(), status);
        QVERIFY(session->boxes().boxes.isEmpty());
    }

    void timerRunsAlwaysAndIdlesWhileOff()
    {
        auto session = qarntest::ConnectedSession(FindScenario(Card(1, "04A2197F")));
        TfQarnDiag &w = session->window();
        QVERIFY(w.tmrPolling->isActive());
        QCOMPARE(w.tmrPolling->interval(), 500);
        QVERIFY(!w.tmrPolling->isSingleShot());
        w.lbCard->setText(QStringLiteral("untouched"));
        w.tmrPollingTimer();
        QVERIFY(StandIn::CallLog().isEmpty());
        QCOMPARE(w.lbCard->text(), QStringLiteral("untouched"));
    }

    void pollingTexts_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("calls");
        const QString def = QStringLiteral("default");
        QTest::newRow("card") << def << FindScenario(Card(1, "04A2197F"))
                              << "ISO/IEC 14443-A or NXP Mifare : 04A2197F" << kOneAttempt;
        QTest::newRow("longest name, longest UID")
            << def << FindScenario(Card(128, UidBytes(200)))
            << "Calypso (Innovatron protocol) : 00112233445566778899AABB" << kOneAttempt;
        QTest::newRow("unknown type") << def << FindScenario(Card(0x0100, "00FF"))
                                      << "Unknown type 0100 : 00FF" << kOneAttempt;
        QTest::newRow("no card") << def << FindScenario(R"({"status":-1})")
                                 << "No card on the reader" << kOneAttempt;
        QTest::newRow("library's message")
            << def << FindScenario(R"({"status":-12})") << "No reader found on this device"
            << kOneAttempt + QStringList{"NORV_GetErrorMessage(-12)"};
        QTest::newRow("code without a message")
            << def << QByteArray(R"({"status":{"NORV_Find":-5}})") << "Norvane error -5"
            << kOneAttempt + QStringList{"NORV_GetErrorMessage(-5)"};
        QTest::newRow("no NORV_Find") << QStringLiteral("no_Find") << QByteArray() << kCorrupted
                                      << QStringList();
    }
    void pollingTexts()
    {
        QFETCH(QString, variant);
        QFETCH(QByteArray, scenario);
        QFETCH(QString, text);
        QFETCH(QStringList, calls);
        auto session = qarntest::ConnectedSession(scenario.isEmpty() ? QByteArray("{}") : scenario, variant);
        TfQarnDiag &w = session->window();
        QCOMPARE(Tag(w.btnTest), 1);
        w.btnPolling->click();
        w.tmrPollingTimer();
        QCOMPARE(w.lbCard->text(), text);
        QCOMPARE(StandIn::CallLog(), calls);
        QVERIFY(session->boxes().boxes.isEmpty());
    }

    // Switched off, the label keeps the last text and nothing is asked.
    void switchingOffKeepsLastText()
    {
        auto session = qarntest::ConnectedSession(FindScenario(Card(4, "E004")));
        TfQarnDiag &w = session->window();
        w.btnPolling->click();
        w.tmrPollingTimer();
        QCOMPARE(w.lbCard->text(), QStringLiteral("ISO/IEC 15693 : E004"));
        w.btnPolling->click();
        StandIn::ClearLog();
        w.tmrPollingTimer();
        w.tmrPollingTimer();
        QCOMPARE(w.lbCard->text(), QStringLiteral("ISO/IEC 15693 : E004"));
        QVERIFY(StandIn::CallLog().isEmpty());
    }

    // Disconnecting leaves polling on; the real timer keeps polling.
    void pollingSurvivesDisconnect()
    {
        auto session = qarntest::ConnectedSession(
            R"({"find_results":[{"status":-1},{"status":0,"type":32,"uid":"D00201"}]})");
        TfQarnDiag &w = session->window();
        w.btnPolling->click();
        w.btnTest->click(); // disconnect
        QCOMPARE(Tag(w.btnTest), 0);
        QCOMPARE(Tag(w.btnPolling), 1);
        QCOMPARE(w.btnPolling->text(), QStringLiteral("Terminate polling"));

        StandIn::ClearLog();
        w.tmrPollingTimer();
        QCOMPARE(w.lbCard->text(), QStringLiteral("No card on the reader"));
        QTRY_COMPARE_WITH_TIMEOUT(w.lbCard->text(), QStringLiteral("ST MicroElectronics SR : D00201"),
                                  3000);
        const QStringList log = StandIn::CallLog();
        QVERIFY(log.size() >= 4);
        for (int i = 0; i + 1 < log.size(); i += 2)
            QCOMPARE(log.mid(i, 2), kOneAttempt);
    }

    // The card label is wide enough for the longest name with the longest UID.
    void longestCardTextFits()
    {
        auto session = qarntest::ConnectedSession(FindScenario(Card(128, UidBytes(12))));
        TfQarnDiag &w = session->window();
        w.btnPolling->click();
        w.tmrPollingTimer();
        const QString text = w.lbCard->text();
        QCOMPARE(text, QStringLiteral("Calypso (Innovatron protocol) : 00112233445566778899AABB"));
        QVERIFY2(w.lbCard->fontMetrics().horizontalAdvance(text) <= w.lbCard->contentsRect().width(),
                 qPrintable(QStringLiteral("%1 px of text in %2 px")
                                .arg(w.lbCard->fontMetrics().horizontalAdvance(text))
                                .arg(w.lbCard->contentsRect().width())));
        const QString picture = qEnvironmentVariable("QARN_SCREENSHOT_DIR");
        if (!picture.isEmpty())
            QVERIFY(w.grab().save(picture + QStringLiteral("/window-card.png")));
    }
};

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
