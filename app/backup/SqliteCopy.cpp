#include "SqliteCopy.h"

#include <QFile>
#include <QSet>
#include <sqlite3.h>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace SqliteCopy {
namespace {

struct Connection {
    sqlite3* db = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (db) sqlite3_close_v2(db);
    }
    QString error() const {
        return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
    }
};

QString opened(Connection& c, const QString& path, int flags) {
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &c.db, flags, nullptr);
    if (rc != SQLITE_OK) return path + QStringLiteral(": ") + c.error();
    // another program writing the book holds it for moments only
    sqlite3_busy_timeout(c.db, 5000);
    return {};
}

QString run(Connection& c, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(c.db, sql, nullptr, nullptr, &message) == SQLITE_OK) return {};
    const QString why = message ? QString::fromUtf8(message) : c.error();
    sqlite3_free(message);
    return why;
}

// The first column of every row of `sql`; false with `error` set on failure.
bool column(Connection& c, const QString& sql, QStringList& out, QString& error) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
        error = c.error();
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        error = c.error();
        return false;
    }
    return true;
}

bool syncToDisk(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) return false;
#if defined(Q_OS_WIN)
    return _commit(f.handle()) == 0;
#else
    return ::fsync(f.handle()) == 0;
#endif
}

QString quoted(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}
} // namespace

QString copy(const QString& source, const QString& target, Durability durability) {
    Connection from, to;
    QString why = opened(from, source, SQLITE_OPEN_READONLY);
    if (!why.isEmpty()) return why;
    why = opened(to, target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!why.isEmpty()) return why;
    // a new file that only this connection writes and that is thrown away
    // on failure needs no journal of its own
    if (!(why = run(to, "pragma journal_mode = off")).isEmpty() ||
        !(why = run(to, "pragma synchronous = off")).isEmpty())
        return target + QStringLiteral(": ") + why;
    sqlite3_backup* b = sqlite3_backup_init(to.db, "main", from.db, "main");
    if (!b) return target + QStringLiteral(": ") + to.error();
    // All pages in one step: the copy is taken under one read of the book,
    // so it shows the book at one moment.
    const int rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) {
        // the side that failed knows why
        const QString fromError = from.error(), toError = to.error();
        const bool readFailed = sqlite3_errcode(from.db) != SQLITE_OK;
        return readFailed ? source + QStringLiteral(": ") + fromError
                          : target + QStringLiteral(": ") +
                                (sqlite3_errcode(to.db) != SQLITE_OK
                                     ? toError
                                     : QString::fromUtf8(sqlite3_errstr(rc)));
    }
    if (sqlite3_close(to.db) != SQLITE_OK) return target + QStringLiteral(": ") + to.error();
    to.db = nullptr;
    if (durability == Durability::Synced && !syncToDisk(target))
        return target + QStringLiteral(": could not be written to the disk");
    return {};
}

QString integrity(const QString& path) {
    Connection c;
    QString why = opened(c, path, SQLITE_OPEN_READONLY);
    if (!why.isEmpty()) return why;
    QStringList found;
    if (!column(c, QStringLiteral("pragma integrity_check"), found, why)) return why;
    if (found == QStringList{QStringLiteral("ok")}) return {};
    // the first findings say enough
    return found.mid(0, 5).join(QLatin1Char('\n'));
}

Counts rowCounts(const QString& path, const QStringList& tables) {
    Counts out;
    Connection c;
    out.error = opened(c, path, SQLITE_OPEN_READONLY);
    if (!out.error.isEmpty()) return out;
    QStringList names;
    if (!column(c, QStringLiteral("select name from sqlite_master where type = 'table'"), names,
                out.error))
        return out;
    QSet<QString> present;
    for (const QString& n : names)
        present.insert(n.toLower());
    for (const QString& t : tables) {
        if (!present.contains(t.toLower())) {
            out.rows << -1;
            continue;
        }
        QStringList n;
        if (!column(c, QStringLiteral("select count(*) from ") + quoted(t), n, out.error))
            return out;
        out.rows << n.value(0).toLongLong();
    }
    return out;
}

} // namespace SqliteCopy
