// The summary statement built from its settings, totals as the grid shows
// them, and runs against a real SQLite file with hand-computed results.
#include "Catalog.h"
#include "Columns.h"
#include "FakeDialogs.h"
#include "RellmarkError.h"
#include "SumSql.h"
#include "TestEnv.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QtTest>
#include <limits>

using namespace modMorvi;

namespace {
using Rows = QList<QStringList>;

// T1 of the worked example: the total f_amount, an ordinary column f_year,
// a foreign key f_kind shown as T2.name through T2.id, and a text column.
ColumnDefs exampleColumns() {
    ColumnDefs c(6);
    c[1].FieldName = "f_amount";
    c[1].eDataType = eInteger;
    c[2].FieldName = "f_year";
    c[2].eDataType = eText;
    c[3].FieldName = "f_kind";
    c[3].eDataType = eInteger;
    c[3].GaibuTableName = "T2";
    c[3].GaibuTableColName = "name";
    c[3].GaibuTableColKey = "id";
    c[4].FieldName = "f_memo";
    c[4].eDataType = eText;
    c[5].FieldName = "f_count";
    c[5].eDataType = eSmallint;
    for (int i = 1; i < c.size(); ++i)
        if (c[i].GaibuTableName.isEmpty()) c[i].GaibuTableName = "Nothing";
    return c;
}

Rows gridRows(const usrFlg& g) {
    Rows out;
    for (int r = 0; r < g.MaxRow(); ++r) {
        QStringList row;
        for (int c = 0; c < g.MaxCol(); ++c)
            row << g.Field(r, c);
        out << row;
    }
    return out;
}
} // namespace

class TestSumSql : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    ColumnDefs buy, foreign;

    SumSettings buySettings(int sumCol, const QList<int>& types, const QString& sql = {},
                            const QStringList& tables = {QString()}) {
        SumSettings s;
        s.table = "buy";
        s.columns = &buy;
        s.sumCol = sumCol;
        s.types = types;
        s.sql = sql;
        s.tables = tables;
        return s;
    }

