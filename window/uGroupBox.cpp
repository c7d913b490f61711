#include "uGroupBox.h"

#include <QPainter>
#include <QStyle>

namespace {
// The frame's top line runs this far below the box's top, through the middle
// of the caption's upper half.
constexpr int kFrameTop = 6;
// The caption starts this far from the box's left edge, with this much
// room either side of its text where the frame line is left out.
constexpr int kCaptionLeft = 7;
constexpr int kCaptionPadding = 4;
constexpr qreal kCornerRadius = 1.5;
} // namespace

QRect TGroupBox::CaptionRect() const
{
    const QFontMetrics metrics(font());
    const int textWidth = metrics.size(Qt::TextShowMnemonic, title()).width();
    return {kCaptionLeft, 0, textWidth + 2 * kCaptionPadding, metrics.height()};
}

void TGroupBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect caption = CaptionRect();

    QRegion frameArea(rect());
    if (!title().isEmpty())
        frameArea -= caption;
    painter.setClipRegion(frameArea);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Mid));
    const QRectF frame = QRectF(rect().adjusted(0, kFrameTop, 0, 0)).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(frame, kCornerRadius, kCornerRadius);
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, false);

    if (!title().isEmpty())
        style()->drawItemText(&painter, caption.adjusted(kCaptionPadding, 0, -kCaptionPadding, 0),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                              isEnabled(), title(), QPalette::WindowText);
}
