#include "qarnwindowtest.h"

#include "uAppServices.h"

#include <QtTest>

namespace qarntest {

WindowSession::WindowSession(const QString &variant, const char *scenario,
                             bool machineWideWritable)
    : FSettings(std::make_unique<SettingsSandbox>(machineWideWritable))
{
    LoadStandIn(variant);
    if (scenario && !StandIn::Scenario(scenario))
        qFatal("scenario rejected: %s", qPrintable(StandIn::LastError()));
    SetBusyCursor(false);
    FWindow = std::make_unique<TfQarnDiag>();
    fQarnDiag = FWindow.get();
    FCommMore = std::make_unique<TfQarnCommMore>(FWindow.get());
    fQarnCommMore = FCommMore.get();
}

WindowSession::~WindowSession()
{
    if (FWindow && !FWindow->IsClosed())
        FWindow->close();
    fQarnCommMore = nullptr;
    FCommMore.reset();
    fQarnDiag = nullptr;
    FWindow.reset();
    UnloadStandIn();
    SetBusyCursor(false);
}

void WindowSession::Show(bool waitForCheck)
{
    FWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
    if (waitForCheck) {
        QTRY_VERIFY_WITH_TIMEOUT(FWindow->btnClose->isEnabled(), 5000);
        QVERIFY2(!FWindow->tmrFirst->isActive(), "the start-up timer runs on after its check");
    }
}

void WindowSession::RunStartupCheck()
{
    // Not stopped here: stopping the timer is the handler's own first step.
    FWindow->tmrFirstTimer();
    QVERIFY2(!FWindow->tmrFirst->isActive(), "the start-up timer runs on after its check");
}

void WindowSession::Close() { FWindow->close(); }

std::unique_ptr<WindowSession> ConnectedSession(const QByteArray &scenario, const QString &variant)
{
    auto session = std::make_unique<WindowSession>(variant, scenario.constData());
    session->Show(false);
    session->RunStartupCheck();
    session->window().btnTest->click();
    StandIn::ClearLog();
    session->boxes().boxes.clear();
    return session;
}

} // namespace qarntest
