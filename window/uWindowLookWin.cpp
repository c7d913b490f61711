// Windows: the font the window's layout names, "MS Sans Serif" at 8 points
// (11 pixels at 96 dots per inch), a semi-condensed cut of it for the
// hexadecimal boxes, and the system's own style.
#include "uWindowLook.h"

#include <QStringList>

QFont WindowFace()
{
    // Where Qt cannot use the bitmap "MS Sans Serif" (wine's is one), its
    // TrueType successor; then faces of about its measure (a wine prefix
    // has the system's Liberation Sans), and last Tahoma, wine's dialog
    // face, which is wider.
    QFont face;
    face.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Tahoma")});
    face.setStyleHint(QFont::SansSerif);
    face.setPixelSize(11);
    // Vertical hinting only (drawn through DirectWrite): full hinting of
    // Liberation Sans at this size under wine loses the stem of "I".
    face.setHintingPreference(QFont::PreferVerticalHinting);
    return face;
}

// The window narrows it further where the widest values still do not fit.
QFont CondensedFace()
{
    QFont face = WindowFace();
    face.setStretch(QFont::SemiCondensed);
    return face;
}

QString WindowStyleName() { return QStringLiteral("windowsvista"); }
