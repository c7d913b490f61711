// TInfoLabel: a label in a fixed place for messages of any length.  The text
// wraps onto as many lines as the label's height holds; a text that still
// does not fit is cut (at its end, or in the middle of the last line with
// SetElideMode) and shows whole in the label's tooltip.
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
    // Whether the text is cut (its last visible line holds an ellipsis).
    bool IsCut() const;
    // Where the last line is cut; at its end unless told otherwise.
    void SetElideMode(Qt::TextElideMode mode);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    Qt::TextElideMode FElideMode = Qt::ElideRight;
};
