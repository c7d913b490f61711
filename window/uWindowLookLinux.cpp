// Linux: Liberation Sans, as close as Linux gets to the classic dialog font,
// its narrow cut for the hexadecimal boxes, and the Fusion style, which
// looks the same on every desktop.
#include "uWindowLook.h"

namespace {
QFont Face(const QString &family)
{
    QFont face(family);
    face.setStyleHint(QFont::SansSerif);
    face.setPixelSize(11);
    return face;
}
} // namespace

QFont WindowFace() { return Face(QStringLiteral("Liberation Sans")); }

QFont CondensedFace() { return Face(QStringLiteral("Liberation Sans Narrow")); }

QString WindowStyleName() { return QStringLiteral("Fusion"); }
