// Opening and saving a 100,000-row purchase table in the editor on a
// PostgreSQL server, against bare QSqlQuery loops over the same rows from the
// same server in the same run. The server: the first argument, or
// TAMROC_TEST_PG (tools/pgcluster.sh run build-rel/bin/bench_pg starts a
// throwaway one). The benchmark works in a database of its own and drops it.
#include "BenchUtil.h"
#include "Catalog.h"
#include "Dialogs.h"
#include "Profile.h"
#include "PurchaseCatalog.h"
#include "ServerAddress.h"
#include "TestEnv.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

namespace {
void sql(QSqlDatabase& db, const QString& s) {
    QSqlQuery q(db);
    if (!q.exec(s)) qFatal("%s", qPrintable(s));
}

// A connection of its own to the benchmark's database.
QSqlDatabase connectTo(const QString& address, const QString& name) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
    ServerAddress::parse(address)->configure(db);
    if (!db.open()) qFatal("%s", qPrintable(db.lastError().text()));
    return db;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString server =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : qEnvironmentVariable("TAMROC_TEST_PG");
    auto admin = ServerAddress::parse(server);
    if (server.isEmpty() || !admin) {
        std::printf("usage: bench_pg postgresql://...  (or run it through tools/pgcluster.sh "
                    "run)\n");
        return 2;
    }
    const QString dbname = QStringLiteral("tamroc_bench_%1").arg(app.applicationPid());
    {
        QSqlDatabase db = connectTo(server, "admin");
        sql(db, "create database " + dbname);
        db.close();
    }
    QSqlDatabase::removeDatabase("admin");
    ServerAddress book = *admin;
    book.dbname = dbname;
    const QString address = book.withoutPassword();
    if (!admin->password.isEmpty()) qputenv("PGPASSWORD", admin->password.toUtf8());

    QTemporaryDir dir;
    QDir(dir.path()).mkpath("db");
    const int rows = 100000;
    {
        QSqlDatabase db = connectTo(address, "gen");
        sql(db, "create table buy (id bigint primary key, y text collate \"C\", m bigint, d "
                "bigint, cat_id bigint, shop_id bigint, item text collate \"C\", amount bigint, "
                "memo text collate \"C\")");
        sql(db, "create table cat (cat_id bigint primary key, cat_name text collate \"C\" "
                "unique)");
        sql(db, "create table shop (shop_id bigint primary key, shop_name text collate \"C\" "
                "unique)");
        sql(db, "create table written (n bigint)");
        sql(db, "insert into cat select n, '分類' || n from generate_series(0, 99) n");
        sql(db, "insert into shop select n, 'お店' || n from generate_series(0, 999) n");
        sql(db, QString("insert into buy select n, (2020 + n % 5)::text, n % 12 + 1, n % 28 + 1, "
                        "n % 100, (n * 7) % 1000, '品名' || (n % 500), (n * 37) % 5000 + 100, null "
                        "from generate_series(1, %1) n")
                    .arg(rows));
        sql(db, "analyze");
        sql(db, "create function w() returns trigger language plpgsql as $$ begin insert into "
                "written values (1); return null; end $$");
        sql(db, "create trigger w after insert or update or delete on buy for each row execute "
                "function w()");
        db.close();
    }
    QSqlDatabase::removeDatabase("gen");
    writePurchaseCatalog(dir.path() + "/db/Tamroc.ini");

    modMorvi::InitEnvironmentAt(dir.path(), address);
    LoadTableList();

    volatile qint64 sink = 0;
    // The bare loop reads through one connection opened beforehand, as the
    // editor reads through the program's open connection.
    QSqlDatabase bareDb = connectTo(address, "bare");
    const double bare = bestOf(3, [&] { sink = sink + readRows(bareDb, EditorReads); });
    bareDb.close();
    bareDb = QSqlDatabase();
    QSqlDatabase::removeDatabase("bare");

    frmInput* ed = nullptr;
    const double open = bestOf(3, [&] {
        delete ed;
        ed = new frmInput;
        ed->mTblNum = 1;
        ed->Form_Load();
    });
    QCoreApplication::processEvents();
    const double reload = bestOf(3, [&] { ed->mnuFileReRead_Click(); });

    // Best of three saves, each after one changed cell; the trigger counts
    // the rows each of them wrote.
    auto writtenRows = [&](bool clear) {
        int n = -1;
        {
            QSqlDatabase db = connectTo(address, "count");
            QSqlQuery q(db);
            if (clear) q.exec("delete from written");
            q.exec("select count(*) from written");
            if (q.next()) n = q.value(0).toInt();
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase("count");
        return n;
    };
    bool saved = true;
    int written = 0;
    double save = 1e300;
    for (int i = 0; i < 3; ++i) {
        ed->grid()->setField(500, 7, QString::number(12345 + i));
        writtenRows(true);
        save = std::min(save, bestOf(1, [&] { saved = ed->SaveTable() && saved; }));
        written = std::max(written, writtenRows(false));
    }

    std::printf(
        "on a PostgreSQL server: %d purchases, 9 columns, 2 foreign keys (100 categories, 1,000 "
        "shops)\n",
        rows);
    report("bare QSqlQuery loops: main table and both foreign tables", bare, bare);
    report("open the editor (Form_Load)", open, bare);
    report("reload (再読み出し)", reload, bare);
    report("save after one changed cell, reload included (ratio vs reload)", save, reload);
    std::printf("saves %s, rows written by each: %d\n", saved ? "succeeded" : "FAILED", written);
    delete ed;
    modMorvi::setProgramEndHandler([] {});
    modMorvi::EndProgram();
    {
        QSqlDatabase db = connectTo(server, "drop");
        sql(db, "drop database " + dbname + " with (force)");
        db.close();
    }
    QSqlDatabase::removeDatabase("drop");
    return 0;
}
