// The echo benchmark: DynBenchmark against the stand-in reader with a
// scripted clock, and the window's benchmark button with its status texts,
// report and failure boxes.
#include "qarnwindowtest.h"

#include "uAppServices.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QtTest>

#include <ctime>
#include <functional>
#include <memory>
#include <vector>

using qarntest::LoadStandIn;
using qarntest::StandIn;
using qarntest::UnloadStandIn;
using qarntest::WindowSession;

namespace {

// ---- scenarios -------------------------------------------------------------

// Echo rule: from the from_call-th call with this length on, status.
QByteArray EchoRule(int status, int length, int fromCall)
{
    return QByteArray(R"({"status":)") + QByteArray::number(status) + R"(,"arg":)" +
           QByteArray::number(length) + R"(,"from_call":)" + QByteArray::number(fromCall) + "}";
}

// Echoes answer at once (the scripted clock says how long they took); rule
// is an echo rule or empty.
QByteArray EchoScenario(const QByteArray &rule = QByteArray())
{
    QByteArray json = R"({"echo_delay_ms":{"128":0,"256":0,"768":0})";
    if (!rule.isEmpty())
        json += R"(,"status":{"NORV_Echo":[)" + rule + "]}";
    return json + "}";
}

// ---- the scripted clock ----------------------------------------------------

// DynBenchmark's clock: the listed readings in turn (the last one again when
// the list has run out).  Each reading notes how many echo calls the library
// had seen, and runs an optional probe.
struct ScriptedClock {
    std::vector<uint32_t> readings;
    std::vector<int> echoCallsAtReading;
    std::function<void()> probe;
};
ScriptedClock gClock;

int EchoCallCount()
{
    int count = 0;
    for (const QString &line : StandIn::CallLog())
        count += line.startsWith(QLatin1String("NORV_Echo(")) ? 1 : 0;
    return count;
}

uint32_t ScriptedTick()
{
    const std::size_t index = gClock.echoCallsAtReading.size();
    gClock.echoCallsAtReading.push_back(EchoCallCount());
    if (gClock.probe)
        gClock.probe();
    if (gClock.readings.empty())
        return 0;
    return gClock.readings[std::min(index, gClock.readings.size() - 1)];
}

// Start and end readings of the three series.
void UseClock(std::vector<uint32_t> readings)
{
    gClock = ScriptedClock{};
    gClock.readings = std::move(readings);
    DynSetTickSource(&ScriptedTick);
}

// 40 ms, 5 ms (5.76 truncated) and 11 ms per exchange; the 768 series runs
// across the wrap of the 32-bit clock.
const std::vector<uint32_t> kStandardReadings = {100u,  1100u,  2000u, 2144u,
                                                 0xFFFFFFF0u, 0xFFFFFFF0u + 275u};
constexpr uint32_t kStandard128 = 40, kStandard256 = 5, kStandard768 = 11;

// ---- the failure notifier as the binding sees it ---------------------------

QList<int> gNotified;
void RecordFailure(TQarnStatus status) { gNotified.append(int(status)); }
// The host's stop check: "no" this many times, then "yes"; -1 never.
int gStopAfter = -1;
bool StopAfter() { return gStopAfter >= 0 && gStopAfter-- == 0; }

// ---- expected call logs ----------------------------------------------------

// The probe and the three series of a full run, in order.
QStringList FullEchoLog()
{
    QStringList log{QStringLiteral("NORV_Echo(0)")};
    for (int length : {128, 256, 768})
        for (int i = 0; i < 25; ++i)
            log.append(QStringLiteral("NORV_Echo(%1)").arg(length));
    return log;
}

QString Line(int size, const QString &result)
{
    return QStringLiteral("Echo of %1 bytes : ").arg(size) + result;
}

QString Report(const QString &r128, const QString &r256, const QString &r768)
{
    return Line(128, r128) + QStringLiteral("\r\n") + Line(256, r256) + QStringLiteral("\r\n") +
           Line(768, r768);
}

const QString kNotAvailable = QStringLiteral("Test not available");
const QString kPleaseWait =
    QStringLiteral("Please wait, benchmark in progress (this may take up to 60 seconds)...");

// The five buttons the benchmark locks, in the order it locks them.
QList<QPushButton *> LockedButtons(TfQarnDiag &w)
{
    return {w.btnTest, w.btnOK, w.btnClose, w.btnExplain, w.btnBench};
}

// Notes every change of a button's enabled state, in order.
class EnabledChangeLog : public QObject {
public:
    explicit EnabledChangeLog(const QList<QPushButton *> &buttons)
    {
        for (QPushButton *button : buttons)
            button->installEventFilter(this);
    }
    QStringList changes;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            const auto *button = static_cast<QWidget *>(watched);
            changes.append(watched->objectName() +
                           (button->isEnabled() ? QStringLiteral(" on") : QStringLiteral(" off")));
        }
        return false;
    }
};

