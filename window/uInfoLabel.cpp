#include "uInfoLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>

namespace {

// The lines of `text` in `width` pixels, at most maxLines; the last one takes
// the whole rest of the text, elided by `mode` when it is too long.  `cut`
// tells whether anything was left out.
QStringList FitLines(const QString &text, const QFont &font, int width, int maxLines,
                     Qt::TextElideMode mode, bool &cut)
{
    cut = false;
    QStringList lines;
    if (text.isEmpty())
        return lines;
    const QFontMetrics metrics(font);
    QString flowing = text;
    flowing.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flowing, font);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() + 1 < maxLines) {
            lines << flowing.mid(line.textStart(), line.textLength()).trimmed();
            continue;
        }
        QString rest = flowing.mid(line.textStart()).trimmed();
        rest.replace(QChar::LineSeparator, QLatin1Char(' '));
        const QString shown = metrics.elidedText(rest, mode, width);
        cut = shown != rest;
        lines << shown;
        break;
    }
    layout.endLayout();
    return lines;
}

int LineCapacity(const QWidget &label)
{
    return std::max(1, label.contentsRect().height() / QFontMetrics(label.font()).lineSpacing());
}

} // namespace

QStringList TInfoLabel::VisibleLines(bool *cut) const
{
    bool leftOut = false;
    const QStringList lines =
        FitLines(text(), font(), contentsRect().width(), LineCapacity(*this), FElideMode, leftOut);
    if (cut)
        *cut = leftOut;
    return lines;
}

void TInfoLabel::SetElideMode(Qt::TextElideMode mode)
{
    FElideMode = mode;
    update();
}

bool TInfoLabel::IsCut() const
{
    bool cut = false;
    VisibleLines(&cut);
    return cut;
}

void TInfoLabel::paintEvent(QPaintEvent * /*event*/)
{
    const QStringList lines = VisibleLines();
    const int lineHeight = QFontMetrics(font()).lineSpacing();
    const QRect block = QStyle::alignedRect(
        layoutDirection(), (alignment() & Qt::AlignVertical_Mask) | Qt::AlignLeft,
        QSize(contentsRect().width(), int(lines.size()) * lineHeight), contentsRect());
    QPainter painter(this);
    for (int i = 0; i < lines.size(); ++i) {
        const QRect lineRect(block.left(), block.top() + i * lineHeight, block.width(), lineHeight);
        style()->drawItemText(&painter, lineRect, Qt::AlignLeft | Qt::AlignVCenter, palette(),
                              isEnabled(), lines[i], foregroundRole());
    }
}

bool TInfoLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        // The whole text, only when the label cannot show it all.
        const auto *help = static_cast<QHelpEvent *>(event);
        if (IsCut())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}
