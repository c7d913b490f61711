// The feature list: the text of the features box read as a word and
// explained line by line, and once the whole way through the window's
// "Explain" button to the "Feature list" box.
#include "qarnwindowtest.h"
#include "uFeatureText.h"

#include <QMessageBox>
#include <QtTest>

using qarntest::WindowSession;

namespace {

// The whole text for a word of 0 (and for any text that is not a number).
const char kNoFeatures[] =
    "Warning : this version of the reader firmware doesn't provide the GetFeatures function.\r\n"
    "The information displayed here are only default values, and therefore are not reliable.\r\n"
    "Available functions :\r\n"
    "Supported communication protocols :\r\n"
    "- OSI 3964\r\n";

const char kBare[] = "Available functions :\r\n"
                     "Supported communication protocols :\r\n"
                     "- OSI 3964\r\n";

const char kWord1[] = "Available functions :\r\n"
                      "- ISO 14443 (A and B)\r\n"
                      "Supported communication protocols :\r\n"
                      "- OSI 3964\r\n";

// Every line of the low twenty bits (word 0x000FFFFF), and the advanced
// lines that all higher bits add.
const char kLowTwentyBits[] = "Available functions :\r\n"
                              "- ISO 14443 (A and B)\r\n"
                              "- ISO 15693\r\n"
                              "- GemCore smartcard reader\r\n"
                              "- SAGEM MSO CBM fingerprints reader\r\n"
                              "Supported communication protocols :\r\n"
                              "- OSI 3964\r\n"
                              "- Binary/Bus\r\n"
                              "- Binary\r\n"
                              "- ASCII\r\n"
                              "Device has an RS-485 physical interface\r\n"
                              "Device has separate in/out buffers\r\n"
                              "Device is able to communicate at 115200bps\r\n"
                              "Device has XXL buffers\r\n"
                              "USB device capabilities :\r\n"
                              "- CDC-ACM class (\"legacy\" virtual comm port)\r\n"
                              "- CCID class (PC/SC smartcard reader)\r\n"
                              "- HID class (keyboard emulation)\r\n";
const char kAdvanced[] = "Advanced capabilities :\r\n"
                         "- FEED (Flash or E2PROM for persistent data storage)\r\n"
                         "- Console access\r\n"
                         "- Ruradad specific functions\r\n";

} // namespace

class TestFeatures : public QObject {
    Q_OBJECT
private slots:
    void explanation_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("expected");