// What the window looks like while the benchmark runs.
struct WindowState {
    bool busyCursor = false;
    QList<bool> enabled;
    QString status;
};

WindowState StateOf(TfQarnDiag &w)
{
    WindowState state;
    const QCursor *cursor = QApplication::overrideCursor();
    state.busyCursor = cursor && cursor->shape() == Qt::WaitCursor;
    for (QPushButton *button : LockedButtons(w))
        state.enabled.append(button->isEnabled());
    state.status = w.sbStatus->currentMessage();
    return state;
}


} // namespace

Q_DECLARE_METATYPE(std::vector<uint32_t>)

class TestBenchmark : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        gNotified.clear();
        gClock = ScriptedClock{};
        DynSetBenchmarkFailureNotifier(&RecordFailure);
    }

    void cleanup()
    {
        DynSetTickSource(nullptr);
        DynSetBenchmarkFailureNotifier(nullptr);
        DynSetStopCheck(nullptr);
        gClock = ScriptedClock{};
        UnloadStandIn();
    }

    // ---- DynBenchmark ------------------------------------------------------

    void fullRun()
    {
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(EchoScenario()));
        StandIn::ClearLog();
        UseClock(kStandardReadings);

        TEchoAverage a128{false, 77}, a256{true, 77}, a768{true, 0};
        QCOMPARE(DynBenchmark(a128, a256, a768), QARN_OK);
        QVERIFY(a128.measured && a256.measured && a768.measured);
        QCOMPARE(a128.milliseconds, kStandard128);
        QCOMPARE(a256.milliseconds, kStandard256);
        QCOMPARE(a768.milliseconds, kStandard768);

        // The probe, then 25 exchanges of each size, and nothing else.
        QCOMPARE(StandIn::CallLog(), FullEchoLog());
        // The clock is read just before the first and just after the 25th
        // exchange of each series, never in between.
        QCOMPARE(gClock.echoCallsAtReading, (std::vector<int>{1, 26, 26, 51, 51, 76}));
        QVERIFY(gNotified.isEmpty());
    }

    // The average is the elapsed time modulo 2^32, divided by 25 and
    // truncated; a series faster than 1 ms per exchange is measured as 0.
    void averageArithmetic_data()
    {
        QTest::addColumn<uint32_t>("start");
        QTest::addColumn<uint32_t>("end");
        QTest::addColumn<uint32_t>("average");
        QTest::newRow("exact") << 0u << 1000u << 40u;
        QTest::newRow("truncated") << 5000u << 5199u << 7u;
        QTest::newRow("no time at all") << 9u << 9u << 0u;
        QTest::newRow("under 1 ms") << 7u << 31u << 0u;
        QTest::newRow("exactly 1 ms") << 7u << 32u << 1u;
        QTest::newRow("wrap inside the series") << 0xFFFFFFF0u << 0x10Fu << 11u;
        QTest::newRow("end reads zero after the wrap") << 0xFFFFFFE7u << 0u << 1u;
        QTest::newRow("end one tick before start") << 1u << 0u << 171798691u;
    }
    void averageArithmetic()
    {
        QFETCH(uint32_t, start);
        QFETCH(uint32_t, end);
        QFETCH(uint32_t, average);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(EchoScenario()));
        UseClock({start, end, start, end, start, end});

        TEchoAverage a128, a256, a768;
        QCOMPARE(DynBenchmark(a128, a256, a768), QARN_OK);
        for (const TEchoAverage *series : {&a128, &a256, &a768}) {
            QVERIFY(series->measured);
            QCOMPARE(series->milliseconds, average);
        }
    }

    void noEchoEntry_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::newRow("library without NORV_Echo") << QStringLiteral("no_Echo");
        QTest::newRow("library without any entry") << QStringLiteral("none");
        QTest::newRow("no library") << QString();
    }
    void noEchoEntry()
    {
        QFETCH(QString, variant);
        LoadStandIn(variant);
        StandIn::ClearLog();
        UseClock(kStandardReadings);

        TEchoAverage a128{true, 3}, a256{true, 4}, a768{true, 5};
        QCOMPARE(DynBenchmark(a128, a256, a768), QARN_OK);
        QVERIFY(!a128.measured && !a256.measured && !a768.measured);
        QCOMPARE(a128.milliseconds + a256.milliseconds + a768.milliseconds, 0u);
        QVERIFY(StandIn::CallLog().isEmpty());
        QVERIFY(gClock.echoCallsAtReading.empty());
    }

    // Whatever the probe returns other than 0 is the result, unchanged.
    void probeFails_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("not supported") << -100;
        QTest::newRow("time-out") << -243;
        QTest::newRow("damaged answer") << -244;
        QTest::newRow("other") << -5;
        QTest::newRow("no card code") << -1;
        QTest::newRow("positive") << 1;
        QTest::newRow("lowest") << -32768;
        QTest::newRow("highest") << 32767;
    }
    void probeFails()
    {
        QFETCH(int, status);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(EchoScenario(EchoRule(status, 0, 1))));
        StandIn::ClearLog();
        UseClock(kStandardReadings);

        TEchoAverage a128{true, 3}, a256{true, 4}, a768{true, 5};
        QCOMPARE(int(DynBenchmark(a128, a256, a768)), status);
        QVERIFY(!a128.measured && !a256.measured && !a768.measured);
        QCOMPARE(StandIn::CallLog(), QStringList{QStringLiteral("NORV_Echo(0)")});
        QVERIFY(gClock.echoCallsAtReading.empty());
        QVERIFY(gNotified.isEmpty());
    }

    // A status other than 0 inside a series: where it stops the benchmark,
    // what stays measured and who hears of it.
    void seriesStatus_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("fromCall");
        QTest::addColumn<int>("result");
        QTest::addColumn<QList<bool>>("measured");
        QTest::addColumn<int>("echoCalls");
        QTest::addColumn<QList<int>>("notified");

        const QList<bool> none{false, false, false};
        const QList<bool> first{true, false, false};
        const QList<bool> two{true, true, false};
        // "Not supported" stops quietly in any series.
        QTest::newRow("-100 first 128") << 128 << -100 << 1 << 0 << none << 2 << QList<int>{};
        QTest::newRow("-100 last 128") << 128 << -100 << 25 << 0 << none << 26 << QList<int>{};
        QTest::newRow("-100 in 256") << 256 << -100 << 3 << 0 << first << 29 << QList<int>{};
        QTest::newRow("-100 last 768") << 768 << -100 << 25 << 0 << two << 76 << QList<int>{};
        // Time-out and damaged answer fail the first two series ...
        QTest::newRow("-243 in 128") << 128 << -243 << 2 << -243 << none << 3 << QList<int>{};
        QTest::newRow("-243 in 256") << 256 << -243 << 3 << -243 << none << 29 << QList<int>{};
        QTest::newRow("-244 last 256") << 256 << -244 << 25 << -244 << none << 51 << QList<int>{};
        // ... and stop the last one quietly.
        QTest::newRow("-243 in 768") << 768 << -243 << 5 << 0 << two << 56 << QList<int>{};
        QTest::newRow("-244 first 768") << 768 << -244 << 1 << 0 << two << 52 << QList<int>{};
        // Any other status fails; only the last series tells the notifier.
        QTest::newRow("other in 128") << 128 << -5 << 10 << -5 << none << 11 << QList<int>{};
        QTest::newRow("positive in 256") << 256 << 3 << 1 << 3 << none << 27 << QList<int>{};
        QTest::newRow("other in 768") << 768 << -5 << 2 << -5 << none << 53 << QList<int>{-5};
        QTest::newRow("no card code in 768") << 768 << -1 << 25 << -1 << none << 76 << QList<int>{-1};
        QTest::newRow("positive in 768") << 768 << 1 << 1 << 1 << none << 52 << QList<int>{1};
        QTest::newRow("lowest in 768") << 768 << -32768 << 7 << -32768 << none << 58
                                       << QList<int>{-32768};
        QTest::newRow("-242 in 768") << 768 << -242 << 3 << -242 << none << 54 << QList<int>{-242};
        // A stop asked by the host (QARN_STOPPED here) before an exchange fails
        // the benchmark at once, unheard by the notifier.
        QTest::newRow("stop before 128") << 128 << -1004 << 1 << -1004 << none << 1 << QList<int>{};
        QTest::newRow("stop in 768") << 768 << -1004 << 3 << -1004 << none << 53 << QList<int>{};
    }
    void seriesStatus()
    {
        QFETCH(int, length);
        QFETCH(int, status);
        QFETCH(int, fromCall);
        QFETCH(int, result);
        QFETCH(QList<bool>, measured);
        QFETCH(int, echoCalls);
        QFETCH(QList<int>, notified);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(EchoScenario(EchoRule(status, length, fromCall))));
        StandIn::ClearLog();
        UseClock(kStandardReadings);
        gStopAfter = status == QARN_STOPPED ? (length == 128 ? 0 : length == 256 ? 25 : 50) + fromCall - 1 : -1;
        DynSetStopCheck(&StopAfter);

        TEchoAverage a128{true, 3}, a256{true, 4}, a768{true, 5};
        QCOMPARE(int(DynBenchmark(a128, a256, a768)), result);
        const TEchoAverage *averages[] = {&a128, &a256, &a768};
        const uint32_t expected[] = {kStandard128, kStandard256, kStandard768};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(averages[i]->measured, measured[i]);
            QCOMPARE(averages[i]->milliseconds, measured[i] ? expected[i] : 0u);
        }
        QCOMPARE(StandIn::CallLog(), FullEchoLog().mid(0, echoCalls));
        QCOMPARE(gNotified, notified);
    }

    // Without a notifier a failing last series still fails, silently.
    void failureWithoutNotifier()
    {
        DynSetBenchmarkFailureNotifier(nullptr);
        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(EchoScenario(EchoRule(-5, 768, 1))));
        UseClock(kStandardReadings);
        TEchoAverage a128, a256, a768;
        QCOMPARE(DynBenchmark(a128, a256, a768), TQarnStatus(-5));
        QVERIFY(!a128.measured && !a256.measured && !a768.measured);
        QVERIFY(gNotified.isEmpty());
    }

    // The system clock once the scripted one is removed: every exchange
    // sleeps its configured delay, so no average can be below it.
    void systemClock()
    {
        UseClock({12345u});
        QCOMPARE(DynTickCount(), 12345u);
        DynSetTickSource(nullptr);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const uint32_t expected = uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
        // The same monotonic milliseconds, read a moment later.
        QVERIFY(DynTickCount() - expected <= 1000u);

        LoadStandIn(QStringLiteral("default"));
        QVERIFY(StandIn::Scenario(R"({"echo_delay_ms":{"128":2,"256":5,"768":11}})"));
        TEchoAverage a128, a256, a768;
        QCOMPARE(DynBenchmark(a128, a256, a768), QARN_OK);
        QVERIFY(a128.measured && a256.measured && a768.measured);
        QVERIFY2(a128.milliseconds >= 2 && a128.milliseconds < 1000, qPrintable(QString::number(a128.milliseconds)));
        QVERIFY2(a256.milliseconds >= 5 && a256.milliseconds < 1000, qPrintable(QString::number(a256.milliseconds)));
        QVERIFY2(a768.milliseconds >= 11 && a768.milliseconds < 1000, qPrintable(QString::number(a768.milliseconds)));
    }

    // ---- the benchmark button ----------------------------------------------

    void benchButtonFullRun()
    {
        auto session = qarntest::ConnectedSession(EchoScenario());
        TfQarnDiag &w = session->window();
        QCOMPARE(Tag(w.btnTest), 1);
        for (QPushButton *button : LockedButtons(w))
            QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
        session->boxes().boxes.clear();

        EnabledChangeLog changes(LockedButtons(w));
        UseClock(kStandardReadings);
        QList<WindowState> during;
        gClock.probe = [&w, &during]() { during.append(StateOf(w)); };

        w.btnBench->click();

        // While it runs: hourglass, the five buttons locked, the waiting text.
        QCOMPARE(during.size(), 6);
        for (const WindowState &state : during) {
            QVERIFY(state.busyCursor);
            QCOMPARE(state.enabled, (QList<bool>{false, false, false, false, false}));
            QCOMPARE(state.status, kPleaseWait);
        }
        QCOMPARE(changes.changes.mid(0, 5),
                 (QStringList{"btnTest off", "btnOK off", "btnClose off", "btnExplain off",
                              "btnBench off"}));
        QStringList unlocked = changes.changes.mid(5);
        unlocked.sort();
        QCOMPARE(unlocked, (QStringList{"btnBench on", "btnClose on", "btnExplain on", "btnOK on",
                                        "btnTest on"}));

        // Afterwards: the report, whole.
        QCOMPARE(w.sbStatus->currentMessage(), QStringLiteral("OK "));
        QCOMPARE(session->boxes().boxes.size(), 1);
        const auto box = session->boxes().boxes.first();
        QCOMPARE(box.caption, QStringLiteral("Benchmark results"));
        QCOMPARE(box.text, QStringLiteral("Echo of 128 bytes : Passed, 40ms\r\n"
                                          "Echo of 256 bytes : Passed, 5ms\r\n"
                                          "Echo of 768 bytes : Passed, 11ms"));
        QCOMPARE(StandIn::CallLog(), FullEchoLog());
        for (QPushButton *button : LockedButtons(w))
            QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(Tag(w.btnTest), 1);
    }

    // The status text and the boxes of each way a benchmark can end.
    void benchButtonOutcomes_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QByteArray>("rule");
        QTest::addColumn<std::vector<uint32_t>>("readings");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("boxes"); // caption, text, caption, text, ...

        const QString passed40 = QStringLiteral("Passed, 40ms");
        const QString passed5 = QStringLiteral("Passed, 5ms");
        const QString results = QStringLiteral("Benchmark results");
        const QString failed = QStringLiteral("Failed");
        const QString qarnBenchmark = QStringLiteral("Qarn Benchmark");
        const QString title = QStringLiteral("Ardanel QarnDiag");
        const QString ok = QStringLiteral("OK ");
        const QString def = QStringLiteral("default");
        const auto standard = kStandardReadings;

        QTest::newRow("no echo entry")
            << QStringLiteral("no_Echo") << QByteArray() << standard << ok
            << QStringList{results, Report(kNotAvailable, kNotAvailable, kNotAvailable)};
        QTest::newRow("probe not supported")
            << def << EchoRule(-100, 0, 1) << standard << failed
            << QStringList{qarnBenchmark, QStringLiteral("Function not supported by the reader")};
        QTest::newRow("probe fails")
            << def << EchoRule(-5, 0, 1) << standard << failed
            << QStringList{qarnBenchmark, QStringLiteral("Norvane error -5")};
        QTest::newRow("-100 in 128")
            << def << EchoRule(-100, 128, 4) << standard << ok
            << QStringList{results, Report(kNotAvailable, kNotAvailable, kNotAvailable)};
        QTest::newRow("-100 in 256")
            << def << EchoRule(-100, 256, 25) << standard << ok
            << QStringList{results, Report(passed40, kNotAvailable, kNotAvailable)};
        QTest::newRow("-100 in 768")
            << def << EchoRule(-100, 768, 1) << standard << ok
            << QStringList{results, Report(passed40, passed5, kNotAvailable)};
        QTest::newRow("-243 in 256")
            << def << EchoRule(-243, 256, 2) << standard << failed
            << QStringList{qarnBenchmark, QStringLiteral("The reader did not answer in time")};
        QTest::newRow("-244 in 256")
            << def << EchoRule(-244, 256, 1) << standard << failed
            << QStringList{qarnBenchmark,
                           QStringLiteral("The reader's answer was damaged (checksum error)")};
        QTest::newRow("-243 in 768")
            << def << EchoRule(-243, 768, 3) << standard << ok
            << QStringList{results, Report(passed40, passed5, kNotAvailable)};
        QTest::newRow("-244 in 768")
            << def << EchoRule(-244, 768, 25) << standard << ok
            << QStringList{results, Report(passed40, passed5, kNotAvailable)};
        QTest::newRow("other in 128")
            << def << EchoRule(-5, 128, 1) << standard << failed
            << QStringList{qarnBenchmark, QStringLiteral("Norvane error -5")};
        QTest::newRow("other in 768")
            << def << EchoRule(-5, 768, 9) << standard << failed
            << QStringList{title, QStringLiteral("-5"), qarnBenchmark,
                           QStringLiteral("Norvane error -5")};
        QTest::newRow("lowest status in 768")
            << def << EchoRule(-32768, 768, 1) << standard << failed
            << QStringList{title, QStringLiteral("-32768"), qarnBenchmark,
                           QStringLiteral("ERROR : unsupported error code -32768")};
        QTest::newRow("positive status in 768")
            << def << EchoRule(12, 768, 1) << standard << failed
            << QStringList{title, QStringLiteral("12"), qarnBenchmark,
                           QStringLiteral("Norvane error 12")};
        QTest::newRow("under and at 1 ms")
            << def << QByteArray() << std::vector<uint32_t>{50, 74, 50, 75, 0xFFFFFFFFu, 0xFFFFFFFFu}
            << ok
            << QStringList{results,
                           Report(QStringLiteral("Passed, <1ms"), QStringLiteral("Passed, 1ms"),
                                  QStringLiteral("Passed, <1ms"))};
        QTest::newRow("clock wraps inside a series")
            << def << QByteArray()
            << std::vector<uint32_t>{0xFFFFFF00u, 0x00000100u, 0xFFFFFFFFu, 0x00000017u, 4, 62504}
            << ok
            << QStringList{results, Report(QStringLiteral("Passed, 20ms"), QStringLiteral("Passed, <1ms"),
                                           QStringLiteral("Passed, 2500ms"))};
    }
    void benchButtonOutcomes()
    {
        QFETCH(QString, variant);
        QFETCH(QByteArray, rule);
        QFETCH(std::vector<uint32_t>, readings);
        QFETCH(QString, status);
        QFETCH(QStringList, boxes);
        auto session = qarntest::ConnectedSession(EchoScenario(rule), variant);
        TfQarnDiag &w = session->window();
        QVERIFY(w.btnBench->isEnabled());
        session->boxes().boxes.clear();
        UseClock(readings);

        w.btnBench->click();

        QCOMPARE(w.sbStatus->currentMessage(), status);
        QStringList shown;
        for (const auto &box : session->boxes().boxes)
            shown << box.caption << box.text;
        QCOMPARE(shown, boxes);
        // The bare number of a failed last series comes without an icon.
        if (shown.size() == 4)
            QCOMPARE(session->boxes().boxes.first().icon, int(QMessageBox::NoIcon));
        for (QPushButton *button : LockedButtons(w))
            QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
        QVERIFY(!QApplication::overrideCursor());
    }

    // The bare number of a failed last series shows while the benchmark is
    // still running; the failure box comes after it, with the window free.
    void failureNumberBeforeFailureBox()
    {
        auto session = qarntest::ConnectedSession(EchoScenario(EchoRule(-7, 768, 25)));
        TfQarnDiag &w = session->window();
        UseClock(kStandardReadings);
        QList<WindowState> atBox;
        QStringList captions;
        SetMessageBoxHook([&](const TMessageBoxRecord &record) {
            captions << record.caption + QLatin1Char('|') + record.text;
            atBox.append(StateOf(w));
        });

        w.btnBench->click();

        QCOMPARE(captions, (QStringList{"Ardanel QarnDiag|-7", "Qarn Benchmark|Norvane error -7"}));
        QVERIFY(atBox[0].busyCursor);
        QCOMPARE(atBox[0].enabled, (QList<bool>{false, false, false, false, false}));
        QCOMPARE(atBox[0].status, kPleaseWait);
        QVERIFY(!atBox[1].busyCursor);
        QCOMPARE(atBox[1].enabled, (QList<bool>{true, true, true, true, true}));
        QCOMPARE(atBox[1].status, QStringLiteral("Failed"));
        QVERIFY(ReportText(w.Report(), QStringLiteral("\n"))
                    .contains(QStringLiteral("Failed\nEcho of 768 bytes failed with status : -7\n")));
    }

    // The results box as the program shows it: every line on one line.
    void resultsBoxFits()
    {
        WindowSession session(QStringLiteral("default"));
        session.Show(false);
        const QString text = Report(QStringLiteral("Passed, 2500ms"), QStringLiteral("Passed, <1ms"),
                                    kNotAvailable);
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Benchmark results"), text,
                        QMessageBox::Ok, &session.window());
        box.setTextFormat(Qt::PlainText);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        const QFontMetrics metrics = label->fontMetrics();
        for (const QString &line : text.split(QStringLiteral("\r\n")))
            QVERIFY2(metrics.horizontalAdvance(line) <= label->contentsRect().width(),
                     qPrintable(line));
        QVERIFY(label->height() < 4 * metrics.lineSpacing());
        const QString folder = qEnvironmentVariable("QARN_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            QVERIFY(box.grab().save(folder + QStringLiteral("/benchmark-results.png")));
        box.close();
    }
};

QTEST_MAIN(TestBenchmark)
#include "tst_benchmark.moc"
