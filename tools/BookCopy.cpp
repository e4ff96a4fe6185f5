#include "BookCopy.h"
#include "ServerAddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <stdexcept>

namespace BookCopy {

namespace {
enum class Kind { Integer, Smallint, Text, Real, Numeric, Blob };

struct Column {
    QString name;
    Kind kind = Kind::Text;
    bool notNull = false;
};

struct Table {
    QString name;
    QList<Column> columns;
    QStringList key;
    QList<QStringList> uniques;
    // SQLite's INTEGER PRIMARY KEY: a row added without it is numbered
    bool rowId = false;
};

struct Failure : std::runtime_error {
    explicit Failure(const QString& why) : std::runtime_error(why.toStdString()), text(why) {}
    QString text;
};

QString quoted(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// What a server makes of a name written without quotes: its ASCII letters
// in lower case. The tables on a server are named so, so that the catalog's
// names reach them however they are written.
QString folded(const QString& name) {
    QString n = name;
    for (QChar& c : n)
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + 32);
    return n;
}

// SQLite's rules for a column's declared type.
Kind kindOfDeclared(const QString& declared) {
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT")))
        return t.trimmed() == QLatin1String("SMALLINT") ? Kind::Smallint : Kind::Integer;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
        t.contains(QLatin1String("TEXT")) || t.trimmed().isEmpty())
        return Kind::Text;
    if (t.contains(QLatin1String("BLOB"))) return Kind::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("DOUB")))
        return Kind::Real;
    return Kind::Numeric;
}

Kind kindOfServerType(const QString& type) {
    if (type == QLatin1String("smallint")) return Kind::Smallint;
    if (type == QLatin1String("integer") || type == QLatin1String("bigint") ||
        type == QLatin1String("boolean"))
        return Kind::Integer;
    if (type == QLatin1String("double precision") || type == QLatin1String("real"))
        return Kind::Real;
    if (type.startsWith(QLatin1String("numeric"))) return Kind::Numeric;
    if (type == QLatin1String("bytea")) return Kind::Blob;
    return Kind::Text;
}

QString serverType(Kind k) {
    switch (k) {
    case Kind::Integer:
        return QStringLiteral("bigint");
    case Kind::Smallint:
        return QStringLiteral("smallint");
    case Kind::Real:
        return QStringLiteral("double precision");
    case Kind::Numeric:
        return QStringLiteral("numeric");
    case Kind::Blob:
        return QStringLiteral("bytea");
    case Kind::Text:
        break;
    }
    // sorted and grouped by its bytes, as SQLite sorts text
    return QStringLiteral("text COLLATE \"C\"");
}

QString fileType(Kind k) {
    switch (k) {
    case Kind::Integer:
        return QStringLiteral("INTEGER");
    case Kind::Smallint:
        return QStringLiteral("SMALLINT");
    case Kind::Real:
        return QStringLiteral("REAL");
    case Kind::Numeric:
        return QStringLiteral("NUMERIC");
    case Kind::Blob:
        return QStringLiteral("BLOB");
    case Kind::Text:
        break;
    }
    return QStringLiteral("TEXT");
}

