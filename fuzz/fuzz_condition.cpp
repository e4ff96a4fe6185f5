// The condition translator over any text, with a fixed purchase table and
// foreign tables held in memory. A condition it accepts must give SQL that
// the database takes as one statement over the table; so must every lookup
// of a foreign display value.
#include "Columns.h"
#include "ConditionLookup.h"
#include "ConditionTranslator.h"
#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {
using fuzz::check;

QSqlDatabase database() {
    return QSqlDatabase::database(QStringLiteral("fuzz"));
}

// Whether the database takes `sql` as one statement.
void checkStatement(const QString& sql, const char* what) {
    QSqlQuery q(database());
    if (!q.prepare(sql)) fuzz::fail(what, sql + QStringLiteral("\n") + q.lastError().text());
}

// Foreign tables in memory: a display value is found when its length is
// odd; a text key holds a quote, which the statement must double.
class MemoryLookup : public ConditionLookup {
public:
    QVariant foreignKey(const ColumnDef& c, const QString& value) override {
        const QString sql = foreignKeySql(c, value);
        if (!sql.isEmpty()) checkStatement(sql, "a foreign key lookup is one statement");
        if (value.size() % 2 == 0) return QVariant();
        if (c.eDataType == eText) return QStringLiteral("k'%1").arg(value.size());
        return static_cast<int>(value.size());
    }
    QStringList columnValues(const QString& statement) override {
        checkStatement(statement, "a value list is one statement");
        return {};
    }
};

ColumnDefs columns;
MemoryLookup lookup;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz_condition";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz"));
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open()) fuzz::fail("in-memory database");
    QSqlQuery q(db);
    for (const char* s :
         {"create table buy (id integer primary key, y text, m smallint, cat_id integer, "
          "shop_id integer, tag text, item text, amount integer)",
          "create table cat (cat_id integer primary key, cat_name text)",
          "create table shop (shop_id integer primary key, shop_no integer)",
          "create table tag (tag_key text primary key, tag_name text)"})
        if (!q.exec(QString::fromUtf8(s))) fuzz::fail("schema", q.lastError().text());
    columns = ColumnDefs(1); // entry 0 unused
    columns << column(QStringLiteral("番号"), QStringLiteral("id"), eInteger)
            << column(QStringLiteral("年"), QStringLiteral("y"), eText)
            << column(QStringLiteral("購入した月"), QStringLiteral("m"), eSmallint)
            << foreignColumn(QStringLiteral("分類"), QStringLiteral("cat_id"), eInteger,
                             QStringLiteral("cat"), QStringLiteral("cat_name"),
                             QStringLiteral("cat_id"), eText)
            << foreignColumn(QStringLiteral("店"), QStringLiteral("shop_id"), eInteger,
                             QStringLiteral("shop"), QStringLiteral("shop_no"),
                             QStringLiteral("shop_id"), eInteger)
            << foreignColumn(QStringLiteral("札"), QStringLiteral("tag"), eText,
                             QStringLiteral("tag"), QStringLiteral("tag_name"),
                             QStringLiteral("tag_key"), eText)
            << column(QStringLiteral("品名"), QStringLiteral("item"), eText)
            << column(QStringLiteral("購入金額"), QStringLiteral("amount"), eInteger);
    for (int i = 1; i < columns.size(); ++i)
        checkStatement(columnValuesSql(columns[i], QStringLiteral("buy")),
                       "a value list is one statement");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ConditionTranslator translator(QStringLiteral("buy"), columns, &lookup);
    const SqlWhere w = translator.MakeSqlWhere(text);
    check(w.tables == QStringList{QString(QLatin1String(""))}, "one empty further table");
    if (!w.message.isEmpty()) return 0;
    check(w.sql.isEmpty() || w.sql.startsWith(QLatin1Char(' ')), "SQL begins with a blank", w.sql);
    if (!w.sql.isEmpty())
        checkStatement(QStringLiteral("select count(*) from buy where") + w.sql,
                       "an accepted condition is one statement's condition");
    return 0;
}
