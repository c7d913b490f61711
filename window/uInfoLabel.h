// TInfoLabel: a label in a fixed place for messages of any length.  The text
// wraps onto as many lines as the label's height holds; a text that still
// does not fit ends in an ellipsis and shows whole in the label's tooltip.
// text() is always the whole text.
#pragma once

#include <QLabel>
#include <QStringList>

class TInfoLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The lines on screen for the current text, font and size; `cut` tells
    // whether the text was cut.
    QStringList VisibleLines(bool *cut = nullptr) const;
    // Whether the text is cut (its last visible line ends in an ellipsis).
    bool IsCut() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};
