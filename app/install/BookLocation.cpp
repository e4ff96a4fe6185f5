#include "BookLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool writableFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

// Copies `from` to `to` unless `to` exists. The copy is written under a
// temporary name and renamed, so a start that ends half way leaves no half
// book that a later start would take for the user's own.
bool copyIfMissing(const QString& from, const QString& to, QString* error) {
    if (QFileInfo::exists(to)) return false;
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(from, part)) {
        *error = QStringLiteral("「%1」を「%2」に写せませんでした。").arg(from, to);
        return false;
    }
    // the shipped files belong to the system and may be read-only
    QFile::setPermissions(part, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    QFile::ReadOther);
    if (!QFile::rename(part, to)) {
        QFile::remove(part);
        *error = QStringLiteral("「%1」を作れませんでした。").arg(to);
        return false;
    }
    return true;
}

} // namespace

QString shippedDataDir(const QString& programDir) {
    return QDir::cleanPath(programDir + QStringLiteral("/../share/tamroc"));
}

BookLocation locateBook(const QString& programDir, const QString& userDataDir) {
    BookLocation where;
    if (writableFolder(programDir + QStringLiteral("/db")) || userDataDir.isEmpty()) {
        where.dataDir = programDir;
        where.iconDir = programDir + QStringLiteral("/Icons/");
        return where;
    }
    QString shipped = shippedDataDir(programDir);
    // a program folder that is read-only but holds its own book ships that one
    if (!QFileInfo(shipped + QStringLiteral("/db")).isDir() &&
        QFileInfo(programDir + QStringLiteral("/db")).isDir())
        shipped = programDir;
    where.dataDir = QDir::cleanPath(userDataDir);
    where.iconDir = QFileInfo(shipped + QStringLiteral("/Icons")).isDir()
                        ? shipped + QStringLiteral("/Icons/")
                        : programDir + QStringLiteral("/Icons/");
    const QString db = where.dataDir + QStringLiteral("/db");
    if (!QDir().mkpath(db)) {
        where.error = QStringLiteral("帳簿の置き場所「%1」を作れませんでした。").arg(db);
        return where;
    }
    const bool book = copyIfMissing(shipped + QStringLiteral("/db/Tamroc.mdb"),
                                    db + QStringLiteral("/Tamroc.mdb"), &where.error);
    copyIfMissing(shipped + QStringLiteral("/db/Tamroc.ini"), db + QStringLiteral("/Tamroc.ini"),
                  &where.error);
    if (book)
        where.notice = QStringLiteral("帳簿は「%1」に置きました。")
                           .arg(QDir::toNativeSeparators(db + QStringLiteral("/Tamroc.mdb")));
    return where;
}
