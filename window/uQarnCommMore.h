// uQarnCommMore: the advanced communication settings dialog.  Its two radio
// groups force the link protocol and speed of this tool's own connection
// test; the choice lives only while the program runs.
#pragma once

#include "ui_uQarnCommMore.h"

#include <QButtonGroup>
#include <QDialog>

class TfQarnCommMore : public QDialog, public Ui::TfQarnCommMore {
    Q_OBJECT
public:
    explicit TfQarnCommMore(QWidget *parent = nullptr);

    // Selected item of each radio group, -1 when none is selected.
    int CommProtocolIndex() const { return FProtocol.checkedId(); }
    int CommSpeedIndex() const { return FSpeed.checkedId(); }
    void SetCommProtocolIndex(int index);
    void SetCommSpeedIndex(int index);

    void btnOKClick();

protected:
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    QButtonGroup FProtocol;
    QButtonGroup FSpeed;
};

extern TfQarnCommMore *fQarnCommMore;
