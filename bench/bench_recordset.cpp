// Record set open and batch update against a bare QSqlQuery loop.
#include "BenchUtil.h"
#include "clsDBRecord.h"
#include "clsRellmark.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <sys/resource.h>

namespace {
// The peak resident memory of the process so far, in MB.
double peakMB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0; // kilobytes on Linux
}

// A million purchases: an integer key, a year of five values, small
// integers, an item name of 500 values, an amount, and an empty memo.
void purchases(const QString& path, clsRellmark& conn) {
    const int rows = 1000000;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "genbuy");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec("create table buy (id integer primary key, y text, m integer, d integer, "
               "cat_id integer, shop_id integer, item text, amount integer, memo text)");
        q.exec("begin");
        q.exec(QString("with recursive s(n) as (select 1 union all select n + 1 from s where n < "
                       "%1) insert into buy select n, cast(2020 + n % 5 as text), 1 + n % 12, "
                       "1 + n % 28, 1 + n % 20, 1 + n % 30, '品名' || (n % 500), 100 + n % 9000, "
                       "null from s")
                   .arg(rows));
        q.exec("commit");
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("genbuy");
    conn.connect(path);
    QSqlDatabase bareDb = QSqlDatabase::addDatabase("QSQLITE", "barebuy");
    bareDb.setDatabaseName(path);
    bareDb.open();
    volatile qint64 sink = 0;
    const double bare = bestOf(3, [&] {
        QSqlQuery q(bareDb);
        q.setForwardOnly(true);
        q.exec("select * from buy");
        while (q.next())
            for (int i = 0; i < 9; ++i)
                sink = sink + q.value(i).isNull();
    });
    const double before = peakMB();
    double first = 1e300, again = 0, held = 0;
    for (int round = 0; round < 3; ++round) {
        clsDBRecord r; // released outside the measurement
        r.setParentConnectClass(&conn);
        first = std::min(first, bestOf(1, [&] { r.GetRecordSet("buy"); }));
        if (round == 0) held = peakMB();
        if (r.RowCount() != rows) qFatal("rows missing");
        // the same set opened again drops what it held first
        if (round == 2) again = bestOf(2, [&] { r.GetRecordSet("buy"); });
    }
    bareDb.close();
    bareDb = QSqlDatabase();
    QSqlDatabase::removeDatabase("barebuy");
    conn.DisConnect();
    std::printf("1,000,000 purchases x 9 columns\n");
    report("bare QSqlQuery forward-only loop, every field", bare, bare);
    report("GetRecordSet alone, a new set", first, bare);
    report("GetRecordSet alone, the same set again", again, bare);
    std::printf("peak resident memory: %.1f MB before the open, %.1f MB with the set held "
                "(%.1f MB for the set)\n",
                before, held, held - before);
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.path() + "/bench.db";
    const int rows = 100000;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "gen");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec("create table t (id integer primary key, a integer, b text, c text, d integer, "
               "e real, f text, g integer, h text, i integer)");
        q.exec("begin");
        q.exec(
            QString("with recursive s(n) as (select 1 union all select n + 1 from s where n < %1) "
                    "insert into t select n, n % 97, 'text ' || n, '品名' || (n % 300), n * 3, n / "
                    "7.0, "
                    "'memo', n % 12, null, n % 5 from s")
                .arg(rows));
        q.exec("commit");
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("gen");

    clsRellmark conn;
    purchases(dir.path() + "/buy.db", conn);
    conn.connect(path);
    const QStringList names = {"id", "a", "b", "c", "d", "e", "f", "g", "h", "i"};

    // The bare loop reads through one connection opened beforehand, as the
    // record sets read through the open clsRellmark.
    QSqlDatabase bareDb = QSqlDatabase::addDatabase("QSQLITE", "bare");
    bareDb.setDatabaseName(path);
    bareDb.open();
    volatile qint64 sink = 0;
    const double bare = bestOf(5, [&] {
        QSqlQuery q(bareDb);
        q.setForwardOnly(true);
        q.exec("select * from t");
        while (q.next())
            for (int i = 0; i < 10; ++i)
                sink = sink + q.value(i).isNull();
    });
    const double byName = bestOf(5, [&] {
        clsDBRecord r;
        r.setParentConnectClass(&conn);
        r.GetRecordSet("t");
        for (r.MoveFirst(); !r.Eof(); r.MoveNext())
            for (const QString& n : names)
                sink = sink + r.Column(n).isNull();
    });
    const double byNum = bestOf(5, [&] {
        clsDBRecord r;
        r.setParentConnectClass(&conn);
        r.GetRecordSet("t");
        for (r.MoveFirst(); !r.Eof(); r.MoveNext())
            for (int i = 0; i < 10; ++i)
                sink = sink + r.Column_Num(i).isNull();
    });
    double openOnly = 0, batch = 0;
    {
        clsDBRecord r;
        r.setParentConnectClass(&conn);
        openOnly = bestOf(3, [&] { r.GetRecordSet("t"); });
        // best of three batches, each after one changed row
        batch = 1e300;
        for (int round = 0; round < 3; ++round) {
            r.MoveFirst();
            for (int i = 0; i < 5000 + round; ++i)
                r.MoveNext();
            r.setColumn("b", QString("changed %1").arg(round));
            batch = std::min(batch, bestOf(1, [&] {
                                 if (!r.BatchUpdate()) qFatal("batch failed");
                             }));
        }
    }
    bareDb.close();
    bareDb = QSqlDatabase();
    QSqlDatabase::removeDatabase("bare");
    std::printf("100,000 rows x 10 columns\n");
    report("bare QSqlQuery forward-only loop, every field", bare, bare);
    report("GetRecordSet + every field by Column(name)", byName, bare);
    report("GetRecordSet + every field by Column_Num", byNum, bare);
    report("GetRecordSet alone", openOnly, bare);
    report("BatchUpdate, one row changed", batch, bare);
    return 0;
}