class Book {
public:
    Book(const QString& where, bool create) : mName(QUuid::createUuid().toString()) {
        mServer = ServerAddress::isServerAddress(where);
        if (mServer) {
            QString why;
            const auto a = ServerAddress::parse(where, &why);
            if (!a)
                throw Failure(QStringLiteral("アドレスが正しくありません（%1）：%2")
                                  .arg(why, ServerAddress::hidePassword(where)));
            mShown = a->display();
            if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
                throw Failure(QStringLiteral("PostgreSQL のドライバ（QPSQL）がありません"));
            mDb = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), mName);
            a->configure(mDb);
        } else {
            mShown = ServerAddress::hidePassword(where);
            if (create) {
                if (QFileInfo::exists(where))
                    throw Failure(
                        QStringLiteral("%1 はすでにあります。上書きはしません").arg(mShown));
                QDir().mkpath(QFileInfo(where).absolutePath());
                mFinal = where;
                mFile = where + QStringLiteral(".copying");
                QFile::remove(mFile);
            } else {
                if (!QFileInfo(where).isFile())
                    throw Failure(QStringLiteral("%1 がありません").arg(mShown));
                mFile = where;
            }
            mDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), mName);
            mDb.setDatabaseName(mFile);
        }
        if (!mDb.open())
            throw Failure(QStringLiteral("%1 を開けません（%2）")
                              .arg(mShown, mDb.lastError().text().trimmed()));
        mDb.setPassword(QString());
    }
    ~Book() {
        mDb.close();
        mDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(mName);
        if (!mFinal.isEmpty() && !mKept) QFile::remove(mFile);
    }
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    bool server() const { return mServer; }
    QString shown() const { return mShown; }
    QSqlDatabase& db() { return mDb; }

    QSqlQuery run(const QString& sql) {
        QSqlQuery q(mDb);
        q.setForwardOnly(true);
        if (!q.exec(sql))
            throw Failure(QStringLiteral("%1 で文が失敗しました（%2）：%3")
                              .arg(mShown, q.lastError().text().trimmed(), sql.left(200)));
        return q;
    }

    QList<Table> tables() { return mServer ? serverTables() : fileTables(); }

    // A new file takes the place of its name only when it is complete.
    void keep() {
        if (mFinal.isEmpty()) return;
        mDb.close();
        if (!QFile::rename(mFile, mFinal))
            throw Failure(
                QStringLiteral("%1 を作れません").arg(ServerAddress::hidePassword(mFinal)));
        mKept = true;
    }

private:
    QList<Table> fileTables() {
        QList<Table> out;
        QSqlQuery names = run(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                             "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                                             "ORDER BY name"));
        QStringList list;
        while (names.next())
            list << names.value(0).toString();
        for (const QString& name : list) {
            Table t;
            t.name = name;
            QSqlQuery info = run(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(name)));
            QMap<int, QString> key;
            QString keyType;
            while (info.next()) {
                Column c;
                c.name = info.value(1).toString();
                c.kind = kindOfDeclared(info.value(2).toString());
                c.notNull = info.value(3).toInt() != 0;
                if (info.value(5).toInt() > 0) {
                    key.insert(info.value(5).toInt(), c.name);
                    keyType = info.value(2).toString();
                }
                t.columns << c;
            }
            t.key = key.values();
            t.rowId = t.key.size() == 1 && keyType.trimmed().toUpper() == QLatin1String("INTEGER");
            QSqlQuery indexes = run(QStringLiteral("PRAGMA index_list(%1)").arg(quoted(name)));
            QStringList unique;
            while (indexes.next())
                if (indexes.value(2).toInt() == 1 && indexes.value(3).toString() != "pk" &&
                    indexes.value(4).toInt() == 0)
                    unique << indexes.value(1).toString();
            for (const QString& index : unique) {
                QSqlQuery cols = run(QStringLiteral("PRAGMA index_info(%1)").arg(quoted(index)));
                QStringList u;
                while (cols.next())
                    u << cols.value(2).toString();
                if (!u.isEmpty() && !u.contains(QString())) t.uniques << u;
            }
            out << t;
        }
        return out;
    }

    QList<Table> serverTables() {
        QList<Table> out;
        QSqlQuery names = run(
            QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                           "current_schema() AND table_type = 'BASE TABLE' ORDER BY table_name"));
        QStringList list;
        while (names.next())
            list << names.value(0).toString();
        for (const QString& name : list) {
            Table t;
            t.name = name;
            const QString rel =
                QStringLiteral("to_regclass(%1)").arg(formatted(QVariant(quoted(name))));
            QSqlQuery cols =
                run(QStringLiteral("SELECT attname, format_type(atttypid, atttypmod), attnotnull "
                                   "FROM pg_attribute WHERE attrelid = %1 AND attnum > 0 AND NOT "
                                   "attisdropped ORDER BY attnum")
                        .arg(rel));
            QHash<QString, Kind> kinds;
            while (cols.next()) {
                Column c;
                c.name = cols.value(0).toString();
                c.kind = kindOfServerType(cols.value(1).toString());
                c.notNull = cols.value(2).toBool();
                kinds.insert(c.name, c.kind);
                t.columns << c;
            }
            QSqlQuery indexes = run(
                QStringLiteral("SELECT i.indisprimary, (SELECT string_agg(a.attname, chr(31) ORDER "
                               "BY k.n) FROM unnest(i.indkey) WITH ORDINALITY AS k(attnum, n) JOIN "
                               "pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum) "
                               "FROM pg_index i WHERE i.indrelid = %1 AND i.indisunique AND "
                               "i.indpred IS NULL AND i.indexprs IS NULL ORDER BY i.indexrelid")
                    .arg(rel));
            while (indexes.next()) {
                const QStringList cs = indexes.value(1).toString().split(QChar(31));
                if (indexes.value(0).toBool())
                    t.key = cs;
                else
                    t.uniques << cs;
            }
            t.rowId = t.key.size() == 1 && kinds.value(t.key.first()) == Kind::Integer;
            out << t;
        }
        return out;
    }

