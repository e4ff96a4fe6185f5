// The condition editor's two costs, against bare QSqlQuery work on the same
// data in the same run: translating a condition with foreign display values,
// and filling the value list of a column with 100,000 distinct values.
#include "BenchUtil.h"
#include "Catalog.h"
#include "ConditionLookup.h"
#include "ConditionTranslator.h"
#include "Profile.h"
#include "RellmarkConditionLookup.h"
#include "TestEnv.h"
#include "frmRngSel.h"
#include "modMorvi.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QListView>
#include <QListWidget>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {
void sql(QSqlDatabase& db, const QString& s) {
    QSqlQuery q(db);
    if (!q.exec(s)) qFatal("%s", qPrintable(s));
}

// The foreign keys the real lookups find, held in memory.
class MemoryLookup : public ConditionLookup {
public:
    QHash<QString, QVariant> keys;
    QVariant foreignKey(const ColumnDef& c, const QString& value) override {
        return keys.value(c.GaibuTableName + QLatin1Char('|') + value);
    }
    QStringList columnValues(const QString&) override { return {}; }
};
void reportFine(const char* what, double ms, double baseMs) {
    std::printf("%-58s %9.3f ms   ratio %5.2f\n", what, ms, baseMs > 0 ? ms / baseMs : 0.0);
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("db");
    const QString dbPath = dir.path() + "/db/Tamroc.mdb";
    const int rows = 100000;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "gen");
        db.setDatabaseName(dbPath);
        db.open();
        sql(db, "create table buy (id integer primary key, y text, m integer, cat_id integer, "
                "shop_id integer, pay_id integer, item text, amount integer)");
        sql(db, "create table cat (cat_id integer primary key, cat_name text unique)");
        sql(db, "create table shop (shop_id integer primary key, shop_name text unique)");
        sql(db, "create table pay (pay_id integer primary key, pay_name text unique)");
        sql(db, "begin");
        sql(db, "with recursive s(n) as (select 0 union all select n + 1 from s where n < 99) "
                "insert into cat select n, '分類' || n from s");
        sql(db, "with recursive s(n) as (select 0 union all select n + 1 from s where n < 9999) "
                "insert into shop select n, 'お店' || n from s");
        sql(db, "with recursive s(n) as (select 0 union all select n + 1 from s where n < 9) "
                "insert into pay select n, '支払' || n from s");
        sql(db, QString("with recursive s(n) as (select 1 union all select n + 1 from s where n < "
                        "%1) insert into buy select n, cast(2020 + n % 5 as text), n % 12 + 1, "
                        "n % 100, (n * 7) % 10000, n % 10, '品名' || n, (n * 37) % 5000 + 100 "
                        "from s")
                    .arg(rows));
        sql(db, "commit");
        db.close();
    }
    QSqlDatabase::removeDatabase("gen");

    QString ini = "[buy]\nTableJPName=購入テーブル\n";
    ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
    ini += iniColumn(2, "y", "年", 1, "eText");
    ini += iniColumn(3, "m", "購入した月", 2, "eSmallint");
    ini += iniColumn(4, "cat_id", "分類", 3, "eInteger",
                     "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                     "GaibuTableColeDataType=eText");
    ini += iniColumn(5, "shop_id", "購入店", 4, "eInteger",
                     "GaibuTableName=shop;GaibuTableColName=shop_name;GaibuTableColKey=shop_id;"
                     "GaibuTableColeDataType=eText");
    ini += iniColumn(6, "pay_id", "支払方法", 5, "eInteger",
                     "GaibuTableName=pay;GaibuTableColName=pay_name;GaibuTableColKey=pay_id;"
                     "GaibuTableColeDataType=eText");
    ini += iniColumn(7, "item", "品名", 6, "eText");
    ini += iniColumn(8, "amount", "購入金額", 7, "eInteger");
    QFile f(dir.path() + "/db/Tamroc.ini");
    f.open(QIODevice::WriteOnly);
    f.write(Profile::toCp932(ini));
    f.close();
    modMorvi::InitEnvironmentAt(dir.path());
    LoadTableList();
    ColumnDefs cols, foreign;
    LoadColumnDefs(1, cols, foreign);

    // 20 comparisons, 5 of them on foreign display values
    const QString condition =
        "(購入金額 >= 100 and 購入金額 <= 2000) and 年 = '2021' and 購入した月 <> 3 and "
        "分類 = '分類42' and 購入店 = 'お店1234' and (支払方法 = '支払3' or 支払方法 = '支払7') "
        "and 番号 > 10 and 番号 < 90000 and 品名 <> 'x' and 購入した月 >= 1 and "
        "購入した月 <= 12 and 購入金額 <> 555 and 年 <> '2019' and 分類 <> '分類7' and "
        "amount > 0 and buy.y < '2030' and id <> 7";
    const QStringList lookups = {"select cat_id AS RESULT from cat where cat_name = '分類42'",
                                 "select shop_id AS RESULT from shop where shop_name = 'お店1234'",
                                 "select pay_id AS RESULT from pay where pay_name = '支払3'",
                                 "select pay_id AS RESULT from pay where pay_name = '支払7'",
                                 "select cat_id AS RESULT from cat where cat_name = '分類7'"};

    QSqlDatabase bareDb = QSqlDatabase::addDatabase("QSQLITE", "bare");
    bareDb.setDatabaseName(dbPath);
    bareDb.open();
    volatile qint64 sink = 0;
    const int reps = 200;
    auto perCall = [&](const std::function<void()>& f) {
        return bestOf(5,
                      [&] {
                          for (int i = 0; i < reps; ++i)
                              f();
                      }) /
               reps;
    };
    const double bareLookups = perCall([&] {
        QSqlQuery q(bareDb);
        q.setForwardOnly(true);
        for (const QString& s : lookups) {
            q.exec(s);
            if (q.next()) sink = sink + q.value(0).toInt();
        }
    });

    MemoryLookup memory;
    memory.keys = {{"cat|'分類42'", 42},
                   {"shop|'お店1234'", 1234},
                   {"pay|'支払3'", 3},
                   {"pay|'支払7'", 7},
                   {"cat|'分類7'", 7}};
    ConditionTranslator inMemory("buy", cols, &memory);
    SqlWhere w1;
    const double translateMemory = perCall([&] { w1 = inMemory.MakeSqlWhere(condition); });
    RellmarkConditionLookup real(modMorvi::objDB);
    ConditionTranslator withDb("buy", cols, &real);
    SqlWhere w2;
    const double translateDb = perCall([&] { w2 = withDb.MakeSqlWhere(condition); });
    if (!w1.message.isEmpty() || w1.sql != w2.sql) qFatal("translation failed");

    // the value list of a column with 100,000 distinct values
    const QString valueSql = "select item from buy group by item order by item";
    const double bareValues = bestOf(3, [&] {
        QSqlQuery q(bareDb);
        q.setForwardOnly(true);
        q.exec(valueSql);
        while (q.next())
            sink = sink + q.value(0).toString().size();
    });
    auto* rng = new frmRngSel;
    rng->mTableNum = 1;
    rng->show();
    QCoreApplication::processEvents();
    auto* types = rng->findChild<QListWidget*>("lstType");
    auto* datas = rng->findChild<QListView*>("lstDatas");
    int listed = 0;
    double fill = 1e300;
    for (int i = 0; i < 3; ++i) {
        types->setCurrentRow(1); // another column first: the same one is not read again
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        types->setCurrentRow(6); // 品名
        QCoreApplication::processEvents();
        fill = std::min(fill, t.nsecsElapsed() / 1e6);
        listed = datas->model()->rowCount();
    }

    std::printf("condition of 20 comparisons, 5 on foreign display values; foreign tables of "
                "100, 10,000 and 10 rows\n");
    reportFine("bare QSqlQuery: the 5 lookup statements", bareLookups, bareLookups);
    reportFine("translation, lookups in memory", translateMemory, bareLookups);
    reportFine("translation with the lookups on the database", translateDb, bareLookups);
    std::printf("column with %d distinct values\n", listed);
    report("bare QSqlQuery read of the value statement", bareValues, bareValues);
    report("choosing the column: lstDatas filled and laid out", fill, bareValues);
    delete rng;
    bareDb.close();
    bareDb = QSqlDatabase();
    QSqlDatabase::removeDatabase("bare");
    return 0;
}
