// Pictures compiled into the program.  A picture stored as an uncompressed
// 8-bit binary Netpbm file is shown straight from the program's memory: no
// image reader runs, where the first PNG read cost the start-up a few
// milliseconds of looking for image plugins, inflating and filtering.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// The 8-bit binary Netpbm picture in the bytes given, as an image over those
// bytes, which must outlive it: a PPM ("P6", largest value 255, no comments)
// or a PAM ("P7", DEPTH 3 with TUPLTYPE RGB or DEPTH 4 with RGB_ALPHA, MAXVAL
// 255).  A null image for anything else, including pixel data shorter than
// the header says.
QImage NetpbmImage(const uchar *bytes, qsizetype size);

// The picture at a resource path (":/images/..."): through NetpbmImage when
// the resource is stored uncompressed, through the toolkit's image readers
// otherwise.
QPixmap ResourcePicture(const QString &path);