public:
    QString formatted(const QVariant& v) const {
        // Qt's SQLite driver would write bytes as a text of hex digits
        if (!mServer && v.typeId() == QMetaType::QByteArray)
            return QStringLiteral("X'") + QString::fromLatin1(v.toByteArray().toHex()) +
                   QLatin1Char('\'');
        QSqlField f(QString(), v.metaType());
        f.setValue(v);
        return mDb.driver()->formatValue(f);
    }

private:
    QString mName;
    QString mShown;
    QString mFile;
    QString mFinal;
    bool mServer = false;
    bool mKept = false;
    QSqlDatabase mDb;
};

QString createStatement(const Table& t, bool server) {
    QStringList parts;
    for (const Column& c : t.columns) {
        QString p = quoted(server ? folded(c.name) : c.name) + QLatin1Char(' ');
        if (!server && t.rowId && c.name == t.key.first()) {
            parts << p + QStringLiteral("INTEGER PRIMARY KEY");
            continue;
        }
        p += server ? serverType(c.kind) : fileType(c.kind);
        if (c.notNull) p += QStringLiteral(" NOT NULL");
        parts << p;
    }
    auto list = [&](const QStringList& names) {
        QStringList q;
        for (const QString& n : names)
            q << quoted(server ? folded(n) : n);
        return q.join(QStringLiteral(", "));
    };
    if (!t.key.isEmpty() && (server || !t.rowId))
        parts << QStringLiteral("PRIMARY KEY (") + list(t.key) + QLatin1Char(')');
    for (const QStringList& u : t.uniques)
        parts << QStringLiteral("UNIQUE (") + list(u) + QLatin1Char(')');
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoted(server ? folded(t.name) : t.name), parts.join(QStringLiteral(", ")));
}

void copyRows(Book& from, Book& to, const Table& t, qint64* count) {
    QStringList names;
    for (const Column& c : t.columns)
        names << quoted(c.name);
    QStringList order;
    for (const QString& k : t.key)
        order << quoted(k);
    QSqlQuery rows = from.run(QStringLiteral("SELECT %1 FROM %2%3")
                                  .arg(names.join(QStringLiteral(", ")), quoted(t.name),
                                       order.isEmpty() ? QString()
                                                       : QStringLiteral(" ORDER BY ") +
                                                             order.join(QStringLiteral(", "))));
    QStringList target;
    for (const Column& c : t.columns)
        target << quoted(to.server() ? folded(c.name) : c.name);
    const QString head =
        QStringLiteral("INSERT INTO %1 (%2) VALUES ")
            .arg(quoted(to.server() ? folded(t.name) : t.name), target.join(QStringLiteral(", ")));
    QString sql;
    int inStatement = 0;
    auto flush = [&] {
        if (inStatement == 0) return;
        to.run(sql);
        sql.clear();
        inStatement = 0;
    };
    const int n = static_cast<int>(t.columns.size());
    while (rows.next()) {
        QString values;
        for (int i = 0; i < n; ++i) {
            QVariant v = rows.value(i);
            // a server's decimals and booleans as the numbers they are
            if (!v.isNull() && v.typeId() == QMetaType::Bool) v = QVariant(v.toBool() ? 1 : 0);
            values += (i ? QStringLiteral(", ") : QString()) +
                      (rows.isNull(i) || v.isNull() ? QStringLiteral("NULL") : to.formatted(v));
        }
        sql += (inStatement ? QStringLiteral(", (") : head + QLatin1Char('(')) + values +
               QLatin1Char(')');
        ++*count;
        if (++inStatement >= 500 || sql.size() > 400000) flush();
    }
    if (rows.lastError().isValid())
        throw Failure(QStringLiteral("%1 の表 %2 を読めません（%3）")
                          .arg(from.shown(), t.name, rows.lastError().text().trimmed()));
    flush();
}
} // namespace

