// Builds an SQLite database from an SQL script: statements end with ";" at
// the end of a line; lines starting with "--" are comments.
//
//   tamroc-mkdb script.sql out.db            the book as a file
//   tamroc-mkdb script.sql postgresql://...  the same book on a server
//   tamroc-mkdb --copy FROM TO               moves a book between a file and a
//                                            server, either way
#include "BookCopy.h"
#include "ServerAddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

namespace {
int copyBook(const QString& from, const QString& to) {
    const QString failure = BookCopy::copy(
        from, to, [](const QString& line) { std::printf("%s\n", line.toLocal8Bit().constData()); });
    if (failure.isEmpty()) return 0;
    std::fprintf(stderr, "tamroc-mkdb: %s\n", failure.toLocal8Bit().constData());
    return 1;
}

// Runs the script into a new file `out` (replaced only when complete).
int buildFile(const QString& scriptPath, const QString& out) {
    QFile script(scriptPath);
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(scriptPath));
        return 1;
    }
    const QString tmp = out + QStringLiteral(".tmp");
    QDir().mkpath(QFileInfo(out).absolutePath());
    QFile::remove(tmp);
    int rc = 0;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mkdb"));
        db.setDatabaseName(tmp);
        if (!db.open()) {
            std::fprintf(stderr, "cannot create %s\n",
                         qPrintable(ServerAddress::hidePassword(tmp)));
            return 1;
        }
        QSqlQuery q(db);
        QString stmt;
        const QStringList lines = QString::fromUtf8(script.readAll()).split(QLatin1Char('\n'));
        db.transaction();
        for (const QString& line : lines) {
            if (line.trimmed().startsWith(QLatin1String("--"))) continue;
            stmt += line + QLatin1Char('\n');
            if (line.trimmed().endsWith(QLatin1Char(';'))) {
                if (!q.exec(stmt)) {
                    std::fprintf(stderr, "%s\n%s\n", qPrintable(stmt),
                                 qPrintable(q.lastError().text()));
                    rc = 1;
                    break;
                }
                stmt.clear();
            }
        }
        if (rc == 0) db.commit();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mkdb"));
    if (rc != 0) return rc;
    QFile::remove(out);
    return QFile::rename(tmp, out) ? 0 : 1;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--copy")
        return copyBook(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamroc-mkdb script.sql out.db|postgresql://...\n"
                             "       tamroc-mkdb --copy FROM TO\n");
        return 2;
    }
    const QString script = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!ServerAddress::isServerAddress(out)) return buildFile(script, out);
    // The script is SQLite's: the book is built in a file first, then copied
    // to the server.
    const QString file =
        QDir::temp().filePath(QStringLiteral("tamroc-mkdb-%1.db").arg(app.applicationPid()));
    QFile::remove(file);
    int rc = buildFile(script, file);
    if (rc == 0) rc = copyBook(file, out);
    QFile::remove(file);
    return rc;
}
