#include "uQarnCommMore.h"

#include "uAppServices.h"

#include <QCloseEvent>

TfQarnCommMore *fQarnCommMore = nullptr;

TfQarnCommMore::TfQarnCommMore(QWidget *parent) : QDialog(parent)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(372, 300);

    // The windows' face for the dialog and each control (the main window's
    // style sheet reaches this dialog too), keeping the title's bold.
    ApplyWindowFace(this);

    QPalette topPalette = pTop->palette();
    topPalette.setColor(QPalette::Window, topPalette.color(QPalette::Light));
    pTop->setPalette(topPalette);
    pTop->setAutoFillBackground(true);
    lbTitle->adjustSize();

    int id = 0;
    for (QRadioButton *item :
         {rgCommProtocolItem0, rgCommProtocolItem1, rgCommProtocolItem2, rgCommProtocolItem3})
        FProtocol.addButton(item, id++);
    id = 0;
    for (QRadioButton *item : {rgCommSpeedItem0, rgCommSpeedItem1, rgCommSpeedItem2})
        FSpeed.addButton(item, id++);
    SetCommProtocolIndex(0);
    SetCommSpeedIndex(0);

    SetErrorReport(&ShowHandlerError);
    connect(btnOK, &QPushButton::clicked, this,
            [this]() { RunGuarded(this, [this]() { btnOKClick(); }); });
}

void TfQarnCommMore::SetCommProtocolIndex(int index)
{
    if (QAbstractButton *item = FProtocol.button(index))
        item->setChecked(true);
}

void TfQarnCommMore::SetCommSpeedIndex(int index)
{
    if (QAbstractButton *item = FSpeed.button(index))
        item->setChecked(true);
}

void TfQarnCommMore::btnOKClick() { close(); }

// There is no Cancel: Esc leaves the dialog open.
void TfQarnCommMore::reject() {}

// The close box closes the dialog and keeps the selections.
void TfQarnCommMore::closeEvent(QCloseEvent *event) { event->accept(); }