QString rowIdFunctionSql() {
    return QStringLiteral(
        "CREATE OR REPLACE FUNCTION tamroc_row_id() RETURNS trigger LANGUAGE plpgsql AS $f$\n"
        "DECLARE next_key bigint;\n"
        "BEGIN\n"
        "  IF to_jsonb(NEW) -> TG_ARGV[0] = 'null'::jsonb THEN\n"
        "    EXECUTE format('SELECT coalesce(max(%I), 0) + 1 FROM %I.%I', TG_ARGV[0],\n"
        "                   TG_TABLE_SCHEMA, TG_TABLE_NAME) INTO next_key;\n"
        "    NEW := jsonb_populate_record(NEW, jsonb_build_object(TG_ARGV[0], next_key));\n"
        "  END IF;\n"
        "  RETURN NEW;\n"
        "END $f$");
}

QStringList rowIdSql(const QString& table, const QString& column) {
    QString arg = column;
    arg.replace(QLatin1Char('\''), QLatin1String("''"));
    return {QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 FOR EACH ROW EXECUTE FUNCTION "
                           "tamroc_row_id('%3')")
                .arg(quoted(folded(table) + QStringLiteral("_row_id")), quoted(folded(table)),
                     folded(arg))};
}

QString copy(const QString& source, const QString& destination,
             const std::function<void(const QString&)>& progress) {
    try {
        Book from(source, false);
        Book to(destination, true);
        const QList<Table> tables = from.tables();
        if (tables.isEmpty()) throw Failure(from.shown() + QStringLiteral(" に表がありません"));
        QSet<QString> names;
        for (const Table& t : tables) {
            const QString n = to.server() ? folded(t.name) : t.name;
            if (names.contains(n))
                throw Failure(
                    QStringLiteral("表 %1 はサーバーでは他の表と同じ名前になります").arg(t.name));
            names.insert(n);
        }
        if (to.server()) {
            QSqlQuery there = to.run(QStringLiteral(
                "SELECT table_name FROM information_schema.tables WHERE table_schema = "
                "current_schema()"));
            while (there.next())
                if (names.contains(there.value(0).toString()))
                    throw Failure(QStringLiteral("%1 にはすでに表 %2 があります。上書きはしません")
                                      .arg(to.shown(), there.value(0).toString()));
        }
        if (!to.db().transaction())
            throw Failure(QStringLiteral("%1 でトランザクションを始められません").arg(to.shown()));
        // Reading the source in one transaction too gives one consistent
        // picture of a book that others may be writing.
        from.db().transaction();
        bool rowIdFunction = false;
        for (const Table& t : tables) {
            to.run(createStatement(t, to.server()));
            if (to.server() && t.rowId) {
                if (!rowIdFunction) to.run(rowIdFunctionSql());
                rowIdFunction = true;
                for (const QString& s : rowIdSql(t.name, t.key.first()))
                    to.run(s);
            }
            qint64 count = 0;
            copyRows(from, to, t, &count);
            if (progress) progress(QStringLiteral("%1: %2").arg(t.name).arg(count));
        }
        from.db().rollback();
        if (!to.db().commit())
            throw Failure(QStringLiteral("%1 に書き込めません（%2）")
                              .arg(to.shown(), to.db().lastError().text().trimmed()));
        to.keep();
        return {};
    } catch (const Failure& f) {
        return f.text;
    }
}

} // namespace BookCopy
