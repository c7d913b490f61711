#include "uResourcePicture.h"

#include <QByteArray>
#include <QList>
#include <QResource>

namespace {

constexpr qint64 kLargestSide = 32767; // the toolkit's own limit
// The largest number a header may hold: Netpbm's largest MAXVAL.  Larger
// numbers are refused while they are read, so none can overflow.
constexpr qint64 kLargestNumber = 65535;

bool IsSpace(uchar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A decimal number of at most `largest`, all of `text`.
bool Number(const QByteArray &text, qint64 largest, qint64 &value)
{
    if (text.isEmpty())
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > largest)
            return false;
    }
    return true;
}

struct THeader {
    qint64 width = 0;
    qint64 height = 0;
    qint64 depth = 0;
    qint64 largest = 0;
    qsizetype pixels = 0; // where the pixel data starts
};

// "P6 <width> <height> <largest>" and one whitespace byte.
bool PpmHeader(const uchar *bytes, qsizetype size, THeader &header)
{
    qint64 *const fields[] = {&header.width, &header.height, &header.largest};
    qsizetype at = 2;
    for (qint64 *field : fields) {
        const qsizetype start = at;
        while (at < size && IsSpace(bytes[at]))
            ++at;
        const qsizetype digits = at;
        while (at < size && !IsSpace(bytes[at]))
            ++at;
        if (digits == start ||
            !Number(QByteArray::fromRawData(reinterpret_cast<const char *>(bytes + digits),
                                            at - digits),
                    kLargestNumber, *field))
            return false;
    }
    if (at == size) // the whitespace byte that ends the header
        return false;
    header.depth = 3;
    header.pixels = at + 1;
    return true;
}

// "P7", then lines of "<KEY> <value>" up to "ENDHDR".
bool PamHeader(const uchar *bytes, qsizetype size, THeader &header)
{
    qsizetype at = 2;
    if (at == size || bytes[at] != '\n')
        return false;
    QByteArray tupleType;
    for (++at; at < size;) {
        qsizetype end = at;
        while (end < size && bytes[end] != '\n')
            ++end;
        if (end == size)
            return false;
        const QList<QByteArray> words =
            QByteArray::fromRawData(reinterpret_cast<const char *>(bytes + at), end - at)
                .simplified()
                .split(' ');
        at = end + 1;
        const QByteArray &key = words.first();
        if (key == "ENDHDR" && words.size() == 1) {
            header.pixels = at;
            return tupleType.isEmpty() || tupleType == (header.depth == 4 ? "RGB_ALPHA" : "RGB");
        }
        if (words.size() != 2)
            return false;
        qint64 *const field = key == "WIDTH"    ? &header.width
                              : key == "HEIGHT" ? &header.height
                              : key == "DEPTH"  ? &header.depth
                              : key == "MAXVAL" ? &header.largest
                                                : nullptr;
        if (key == "TUPLTYPE")
            tupleType = words.at(1);
        else if (!field || !Number(words.at(1), kLargestNumber, *field))
            return false;
    }
    return false;
}

} // namespace

QImage NetpbmImage(const uchar *bytes, qsizetype size)
{
    THeader header;
    if (!bytes || size < 2 || bytes[0] != 'P')
        return {};
    const bool read = bytes[1] == '6'   ? PpmHeader(bytes, size, header)
                      : bytes[1] == '7' ? PamHeader(bytes, size, header)
                                        : false;
    if (!read || header.width < 1 || header.width > kLargestSide || header.height < 1 ||
        header.height > kLargestSide || header.largest != 255 ||
        (header.depth != 3 && header.depth != 4))
        return {};
    const qint64 rowBytes = header.width * header.depth;
    if (size - header.pixels < rowBytes * header.height)
        return {};
    return QImage(bytes + header.pixels, int(header.width), int(header.height), qsizetype(rowBytes),
                  header.depth == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
}

QPixmap ResourcePicture(const QString &path)
{
    const QResource resource(path);
    if (resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression) {
        const QImage image = NetpbmImage(resource.data(), resource.size());
        if (!image.isNull())
            return QPixmap::fromImage(image);
    }
    return QPixmap(path);
}
