// A file replaced whole or not at all: the content goes into a temporary
// file in the same folder, which is then renamed over the file, so a reader
// of the folder sees the old file or the new one, never a part.  Nothing is
// left behind when a step fails.
#pragma once

#include <QByteArray>
#include <QString>

// Writes content to path, readable by everyone (a collector running as
// another user reads it); on failure returns false with the reason.
bool WriteFileAtomically(const QString &path, const QByteArray &content, QString *error);
