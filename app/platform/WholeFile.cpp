#include "WholeFile.h"

#include <QSaveFile>

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile out(path);
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!out.open(QIODevice::WriteOnly)) return fail(out.errorString());
    // A write can come up short without reporting an error (a size limit):
    // the temporary file's real size is checked before it takes the place.
    if (out.write(bytes) != bytes.size() || !out.flush() || out.size() != bytes.size()) {
        const QString why =
            out.error() != QFileDevice::NoError
                ? out.errorString()
                : QStringLiteral("%1 of %2 bytes written").arg(out.size()).arg(bytes.size());
        out.cancelWriting();
        out.commit(); // removes the temporary file
        return fail(why);
    }
    if (!out.commit()) return fail(out.errorString());
    return true;
}
