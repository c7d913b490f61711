#include "uAtomicFile.h"

#include <QSaveFile>

bool WriteFileAtomically(const QString &path, const QByteArray &content, QString *error)
{
    // QSaveFile writes a temporary file beside path (named after it, so a
    // collector that reads only "*.prom" skips it), renames it on commit and
    // removes it on every other way out.
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ReadGroup | QFileDevice::ReadOther) &&
                         file.write(content) == content.size() && file.commit();
    if (!written && error)
        *error = file.errorString();
    return written;
}
