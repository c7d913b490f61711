// TGroupBox: a group box drawn the same on every system: a thin rounded frame
// with the caption on its top line.  The controls inside keep the places the
// forms give them.
#pragma once

#include <QGroupBox>

class TGroupBox : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

    // Where the caption is drawn, in the box's coordinates.
    QRect CaptionRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};
