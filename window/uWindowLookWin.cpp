// Windows: the font the window's layout names, "MS Sans Serif" at 8 points
// (11 pixels at 96 dots per inch), also in the hexadecimal boxes, which
// were made to its measure, and the system's own style.
#include "uWindowLook.h"

#include <QStringList>

QFont WindowFace()
{
    // Where Qt cannot use the bitmap "MS Sans Serif" (wine's is one), its
    // TrueType successor, or Tahoma, the dialog face of wine.
    QFont face;
    face.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Tahoma")});
    face.setStyleHint(QFont::SansSerif);
    face.setPixelSize(11);
    return face;
}

QFont CondensedFace() { return WindowFace(); }

QString WindowStyleName() { return QStringLiteral("windowsvista"); }
