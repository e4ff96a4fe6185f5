#include "Catalog.h"
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "TamrocError.h"
#include "TestEnv.h"
#include "frmInput.h"
#include "modMorvi.h"

#include <QFile>
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

    // 転 is 93 5D in the file: its second byte is "]".
    void sectionNamesEndingInABracketByte() {
        load("[buy_tbl]\nTableJPName=購入\n[転居記録]\nTableJPName=転居の記録\n[shop_tbl]\n"
             "TableJPName=店\n");
        QCOMPARE(objPublic->TableNumber(), qint16(3));
        QCOMPARE(objPublic->TableSection(2), QStringLiteral("転居記録"));
        QCOMPARE(objPublic->TableSection(3), QStringLiteral("shop_tbl"));
        QCOMPARE(GetTableJPName(QStringLiteral("転居記録")), QStringLiteral("転居の記録"));
        QVERIFY(fake->shown.isEmpty());
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
        // That one table has no section: it reads as a table without a name
        // or columns, never as the file's list of sections (whose first name
        // would be its name and its every column, up to 32,767 of them).
        fake->clear();
        QCOMPARE(GetTableJPName(objPublic->TableSection(1)), QStringLiteral("無名テーブル"));
        QCOMPARE(CountColumns(objPublic->TableSection(1)), qint16(0));
        ColumnDefs cols, foreign;
        QCOMPARE(LoadColumnDefs(1, cols, foreign), qint16(0));
        QCOMPARE(cols.size(), 1);
        QCOMPARE(fake->messages(), QStringList{QStringLiteral("テーブル日本語名称がないよ！")});
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
             iniColumn(2, "aaaaaaaaaabbbbbbbbbbcccccccccc_long", "名", 1, "eText", "Visible=1"));
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
        QVERIFY(!ReadColumnDef(e, 2, "t1"));
        QCOMPARE(e.FieldName.size(), 29); // cut by the 30-byte buffer
        QCOMPARE(e.eDataType, eText);
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

    // Catalogs that would put two columns into one grid column, a column onto
    // the hidden ones, or an ordinary column among the foreign ones: refused
    // with the section and the keys named.
    void faultyCatalogsAreRefused_data() {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("message");
        const QString id = iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
        const QString name = iniColumn(3, "name", "品名", 2, "eText");
        QTest::newRow("two columns at one position")
            << id + iniColumn(2, "price", "金額", 1, "eInteger") +
                   iniColumn(3, "name", "品名", 1, "eText")
            << "カラムの表示位置が重なっています：[item] COL( 02 )ipointx = 1、COL( 03 )ipointx "
               "= 1";
        QTest::newRow("position missing")
            << id + iniColumn(2, "price", "金額", 1, "eInteger") +
                   QString(name).remove("COL( 03 )ipointx=2\n")
            << "INIファイルにキーがありません：[item] COL( 03 )ipointx";
        QTest::newRow("position in a gap")
            << id + iniColumn(2, "price", "金額", 1, "eInteger") +
                   iniColumn(3, "name", "品名", 3, "eText")
            << "カラムの表示位置が範囲外です（0～2）：[item] COL( 03 )ipointx = 3";
        QTest::newRow("negative position")
            << id + iniColumn(2, "price", "金額", -1, "eInteger") + name
            << "カラムの表示位置が範囲外です（0～2）：[item] COL( 02 )ipointx = -1";
        QTest::newRow("hidden column on a visible one")
            << id + iniColumn(2, "price", "金額", 0, "eInteger", "Visible=0") + name
            << "カラムの表示位置が重なっています：[item] COL( 01 )ipointx = 0、COL( 02 )ipointx "
               "= 0";
        QTest::newRow("foreign table name missing")
            << id +
                   QString(iniColumn(2, "price", "金額", 1, "eInteger"))
                       .remove("COL( 02 )GaibuTableName=Nothing\n") +
                   name
            << "INIファイルにキーがありません：[item] COL( 02 )GaibuTableName";
        QTest::newRow("data type missing")
            << id +
                   QString(iniColumn(2, "price", "金額", 1, "eInteger"))
                       .remove("COL( 02 )eDataType=eInteger\n") +
                   name
            << "INIファイルにキーがありません：[item] COL( 02 )eDataType";
        QTest::newRow("unknown data type")
            << id + iniColumn(2, "price", "金額", 1, "eCurrency") + name
            << "データ型の名前が正しくありません：[item] COL( 02 )eDataType = eCurrency";
    }
    void faultyCatalogsAreRefused() {
        QFETCH(QString, columns);
        QFETCH(QString, message);
        load("[item]\nTableJPName=品目\n" + columns);
        env->runSql({"create table item (id integer primary key, price integer, name text)",
                     "insert into item values (1, 100, 'りんご')",
                     "insert into item values (2, 200, 'みかん')"});
        ColumnDefs cols, foreign;
        QCOMPARE(LoadColumnDefs(1, cols, foreign), qint16(1));
        QVERIFY(cols.isEmpty() && foreign.isEmpty());
        QCOMPARE(fake->messages(), QStringList{message});

        // The editor refuses the table, and the book stays as it was to the byte.
        const auto bytes = [&] {
            QFile f(env->dbPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray before = bytes();
        env->startProgram();
        fake->clear();
        auto* editor = new frmInput;
        editor->mTblNum = 1;
        Forms::setTag(editor, "1");
        const bool loaded = editor->Form_Load();
        if (loaded) editor->SaveTable(); // an unchanged save
        delete editor;
        env->stopProgram();
        QVERIFY(!loaded);
        QCOMPARE(fake->messages(), QStringList{message});
        QCOMPARE(bytes(), before);
    }

    void everySectionIsListedWhateverTheirLength() {
        QString ini;
        QStringList names;
        for (int i = 1; i <= 40; ++i) {
            names << QStringLiteral("household_table_%1").arg(i, 2, 10, QLatin1Char('0'));
            ini += "[" + names.last() + "]\nTableJPName=表\n";
        }
        load(ini);
        QCOMPARE(objPublic->TableNumber(), qint16(40));
        for (int i = 1; i <= 40; ++i)
            QCOMPARE(objPublic->TableSection(static_cast<qint16>(i)), names[i - 1]);
    }

    void hugeNumbersAreOutOfRange_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("1e30") << "1e30";
        QTest::newRow("-1e30") << "-1e30";
        QTest::newRow("just past 64 bits") << "9.3e18";
        QTest::newRow("1e300") << "1e300";
    }
    void hugeNumbersAreOutOfRange() {
        QFETCH(QString, text);
        QVERIFY_THROWS_EXCEPTION(TamrocError, ToFieldValue(text, eInteger));
        QVERIFY_THROWS_EXCEPTION(TamrocError, ToFieldValue(text, eSmallint));
        // the first of two equal keys is the one read
        load("[t]\nCOL( 01 )CellHeight=" + text + "\n" + iniColumn(1, "a", "A", 0, "eText"));
        ColumnDef d;
        try {
            ReadColumnDef(d, 1, "t");
            QFAIL("no error");
        } catch (const TamrocError& e) {
            QVERIFY2(e.text().contains("範囲を超えています") &&
                         e.text().contains("COL( 01 )CellHeight"),
                     qPrintable(e.text()));
        }
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
        load("[t3]\nCOL( 01 )FieldName=a\nCOL( 01 )ipointx=1\nCOL( 01 )GaibuTableName=Nothing\n"
             "COL( 01 )CellHeight=wide\n");
        try {
            ReadColumnDef(d, 1, "t3");
            QFAIL("no error");
        } catch (const TamrocError& e) {
            QCOMPARE(e.text(), QStringLiteral("INIファイルの値が数値ではありません：[t3] COL( 01 "
                                              ")CellHeight = wide"));
        }
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
    }
};

QTEST_MAIN(TestCatalog)
#include "tst_catalog.moc"
