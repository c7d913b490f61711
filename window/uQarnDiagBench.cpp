// The echo benchmark and contactless polling.
#include "uQarnDiag.h"

#include "uAppServices.h"
#include "uBenchmarkReport.h"
#include "uQarnDyn.h"

void TfQarnDiag::btnBenchClick()
{
    TQarnStatus status = QARN_OK;
    TEchoAverage average128;
    TEchoAverage average256;
    TEchoAverage average768;
    {
        const TBusyCursor busy;
        QPushButton *const locked[] = {btnTest, btnOK, btnClose, btnExplain, btnBench};
        for (QPushButton *button : locked)
            button->setEnabled(false);
        const TScopeExit unlock([&locked]() {
            for (QPushButton *button : locked)
                button->setEnabled(true);
        });
        sbStatus->showMessage(QStringLiteral(
            "Please wait, benchmark in progress (this may take up to 60 seconds)..."));
        ProcessPendingEvents();
        status = DynBenchmark(average128, average256, average768);
    }

    if (status != QARN_OK) {
        sbStatus->showMessage(QStringLiteral("Failed"));
        ShowMessageBox(this, QStringLiteral("Qarn Benchmark"), StatusMessage(status));
        return;
    }
    sbStatus->showMessage(QStringLiteral("OK "));
    ShowMessageBox(this, QStringLiteral("Benchmark results"),
                   BenchmarkReport(average128, average256, average768));
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
    std::string uid;
    std::string typeName;
    const TQarnStatus status = DynFindCard(uid, typeName);
    if (status == QARN_OK) {
        lbCard->setText(LibraryText(typeName) +
                        QStringLiteral(" : ") + QString::fromLatin1(uid.data(), qsizetype(uid.size())));
    } else if (status == QARN_NO_CARD) {
        lbCard->setText(QStringLiteral("No card on the reader"));
    } else {
        lbCard->setText(StatusMessage(status));
    }
}

// The plain message dialog of a failed 768-byte series: the bare status
// number, the application title as caption, no icon.
void ShowBenchmarkFailure(TQarnStatus status)
{
    RunGuarded(fQarnDiag, [status]() {
        ShowMessageBox(fQarnDiag, ApplicationTitle(), QString::number(int(status)));
    });
}
