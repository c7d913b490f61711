// TElideComboBox: a drop-down list whose closed face cuts a long entry in the
// middle, so that both ends stay visible (reader names differ in their slot
// suffix), and shows the whole entry in its tooltip when it is cut.  The
// open list cuts its entries in the middle too.
#pragma once

#include <QComboBox>

class TElideComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TElideComboBox(QWidget *parent = nullptr);

    // The current entry as the closed list shows it.
    QString ShownText() const;

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};
