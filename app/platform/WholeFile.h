#pragma once
#include <QByteArray>
#include <QString>

// Replaces the whole content of the file at `path` with `bytes`. They are
// written beside it first and take its place only when every byte has
// reached the new file: a failure (a full disk, a size limit, a folder that
// cannot be written) leaves the old file, or no file, as it was, and `error`
// (when given) says why.
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
