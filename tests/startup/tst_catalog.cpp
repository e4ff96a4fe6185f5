#include "Catalog.h"
#include "FakeDialogs.h"
#include "TamrocError.h"
#include "TestEnv.h"
#include "modMorvi.h"

#include <QtTest>

using namespace modMorvi;

class TestCatalog : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;

    void load(const QString& ini) {
        env->writeIni(ini);
        strIniPath = env->iniPath();
        delete objPublic;
        objPublic = new clsPublic;
        LoadTableList();
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        fake = std::make_unique<FakeDialogs>();
    }
    void cleanup() {
        delete objPublic;
        objPublic = nullptr;
        fake.reset();
        env.reset();
    }

    void tableListSkipsAppIni() {
        load("[AppIni]\nx=1\n[buy_tbl]\nTableJPName=購入\n[shop_tbl]\nTableJPName=店\n");
        QCOMPARE(objPublic->TableNumber(), qint16(2));
        QCOMPARE(objPublic->TableSection(1), QStringLiteral("buy_tbl"));
        QCOMPARE(objPublic->TableSection(2), QStringLiteral("shop_tbl"));
        QVERIFY(fake->shown.isEmpty());
        QVERIFY_THROWS_EXCEPTION(TamrocError, objPublic->TableSection(3));
    }

    void oneCharacterSectionEndsTheList() {
        load("[buy_tbl]\n[x]\n[shop_tbl]\n");
        QCOMPARE(objPublic->TableNumber(), qint16(1));
        QCOMPARE(objPublic->TableSection(1), QStringLiteral("buy_tbl"));
    }

    void noTableSection() {
        load("[AppIni]\nx=1\n");
        QCOMPARE(fake->messages(), QStringList{QStringLiteral("テーブルはひとつも無いヨ")});
        QCOMPARE(objPublic->TableNumber(), qint16(1));
        QCOMPARE(objPublic->TableSection(1), QString());
    }

    void japaneseNameAndItsAbsence() {
        load("[a1]\nTableJPName=購入テーブル\n[a2]\nx=1\n[a3]\nTableJPName=0番\n");
        QCOMPARE(GetTableJPName("a1"), QStringLiteral("購入テーブル"));
        QVERIFY(fake->shown.isEmpty());
        QCOMPARE(GetTableJPName("a2"), QStringLiteral("無名テーブル"));
        QCOMPARE(GetTableJPName("a3"), QStringLiteral("無名テーブル"));
        QCOMPARE(fake->messages(), QStringList({QStringLiteral("テーブル日本語名称がないよ！"),
                                                QStringLiteral("テーブル日本語名称がないよ！")}));
    }

    void columnsEndAtTheFirstGap() {
        QString ini = "[t1]\n";
        for (int n : {1, 2, 3, 4, 5, 7})
            ini += iniColumn(n, QStringLiteral("f%1").arg(n), "x", n - 1, "eText");
        load(ini);
        QCOMPARE(CountColumns("t1"), qint16(5));
        ColumnDefs cols, foreign;
        QCOMPARE(LoadColumnDefs(1, cols, foreign), qint16(0));
        QCOMPARE(cols.size() - 1, 5);
        QCOMPARE(foreign.size(), 1); // the single empty entry 0
    }

    void columnKeysAreRead() {
        load("[t1]\n" +
             iniColumn(1, "buy_id", "番号", 0, "eSmallint",
                       "MainKey=1;NullPermmit=1;Unique=1;InputPlus=1;CheckInputTextLength=20;"
                       "GaibuTableColeDataType=eText") +
             "COL( 01 )Visible=0\n" +
             iniColumn(2, "aaaaaaaaaabbbbbbbbbbcccccccccc_long", "名", 1, "eWrong", "Visible=1"));
        ColumnDef d;
        QVERIFY(!ReadColumnDef(d, 1, "t1"));
        QCOMPARE(d.FieldName, QStringLiteral("buy_id"));
        QCOMPARE(d.JPName, QStringLiteral("番号"));
        QCOMPARE(d.eDataType, eSmallint);
        QCOMPARE(d.GaibuTableColeDataType, eText);
        QVERIFY(d.MainKey && d.NullPermmit && d.Unique && d.InputPlus);
        QVERIFY(d.Visible); // the first Visible key of the section wins
        QCOMPARE(d.CheckInputTextLength, qint16(20));
        QCOMPARE(d.CellHeight, 1000);
        QCOMPARE(d.GaibuTableColName, QStringLiteral("0"));

        ColumnDef e;
        e.eDataType = eText;
        QVERIFY(!ReadColumnDef(e, 2, "t1"));
        QCOMPARE(e.FieldName.size(), 29); // cut by the 30-byte buffer
        QCOMPARE(e.eDataType, eText);     // an unknown word changes nothing
        ColumnDef f;
        QVERIFY(ReadColumnDef(f, 3, "t1"));
    }

    void foreignColumnsMoveBehindTheTable() {
        QString ini = "[t1]\n";
        ini += iniColumn(1, "a", "A", 0, "eInteger", "MainKey=1");
        ini += iniColumn(2, "b", "B", 1, "eInteger",
                         "GaibuTableName=ft1;GaibuTableColName=n;GaibuTableColKey=k;InputPlus=1;"
                         "GaibuTableColeDataType=eText");
        ini += iniColumn(3, "c", "C", 2, "eText");
        ini += iniColumn(4, "d", "D", 3, "eInteger",
                         "GaibuTableName=ft2;GaibuTableColName=n;GaibuTableColKey=k;"
                         "GaibuTableColeDataType=eSmallint");
        ini += iniColumn(5, "e", "E", 4, "eText");
        load(ini);
        ColumnDefs cols, foreign;
        QCOMPARE(LoadColumnDefs(1, cols, foreign), qint16(0));
        QCOMPARE(foreign.size() - 1, 2);
        QCOMPARE(foreign[1].ipointx, qint16(1));
        QCOMPARE(foreign[2].ipointx, qint16(3));
        QCOMPARE(cols[2].ipointx, qint16(5));
        QCOMPARE(cols[4].ipointx, qint16(6));
        QCOMPARE(foreign[1].LinkIndex, qint16(2));
        QCOMPARE(cols[4].LinkIndex, qint16(2));
        QVERIFY(foreign[1].InputPlus && !cols[2].InputPlus);
        QVERIFY(!foreign[2].InputPlus);
        QCOMPARE(foreign[1].GaibuTableColeDataType, eText);
        QCOMPARE(foreign[2].GaibuTableColeDataType, eSmallint);
        QVERIFY(!IsForeignColumn(cols[1]));
    }

    void missingForeignTableNameCountsAsForeign() {
        load("[t1]\nCOL( 01 )FieldName=a\nCOL( 01 )ipointx=0\nCOL( 01 )CellHeight=10\nCOL( 01 "
             ")CheckInputTextLength=0\n");
        ColumnDefs cols, foreign;
        QCOMPARE(LoadColumnDefs(1, cols, foreign), qint16(0));
        QVERIFY(IsForeignColumn(cols[1]));
        QCOMPARE(cols[1].GaibuTableName, QStringLiteral("0"));
    }

    void nonNumericKeysNameSectionAndKey() {
        ColumnDef d;
        load("[t2]\nCOL( 01 )FieldName=a\nCOL( 01 )ipointx=abc\n");
        try {
            ReadColumnDef(d, 1, "t2");
            QFAIL("no error");
        } catch (const TamrocError& e) {
            QVERIFY(e.text().contains("[t2]"));
            QVERIFY(e.text().contains("COL( 01 )ipointx"));
        }
        load("[t3]\nCOL( 01 )FieldName=a\nCOL( 01 )ipointx=1\nCOL( 01 )CellHeight=wide\n");
        QVERIFY_THROWS_EXCEPTION(TamrocError, ReadColumnDef(d, 1, "t3"));
    }

    void fieldValues() {
        QVERIFY(ToFieldValue("", eInteger).isNull());
        QCOMPARE(ToFieldValue("", eSmallint), QVariant(0));
        QCOMPARE(ToFieldValue("  ab ", eText), QVariant(QStringLiteral("ab")));
        QCOMPARE(ToFieldValue(" 42 ", eInteger).toInt(), 42);
        QCOMPARE(ToFieldValue("-7", eSmallint).toInt(), -7);
        QVERIFY_THROWS_EXCEPTION(TamrocError, ToFieldValue("abc", eInteger));
        QVERIFY_THROWS_EXCEPTION(TamrocError, ToFieldValue("40000", eSmallint));
        QVERIFY_THROWS_EXCEPTION(TamrocError, ToFieldValue("3000000000", eInteger));
    }

    void comparisons() {
        QCOMPARE(CompareFieldValues("abc", "ABC", eText), qint16(0));
        QCOMPARE(CompareFieldValues("a", "b", eText), qint16(-1));
        QCOMPARE(CompareFieldValues(10, 9, eInteger), qint16(1));
        QCOMPARE(CompareFieldValues("10", "9", eSmallint), qint16(1));
        QCOMPARE(CompareFieldValues(1, 2, static_cast<ColumnDataType>(7)), qint16(0));
    }
};

QTEST_MAIN(TestCatalog)
#include "tst_catalog.moc"