        QTest::newRow("0") << QStringLiteral("00000000") << QString::fromLatin1(kNoFeatures);
        QTest::newRow("1") << QStringLiteral("00000001") << QString::fromLatin1(kWord1);
        QTest::newRow("0xB00: protocols not in bit order")
            << QStringLiteral("00000B00")
            << QStringLiteral("Available functions :\r\n"
                              "Supported communication protocols :\r\n"
                              "- OSI 3964\r\n"
                              "- Binary/Bus\r\n"
                              "- Binary\r\n"
                              "- ASCII\r\n");
        QTest::newRow("bit 19 only: heading alone")
            << QStringLiteral("00080000")
            << QStringLiteral("Available functions :\r\n"
                              "Supported communication protocols :\r\n"
                              "- OSI 3964\r\n"
                              "USB device capabilities :\r\n");
        QTest::newRow("bit 31 only: heading alone, no warning")
            << QStringLiteral("80000000")
            << QStringLiteral("Available functions :\r\n"
                              "Supported communication protocols :\r\n"
                              "- OSI 3964\r\n"
                              "Advanced capabilities :\r\n");
        QTest::newRow("bit 20 only")
            << QStringLiteral("00100000")
            << QStringLiteral("Available functions :\r\n"
                              "Supported communication protocols :\r\n"
                              "- OSI 3964\r\n"
                              "Advanced capabilities :\r\n");
        QTest::newRow("0x70000")
            << QStringLiteral("00070000")
            << QStringLiteral("Available functions :\r\n"
                              "Supported communication protocols :\r\n"
                              "- OSI 3964\r\n"
                              "USB device capabilities :\r\n"
                              "- CDC-ACM class (\"legacy\" virtual comm port)\r\n"
                              "- CCID class (PC/SC smartcard reader)\r\n"
                              "- HID class (keyboard emulation)\r\n");
        QTest::newRow("0xFFFFF: no advanced heading")
            << QStringLiteral("000FFFFF") << QString::fromLatin1(kLowTwentyBits);
        QTest::newRow("0x0140F042")
            << QStringLiteral("0140F042")
            << QStringLiteral("Available functions :\r\n"
                              "- ISO 15693\r\n"
                              "- SAGEM MSO CBM fingerprints reader\r\n"
                              "Supported communication protocols :\r\n"
                              "- OSI 3964\r\n"
                              "Device has an RS-485 physical interface\r\n"
                              "Device has separate in/out buffers\r\n"
                              "Device is able to communicate at 115200bps\r\n"
                              "Device has XXL buffers\r\n"
                              "Advanced capabilities :\r\n"
                              "- FEED (Flash or E2PROM for persistent data storage)\r\n"
                              "- Console access\r\n");
        QTest::newRow("bits without a line") << QStringLiteral("0000049C")
                                             << QString::fromLatin1(kBare);
        QTest::newRow("all ones") << QStringLiteral("FFFFFFFF") << QString::fromLatin1(kLowTwentyBits) + QString::fromLatin1(kAdvanced);
        QTest::newRow("lower-case digits") << QStringLiteral("ffffffff")
                                           << QString::fromLatin1(kLowTwentyBits) + QString::fromLatin1(kAdvanced);
        QTest::newRow("fewer digits") << QStringLiteral("1") << QString::fromLatin1(kWord1);
        QTest::newRow("not hexadecimal") << QStringLiteral("XYZ") << QString::fromLatin1(kNoFeatures);
        QTest::newRow("empty") << QString() << QString::fromLatin1(kNoFeatures);
        QTest::newRow("nine digits") << QStringLiteral("123456789")
                                     << QString::fromLatin1(kNoFeatures);
        QTest::newRow("C prefix") << QStringLiteral("0x1") << QString::fromLatin1(kNoFeatures);
        QTest::newRow("sign") << QStringLiteral("-1") << QString::fromLatin1(kNoFeatures);
        QTest::newRow("trailing junk") << QStringLiteral("0000001G")
                                       << QString::fromLatin1(kNoFeatures);
        QTest::newRow("full-width digit") << QString::fromUtf8("\xEF\xBC\x91")
                                          << QString::fromLatin1(kNoFeatures);
    }
    void explanation()
    {
        QFETCH(QString, shown);
        QFETCH(QString, expected);
        QCOMPARE(ExplainFeatures(ParseFeatureWord(shown)), expected);
    }

    // The word the reader reported, the whole way to the box.
    void explanationOfReportedWord()
    {
        WindowSession session(QStringLiteral("default"), R"({"features":"0x2A1"})");
        TfQarnDiag &w = session.window();
        session.Show();
        w.btnTest->click();
        QVERIFY(w.btnExplain->isEnabled());
        const QString shown = w.eQarnFeatures->text();
        QCOMPARE(shown, QStringLiteral("000002A1"));
        w.btnExplain->click();
        QCOMPARE(session.boxes().boxes.size(), 1);
        const auto box = session.boxes().boxes.first();
        QCOMPARE(box.caption, QStringLiteral("Feature list"));
        QCOMPARE(box.icon, int(QMessageBox::NoIcon));
        QCOMPARE(w.eQarnFeatures->text(), shown);
        QCOMPARE(Tag(w.btnTest), 1);
        QCOMPARE(box.text,
                 QStringLiteral("Available functions :\r\n"
                                "- ISO 14443 (A and B)\r\n"
                                "- GemCore smartcard reader\r\n"
                                "Supported communication protocols :\r\n"
                                "- OSI 3964\r\n"
                                "- Binary\r\n"));
    }
};

QTEST_MAIN(TestFeatures)
#include "tst_features.moc"
