#include "uProgramIcon.h"

#include "uResourcePicture.h"

#include <QFile>
#include <QIconEngine>
#include <QList>
#include <QPainter>

namespace {

// Answers the sizes from the list it was made with, and reads the pictures
// on the first request for one of them.
class TResourceIconEngine : public QIconEngine {
public:
    explicit TResourceIconEngine(QList<int> sizes) : FSizes(std::move(sizes)) {}

    QIconEngine *clone() const override { return new TResourceIconEngine(*this); }
    QString key() const override { return QStringLiteral("TResourceIconEngine"); }
    bool isNull() override { return FSizes.isEmpty(); }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        // The pictures are all of the normal, unticked look; the others are
        // derived from them, as for an icon made with addFile.
        QList<QSize> sizes;
        if (mode == QIcon::Normal && state == QIcon::Off) {
            for (const int size : FSizes)
                sizes << QSize(size, size);
        }
        return sizes;
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return Pictures().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return Pictures().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        return Pictures().pixmap(size, scale, mode, state);
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        Pictures().paint(painter, rect, Qt::AlignCenter, mode, state);
    }

private:
    const QIcon &Pictures()
    {
        if (FPictures.isNull()) {
            // The small sizes, which the windows show, are also stored
            // uncompressed.
            for (const int size : FSizes) {
                const QString path = QStringLiteral(":/icons/qarndiag-%1.pam").arg(size);
                FPictures.addPixmap(ResourcePicture(
                    QFile::exists(path) ? path
                                        : QStringLiteral(":/icons/qarndiag-%1.png").arg(size)));
            }
        }
        return FPictures;
    }

    QList<int> FSizes;
    QIcon FPictures;
};

} // namespace

QIcon ProgramIcon(std::initializer_list<int> sizes)
{
    return QIcon(new TResourceIconEngine(QList<int>(sizes)));
}
