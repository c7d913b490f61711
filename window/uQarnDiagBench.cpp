// The echo benchmark and contactless polling.
#include "uQarnDiag.h"

#include "uAppServices.h"
#include "uBenchmarkReport.h"
#include "uQarnDyn.h"

#include <QApplication>
#include <QPointer>
#include <QScopeGuard>

void TfQarnDiag::btnBenchClick()
{
    TBenchmarkRun run;
    {
        const TBusyCursor busy;
        QPushButton *const locked[] = {btnTest, btnOK, btnClose, btnExplain, btnBench};
        // Disabling the focused button hands the focus on, and a read-only
        // box that takes it by tab selects its whole text; the focus goes
        // back where it was, so Ctrl+C afterwards still copies the report.
        const QPointer<QWidget> focused = QApplication::focusWidget();
        for (QPushButton *button : locked)
            button->setEnabled(false);
        const auto unlock = qScopeGuard([&locked, &focused]() {
            for (QPushButton *button : locked)
                button->setEnabled(true);
            if (focused && focused->isEnabled())
                focused->setFocus(Qt::OtherFocusReason);
        });
        sbStatus->showMessage(QStringLiteral(
            "Please wait, benchmark in progress (this may take up to 60 seconds)..."));
        ProcessPendingEvents();
        // A failed 768-byte series shows its bare status number in a plain
        // box of its own (no icon, the application title as caption) while
        // the benchmark still runs.
        run = RunBenchmark([this](TQarnStatus status) {
            RunGuarded(this, [this, status]() {
                ShowMessageBox(this, ApplicationTitle(), QString::number(int(status)));
            });
        });
    }
    FResults.benchmark = run;

    // A library without NORV_Echo still gets the results box ("Test not
    // available" three times); only the report counts it as a failure.
    if (run.status != QARN_OK) {
        sbStatus->showMessage(QStringLiteral("Failed"));
        ShowMessageBox(this, QStringLiteral("Qarn Benchmark"), run.FailureText());
        return;
    }
    sbStatus->showMessage(QStringLiteral("OK "));
    ShowMessageBox(this, QStringLiteral("Benchmark results"),
                   BenchmarkReport(run.average128, run.average256, run.average768));
}

void TfQarnDiag::btnPollingClick()
{
    if (Tag(btnPolling) == 0) {
        SetTag(btnPolling, 1);
        btnPolling->setText(QStringLiteral("Terminate polling"));
    } else {
        SetTag(btnPolling, 0);
        btnPolling->setText(QStringLiteral("Contactless polling"));
    }
}

void TfQarnDiag::tmrPollingTimer()
{
    if (Tag(btnPolling) == 0)
        return;
    const TCardPoll poll = PollCard();
    FResults.card = poll;
    lbCard->setText(poll.line);
}