private slots:
    void initTestCase() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        QString ini = "[buy]\nTableJPName=購入\n";
        ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
        ini += iniColumn(2, "y", "年", 1, "eText");
        ini += iniColumn(3, "m", "月", 2, "eSmallint");
        ini += iniColumn(4, "cat_id", "分類", 3, "eInteger",
                         "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                         "GaibuTableColeDataType=eText");
        ini += iniColumn(5, "amount", "金額", 4, "eInteger");
        ini += iniColumn(6, "shop_id", "購入店", 5, "eInteger",
                         "GaibuTableName=shop;GaibuTableColName=shop_name;"
                         "GaibuTableColKey=shop_id;GaibuTableColeDataType=eText");
        ini += iniColumn(7, "shop2_id", "届け先", 6, "eInteger",
                         "GaibuTableName=shop;GaibuTableColName=shop_name;"
                         "GaibuTableColKey=shop_id;GaibuTableColeDataType=eText");
        env->writeIni(ini);
        env->runSql({
            "create table cat (cat_id integer primary key, cat_name text)",
            "create table shop (shop_id integer primary key, shop_name text)",
            "create table buy (id integer primary key, y text, m integer, cat_id integer, "
            "amount integer, shop_id integer, shop2_id integer)",
            "insert into cat values (1, '食費'), (2, '日用品')",
            "insert into shop values (1, 'スーパー'), (2, 'コンビニ')",
            // 2019 holds only a purchase without an amount; category 99 is
            // not in cat
            "insert into buy values (1, '2020', 1, 1, 100, 1, 2), (2, '2020', 2, 1, 200, 1, 1),"
            " (3, '2020', 2, 2, 300, 2, 2), (4, '2021', 1, 1, 1000, 2, 1),"
            " (5, '2021', 1, 99, 50, 1, 2), (6, '2019', 3, 2, null, 1, 1)",
            "create table big (id integer primary key, g text, amount integer)",
            "insert into big values (1, 'a', 2000000000), (2, 'a', 2000000000),"
            " (3, 'a', 2000000000), (4, 'b', -3000000000), (5, 'c', 0), (6, 'c', 0)",
            "create table many (id integer primary key, amount integer)",
            "with recursive s(n) as (select 1 union all select n + 1 from s where n < 40000) "
            "insert into many select n, n * 10 from s",
        });
        env->startProgram();
        QCOMPARE(LoadColumnDefs(1, buy, foreign), qint16(0));
    }
    void cleanupTestCase() {
        env->stopProgram();
        env.reset();
        fake.reset();
    }

    void statement_data() {
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<int>("sumCol");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("tables");
        QTest::addColumn<QString>("expected");
        const QStringList none{QString()};
        QTest::newRow("worked example")
            << QList<int>{2, 3} << 1 << QString() << none
            << "select sum( T1.f_amount ) as SUM , T1.f_year as T1f_year, (select T2.name from T2 "
               "where T2.id = T1.f_kind ) AS T2name from T1 group by T1.f_year, T1.f_kind";
        QTest::newRow("no classification")
            << QList<int>{} << 1 << QString() << none << "select sum( T1.f_amount ) as SUM from T1";
        QTest::newRow("foreign first, in list order")
            << QList<int>{3, 4, 2} << 1 << QString() << none
            << "select sum( T1.f_amount ) as SUM, (select T2.name from T2 where T2.id = T1.f_kind "
               ") AS T2name , T1.f_memo as T1f_memo , T1.f_year as T1f_year from T1 group by "
               "T1.f_kind, T1.f_memo, T1.f_year";
        QTest::newRow("condition")
            << QList<int>{2} << 5 << " T1.f_year = '2020'" << none
            << "select sum( T1.f_count ) as SUM , T1.f_year as T1f_year from T1 where  T1.f_year = "
               "'2020' group by T1.f_year";
        QTest::newRow("further tables before the condition")
            << QList<int>{} << 1 << " T1.f_kind = T3.id" << QStringList{"T3", "T4"}
            << "select sum( T1.f_amount ) as SUM from T1, T3, T4 where  T1.f_kind = T3.id";
        QTest::newRow("further tables only when the first is named")
            << QList<int>{} << 1 << QString() << QStringList{QString(), "T3"}
            << "select sum( T1.f_amount ) as SUM from T1";
    }
    void statement() {
        QFETCH(QList<int>, types);
        QFETCH(int, sumCol);
        QFETCH(QString, sql);
        QFETCH(QStringList, tables);
        QFETCH(QString, expected);
        const ColumnDefs cols = exampleColumns();
        const SumStatement st = MakeSumSql({"T1", &cols, sumCol, types, sql, tables});
        QCOMPARE(st.status, SumStatement::Built);
        QCOMPARE(st.text, expected);
    }

    void noStatement_data() {
        QTest::addColumn<int>("sumCol");
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("text total") << 2 << QList<int>{} << int(SumStatement::NotNumeric)
                                    << "合計を求める項目が数字ではありません。";
        QTest::newRow("foreign key judged by its own type")
            << 4 << QList<int>{2} << int(SumStatement::NotNumeric)
            << "合計を求める項目が数字ではありません。";
        QTest::newRow("nothing to total")
            << 0 << QList<int>{2} << int(SumStatement::NoColumn)
            << "このテーブルには合計を求められる数字の項目がありません。";
        QTest::newRow("total column the table lacks")
            << 9 << QList<int>{} << int(SumStatement::NoColumn)
            << "列番号 9 の項目はこのテーブルにありません。";
        QTest::newRow("classification the table lacks")
            << 1 << QList<int>{2, -1} << int(SumStatement::NoColumn)
            << "列番号 -1 の項目はこのテーブルにありません。";
    }
    void noStatement() {
        QFETCH(int, sumCol);
        QFETCH(QList<int>, types);
        QFETCH(int, status);
        QFETCH(QString, message);
        const ColumnDefs cols = exampleColumns();
        const SumStatement st = MakeSumSql({"T1", &cols, sumCol, types, {}, {QString()}});
        QCOMPARE(int(st.status), status);
        QCOMPARE(st.text, message);
    }

    void defaultColumn_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("types"); // one letter per column: i, t, s
        QTest::addColumn<int>("expected");
        QTest::newRow("purchase table") << "buy_tbl"
                                        << "itststtit" << 8;
        QTest::newRow("purchase table in capitals") << "BUY_TBL"
                                                    << "itststtit" << 8;
        QTest::newRow("purchase table of fewer columns") << "buy_tbl"
                                                         << "ttsi" << 3;
        QTest::newRow("other table: first number") << "other"
                                                   << "ttittiii" << 3;
        QTest::newRow("small integer counts") << "other"
                                              << "ts" << 2;
        QTest::newRow("no number") << "other"
                                   << "tt" << 0;
        QTest::newRow("no column") << "other"
                                   << "" << 0;
    }
    void defaultColumn() {
        QFETCH(QString, section);
        QFETCH(QString, types);
        QFETCH(int, expected);
        ColumnDefs cols(types.size() + 1);
        for (int i = 0; i < types.size(); ++i)
            cols[i + 1].eDataType = types[i] == 'i'   ? eInteger
                                    : types[i] == 's' ? eSmallint
                                                      : eText;
        QCOMPARE(defaultSumColumn(section, cols), expected);
    }

    void totals_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << QVariant(0) << "0";
        QTest::newRow("three digits") << QVariant(999) << "999";
        QTest::newRow("four digits") << QVariant(1000) << "1,000";
        QTest::newRow("seven digits") << QVariant(1234567) << "1,234,567";
        QTest::newRow("negative") << QVariant(-1234) << "-1,234";
        QTest::newRow("beyond 32 bits") << QVariant(qint64(6000000000)) << "6,000,000,000";
        QTest::newRow("64-bit minimum")
            << QVariant(std::numeric_limits<qint64>::min()) << "-9,223,372,036,854,775,808";
        QTest::newRow("64-bit maximum")
            << QVariant(std::numeric_limits<qint64>::max()) << "9,223,372,036,854,775,807";
        QTest::newRow("unsigned beyond 63 bits")
            << QVariant(quint64(10000000000000000000ull)) << "10,000,000,000,000,000,000";
        QTest::newRow("fraction rounded") << QVariant(1234.5) << "1,235";
        QTest::newRow("negative fraction rounded") << QVariant(-0.4) << "0";
        QTest::newRow("number as text") << QVariant(QString("12345")) << "12,345";
        QTest::newRow("null") << QVariant(QMetaType(QMetaType::LongLong)) << "";
    }
    void totals() {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        QCOMPARE(totalText(value), text);
    }

    // Groups come as SQLite returns them: by their keys.
    void run_data() {
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("tables");
        QTest::addColumn<Rows>("expected");
        const QStringList none{QString()};
        QTest::newRow("no classification")
            << QList<int>{} << QString() << none << Rows{{"合計"}, {"1,650"}};
        QTest::newRow("a group without amounts among others")
            << QList<int>{2} << QString() << none
            << Rows{{"合計", "年"}, {"", "2019"}, {"600", "2020"}, {"1,050", "2021"}};
        QTest::newRow("foreign text; an unmatched key shows empty")
            << QList<int>{2, 4} << QString() << none
            << Rows{{"合計", "年", "分類"},    {"", "2019", "日用品"},    {"300", "2020", "食費"},
                    {"300", "2020", "日用品"}, {"1,000", "2021", "食費"}, {"50", "2021", ""}};
        QTest::newRow("two columns shown through one foreign column")
            << QList<int>{6, 7} << QString() << none
            << Rows{{"合計", "購入店", "届け先"},
                    {"200", "スーパー", "スーパー"},
                    {"150", "スーパー", "コンビニ"},
                    {"1,000", "コンビニ", "スーパー"},
                    {"300", "コンビニ", "コンビニ"}};
        QTest::newRow("condition") << QList<int>{3} << " buy.y = '2020'" << none
                                   << Rows{{"合計", "月"}, {"100", "1"}, {"500", "2"}};
        QTest::newRow("condition over a further table")
            << QList<int>{} << " buy.cat_id = cat.cat_id and cat.cat_name = '食費'"
            << QStringList{"cat"} << Rows{{"合計"}, {"1,300"}};
        QTest::newRow("nothing matches: the Null total is not shown")
            << QList<int>{} << " buy.y = '1999'" << none << Rows{{"合計"}};
        QTest::newRow("nothing matches, classified")
            << QList<int>{2, 4} << " buy.y = '1999'" << none << Rows{{"合計", "年", "分類"}};
    }
    void run() {
        QFETCH(QList<int>, types);
        QFETCH(QString, sql);
        QFETCH(QStringList, tables);
        QFETCH(Rows, expected);
        const SumSettings s = buySettings(5, types, sql, tables);
        const SumStatement st = MakeSumSql(s);
        QCOMPARE(st.status, SumStatement::Built);
        usrFlg grid;
        grid.setMaxRow(7); // whatever was shown before goes
        grid.setField(3, 3, "old");
        ExecSumSql(objDB, st.text, s, grid);
        QCOMPARE(gridRows(grid), expected);
        QCOMPARE(grid.FixedRows(), 1);
        QCOMPARE(grid.FixedCols(), 0);
        QCOMPARE(grid.ColWidth(0), 1800);
        QCOMPARE(grid.ColAlignment(0) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        for (int k = 1; k < grid.MaxCol(); ++k) {
            QCOMPARE(grid.ColWidth(k), 2000); // the catalog's width, doubled
            const ColumnDef& c = (*s.columns)[types[k - 1]];
            const bool number =
                isNumberType(IsForeignColumn(c) ? c.GaibuTableColeDataType : c.eDataType);
            QCOMPARE(grid.ColAlignment(k) & Qt::AlignHorizontal_Mask,
                     number ? Qt::AlignRight : Qt::AlignLeft);
        }
        QVERIFY(grid.Redraw());
    }

    void totalsBeyond32Bits() {
        ColumnDefs cols(4);
        cols[1] = column("番号", "id", eInteger);
        cols[2] = column("組", "g", eText);
        cols[3] = column("金額", "amount", eInteger);
        const SumSettings s{"big", &cols, 3, {2}, {}, {QString()}};
        usrFlg grid;
        ExecSumSql(objDB, MakeSumSql(s).text, s, grid);
        QCOMPARE(
            gridRows(grid),
            (Rows{{"合計", "組"}, {"6,000,000,000", "a"}, {"-3,000,000,000", "b"}, {"0", "c"}}));
        // the same as plain values, without a grid: a file's numbers, the grand total
        const SumRows rows = ExecSumSql(objDB, MakeSumSql(s).text, s);
        QCOMPARE(plainTotalText(rows.rows[1].total), QStringLiteral("-3000000000"));
        QCOMPARE(totalText(rows.grandTotal()), QStringLiteral("3,000,000,000"));
    }

    void moreGroupsThan16Bits() {
        ColumnDefs cols(3);
        cols[1] = column("番号", "id", eInteger);
        cols[2] = column("金額", "amount", eInteger);
        const SumSettings s{"many", &cols, 2, {1}, {}, {QString()}};
        usrFlg grid;
        ExecSumSql(objDB, MakeSumSql(s).text, s, grid);
        QCOMPARE(grid.MaxRow(), 40001);
        QCOMPARE(grid.Field(40000, 0), QStringLiteral("400,000"));
        QCOMPARE(grid.Field(40000, 1), QStringLiteral("40000"));
        QCOMPARE(grid.Field(32767, 1), QStringLiteral("32767"));
    }

    // A statement the database rejects is reported by the database's words;
    // the grid keeps the last result and the database stays as it was.
    void rejected_data() {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("description");
        const bool server = TestEnv::onServer();
        QTest::newRow("unknown table")
            << MakeSumSql(buySettings(5, {}, {}, {"no_such"})).text
            << (server ? "\"no_such\" does not exist" : "no such table: no_such");
        QTest::newRow("unknown field")
            << MakeSumSql(buySettings(5, {}, " buy.missing_col = 1")).text
            << (server ? "buy.missing_col does not exist" : "no such column: buy.missing_col");
        QTest::newRow("a second statement")
            << "select sum( buy.amount ) as SUM from buy; delete from buy"
            << "multiple";
        QTest::newRow("empty") << QString() << "";
    }
    void rejected() {
        QFETCH(QString, statement);
        QFETCH(QString, description);
        const SumSettings good = buySettings(5, {2});
        usrFlg grid;
        ExecSumSql(objDB, MakeSumSql(good).text, good, grid);
        const Rows before = gridRows(grid);
        try {
            ExecSumSql(objDB, statement, buySettings(5, {}), grid);
            QFAIL("the statement ran");
        } catch (const RellmarkError& e) {
            QVERIFY2(e.description().contains(description), qPrintable(e.description()));
        }
        QCOMPARE(gridRows(grid), before);
        QCOMPARE(env->scalar("select count(*) from buy").toInt(), 6);
    }

    void noDatabase() {
        const SumSettings s = buySettings(5, {});
        usrFlg grid;
        grid.setField(1, 1, "kept");
        QVERIFY_THROWS_EXCEPTION(RellmarkError, ExecSumSql(nullptr, MakeSumSql(s).text, s, grid));
        QCOMPARE(grid.Field(1, 1), QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestSumSql)
#include "tst_sumsql.moc"
