// Builds an SQLite database from an SQL script: statements end with ";" at
// the end of a line; lines starting with "--" are comments.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamroc-mkdb script.sql out.db\n");
        return 2;
    }
    QFile script(QString::fromLocal8Bit(argv[1]));
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    const QString tmp = out + QStringLiteral(".tmp");
    QDir().mkpath(QFileInfo(out).absolutePath());
    QFile::remove(tmp);
    int rc = 0;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mkdb"));
        db.setDatabaseName(tmp);
        if (!db.open()) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(tmp));
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
