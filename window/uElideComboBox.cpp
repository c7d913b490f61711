#include "uElideComboBox.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>

#include <algorithm>

namespace {

// The room for the text in the closed list: its edit field less the icon
// and the gap the style puts after it.
int TextWidth(const QComboBox &box, const QStyleOptionComboBox &option)
{
    const QRect field = box.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, &box);
    int width = field.width();
    if (!option.currentIcon.isNull())
        width -= option.iconSize.width() + 4;
    return std::max(0, width);
}

} // namespace

TElideComboBox::TElideComboBox(QWidget *parent) : QComboBox(parent) {}

void TElideComboBox::showPopup()
{
    // Set here rather than when the box is made: asking for the view makes
    // the whole popup, which the window's start has no need of.
    view()->setTextElideMode(Qt::ElideMiddle);
    QComboBox::showPopup();
}

QString TElideComboBox::ShownText() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, TextWidth(*this, option));
}

void TElideComboBox::paintEvent(QPaintEvent * /*event*/)
{
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (!isEditable()) {
        option.currentText = ShownText();
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
}

bool TElideComboBox::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        // The whole entry, only when the closed list cannot show it all.
        const auto *help = static_cast<QHelpEvent *>(event);
        if (ShownText() != currentText())
            QToolTip::showText(help->globalPos(), currentText(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QComboBox::event(event);
}
