// Catalogs that are wrong in every way a hand-edited INI file can be, each
// opened in every window that reads a table's columns: the window either
// refuses with one clear message that names the section and the key, or reads
// the catalog sensibly. Never a crash, a hang or a column silently shown in the
// wrong place.
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "Profile.h"
#include "TestEnv.h"
#include "frmInput.h"
#include "frmSelect.h"
#include "frmSum.h"
#include "usrFlg.h"

#include <QComboBox>

#include <QElapsedTimer>
#include <QtTest>
#include <functional>

namespace {

// What a window made of a catalog: the messages it showed and, when it
// opened, the column headers in grid order (the INI positions only).
struct Outcome {
    QStringList messages;
    QStringList headers;
};

Outcome openEditor(FakeDialogs& fake, int table) {
    Outcome o;
    auto* ed = new frmInput;
    ed->mTblNum = static_cast<qint16>(table);
    Forms::setTag(ed, QString::number(table));
    if (ed->Form_Load()) {
        for (int c = 0; c < ed->columns().size() - 1; ++c)
            o.headers << ed->grid()->Field(0, c);
        ed->setUnloadApproved();
    }
    delete ed;
    o.messages = fake.messages();
    return o;
}

// The summary window: the columns it offers are its headers, and a summary
// classified by every column is run, so that a column or foreign table read
// from the wrong place shows up as a statement the database refuses.
Outcome openSummary(FakeDialogs& fake, int table) {
    Outcome o;
    auto* w = new frmSum;
    w->mTableNum = static_cast<qint16>(table);
    Forms::setTag(w, QStringLiteral("SUM:%1  1").arg(table));
    if (w->Form_Load()) {
        // in the catalog's order, by which the summary names its columns
        const ColumnDefs& cols = w->columns();
        for (int c = 1; c < cols.size(); ++c) { // the first is a placeholder
            o.headers << cols[c].JPName;
            w->TypesAdd(cols[c].JPName, c);
        }
        w->cmdStart_Click();
    }
    delete w;
    o.messages = fake.messages();
    return o;
}

// Every window that loads a table's columns from the catalog. A window that
// reads the catalog joins with one line here.
struct Window {
    const char* name;
    std::function<Outcome(FakeDialogs&, int table)> open;
};
QList<Window> windows() {
    return {
        {"editor", openEditor},
        {"summary", openSummary},
    };
}

// The catalog the cases start from, in UTF-8 with LF line ends.
const char* const Good = "[buy]\n"
                         "TableJPName=購入\n"
                         "COL( 01 )FieldName=id\n"
                         "COL( 01 )JPName=番号\n"
                         "COL( 01 )ipointx=0\n"
                         "COL( 01 )GaibuTableName=Nothing\n"
                         "COL( 01 )eDataType=eInteger\n"
                         "COL( 01 )CellHeight=600\n"
                         "COL( 01 )Visible=1\n"
                         "COL( 01 )MainKey=1\n"
                         "COL( 01 )Unique=1\n"
                         "COL( 02 )FieldName=name\n"
                         "COL( 02 )JPName=品名\n"
                         "COL( 02 )ipointx=1\n"
                         "COL( 02 )GaibuTableName=Nothing\n"
                         "COL( 02 )eDataType=eText\n"
                         "COL( 02 )CellHeight=1500\n"
                         "COL( 02 )Visible=1\n"
                         "COL( 02 )CheckInputTextLength=40\n"
                         "COL( 03 )FieldName=cat_id\n"
                         "COL( 03 )JPName=分類\n"
                         "COL( 03 )ipointx=2\n"
                         "COL( 03 )GaibuTableName=cat\n"
                         "COL( 03 )GaibuTableColName=cat_name\n"
                         "COL( 03 )GaibuTableColKey=cat_id\n"
                         "COL( 03 )GaibuTableColeDataType=eText\n"
                         "COL( 03 )eDataType=eInteger\n"
                         "COL( 03 )CellHeight=1000\n"
                         "COL( 03 )Visible=1\n"
                         "COL( 03 )InputPlus=1\n"
                         "COL( 03 )NullPermmit=1\n"
                         "COL( 04 )FieldName=price\n"
                         "COL( 04 )JPName=金額\n"
                         "COL( 04 )ipointx=3\n"
                         "COL( 04 )GaibuTableName=Nothing\n"
                         "COL( 04 )eDataType=eInteger\n"
                         "COL( 04 )CellHeight=800\n"
                         "COL( 04 )Visible=1\n"
                         "COL( 04 )NullPermmit=1\n"
                         "[cat]\n"
                         "TableJPName=分類\n"
                         "COL( 01 )FieldName=cat_id\n"
                         "COL( 01 )JPName=番号\n"
                         "COL( 01 )ipointx=0\n"
                         "COL( 01 )GaibuTableName=Nothing\n"
                         "COL( 01 )eDataType=eInteger\n"
                         "COL( 01 )MainKey=1\n"
                         "COL( 02 )FieldName=cat_name\n"
                         "COL( 02 )JPName=分類名\n"
                         "COL( 02 )ipointx=1\n"
                         "COL( 02 )GaibuTableName=Nothing\n"
                         "COL( 02 )eDataType=eText\n";

const QStringList GoodHeaders{"番号", "品名", "分類", "金額"};

QString good() {
    return QString::fromUtf8(Good);
}
// The good catalog with one line replaced (an empty replacement removes it).
QString with(const QString& line, const QString& replacement) {
    QString s = good();
    const QString from = line + QLatin1Char('\n');
    if (!s.contains(from)) qFatal("no line %s", qPrintable(line));
    s.replace(from, replacement.isEmpty() ? QString() : replacement + QLatin1Char('\n'));
    return s;
}
QByteArray crlf(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return Profile::toCp932(t);
}

} // namespace

class TestBadCatalog : public QObject {
    Q_OBJECT

    // What one window makes of a catalog where it differs from the others.
    struct Differs {
        const char* window;
        QStringList messages;
        QStringList headers;
    };
    // Adds one row per window for a catalog given as file bytes.
    static void add(const char* name, const QByteArray& ini, int table, const QStringList& messages,
                    const QStringList& headers, const QList<Differs>& differs = {}) {
        for (const Window& w : windows()) {
            QStringList m = messages, h = headers;
            for (const Differs& d : differs)
                if (qstrcmp(d.window, w.name) == 0) {
                    m = d.messages;
                    h = d.headers;
                }
            QTest::addRow("%s / %s", name, w.name)
                << QString::fromLatin1(w.name) << ini << table << m << h;
        }
    }

private slots:
    void badCatalog_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("table");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("headers");

        add("good", crlf(good()), 1, {}, GoodHeaders);

        // missing keys
        add("no ipointx", crlf(with("COL( 02 )ipointx=1", {})), 1,
            {"INIファイルにキーがありません：[buy] COL( 02 )ipointx"}, {});
        add("no eDataType", crlf(with("COL( 04 )eDataType=eInteger", {})), 1,
            {"INIファイルにキーがありません：[buy] COL( 04 )eDataType"}, {});
        add("no GaibuTableName", crlf(with("COL( 02 )GaibuTableName=Nothing", {})), 1,
            {"INIファイルにキーがありません：[buy] COL( 02 )GaibuTableName"}, {});
        add("no FieldName ends the columns", crlf(with("COL( 04 )FieldName=price", {})), 1, {},
            {"番号", "品名", "分類"});
        add("empty FieldName", crlf(with("COL( 02 )FieldName=name", "COL( 02 )FieldName=")), 1,
            {"INIファイルの値がありません：[buy] COL( 02 )FieldName"}, {});

        // values that are not numbers or do not fit
        add("ipointx not a number", crlf(with("COL( 02 )ipointx=1", "COL( 02 )ipointx=abc")), 1,
            {"INIファイルの値が数値ではありません：[buy] COL( 02 )ipointx = abc"}, {});
        add("full-width digits", crlf(with("COL( 02 )ipointx=1", "COL( 02 )ipointx=１")), 1,
            {"INIファイルの値が数値ではありません：[buy] COL( 02 )ipointx = １"}, {});
        add("CellHeight not a number",
            crlf(with("COL( 04 )CellHeight=800", "COL( 04 )CellHeight=1,000")), 1,
            {"INIファイルの値が数値ではありません：[buy] COL( 04 )CellHeight = 1,000"}, {});
        add("CheckInputTextLength too large",
            crlf(with("COL( 02 )CheckInputTextLength=40", "COL( 02 )CheckInputTextLength=99999")),
            1, {"INIファイルの値が範囲を超えています：[buy] COL( 02 )CheckInputTextLength = 99999"},
            {});
        add("ipointx as 1.0", crlf(with("COL( 02 )ipointx=1", "COL( 02 )ipointx=1.0")), 1, {},
            GoodHeaders);
        add("unknown data type",
            crlf(with("COL( 04 )eDataType=eInteger", "COL( 04 )eDataType=eMoney")), 1,
            {"データ型の名前が正しくありません：[buy] COL( 04 )eDataType = eMoney"}, {});

        // positions
        add("duplicated ipointx", crlf(with("COL( 02 )ipointx=1", "COL( 02 )ipointx=0")), 1,
            {"カラムの表示位置が重なっています：[buy] COL( 01 )ipointx = 0、COL( 02 )ipointx = 0"},
            {});
        add("ipointx past the columns", crlf(with("COL( 04 )ipointx=3", "COL( 04 )ipointx=4")), 1,
            {"カラムの表示位置が範囲外です（0～3）：[buy] COL( 04 )ipointx = 4"}, {});
        add("positions in another order",
            crlf(with("COL( 01 )ipointx=0", "COL( 01 )ipointx=3")
                     .replace("COL( 04 )ipointx=3", "COL( 04 )ipointx=0")),
            1, {}, {"金額", "品名", "分類", "番号"}, {{"summary", {}, GoodHeaders}});

        // the table's key and the database
        add("no MainKey", crlf(with("COL( 01 )MainKey=1", {})), 1,
            {"テーブル「buy」にはキー列（MainKey）がないため編集できません。"}, {},
            {{"summary", {}, GoodHeaders}}); // totalling needs no key
        add("FieldName the table lacks",
            crlf(with("COL( 02 )FieldName=name", "COL( 02 )FieldName=title")), 1,
            {"データベースのテーブル「buy」に列「title」がありません：[buy] COL( 02 )FieldName = "
             "title"},
            {});
        add("table missing from the database", crlf(good().replace("[buy]", "[purchase]")), 1,
            {"データベースにテーブル「purchase」がありません（no such table: purchase Unable to "
             "execute statement）：[purchase]"},
            {});
        add("foreign table missing",
            crlf(with("COL( 03 )GaibuTableName=cat", "COL( 03 )GaibuTableName=category")), 1,
            {"データベースにテーブル「category」がありません（no such table: category Unable to "
             "execute statement）：[buy] COL( 03 )GaibuTableName = category"},
            {},
            {{"summary",
              {"データベースにテーブル「category」がありません（no such table: category Unable to "
               "execute statement）：[buy] COL( 03 )GaibuTableName = category"},
              GoodHeaders}}); // the window opens, the choice is refused
        // a foreign table whose texts the editor does not show (no InputPlus)
        add("foreign table missing, texts not shown",
            crlf(with("COL( 03 )GaibuTableName=cat", "COL( 03 )GaibuTableName=category")
                     .replace("COL( 03 )InputPlus=1\n", "")),
            1, {}, GoodHeaders,
            {{"summary",
              {"データベースにテーブル「category」がありません（no such table: category Unable to "
               "execute statement）：[buy] COL( 03 )GaibuTableName = category"},
              GoodHeaders}});
        add("foreign display column missing",
            crlf(with("COL( 03 )GaibuTableColName=cat_name", "COL( 03 )GaibuTableColName=label")),
            1,
            {"データベースのテーブル「cat」に列「label」がありません：[buy] COL( 03 )"
             "GaibuTableColName = label"},
            {},
            {{"summary",
              {"データベースのテーブル「cat」に列「label」がありません：[buy] COL( 03 )"
               "GaibuTableColName = label"},
              GoodHeaders}});
        add("foreign key column missing",
            crlf(with("COL( 03 )GaibuTableColKey=cat_id", "COL( 03 )GaibuTableColKey=cid")), 1,
            {"データベースのテーブル「cat」に列「cid」がありません：[buy] COL( 03 )"
             "GaibuTableColKey = cid"},
            {},
            {{"summary",
              {"データベースのテーブル「cat」に列「cid」がありません：[buy] COL( 03 )"
               "GaibuTableColKey = cid"},
              GoodHeaders}});

        // sections
        add("empty section", crlf(QStringLiteral("[buy]\n") + good().mid(good().indexOf("[cat]"))),
            1,
            {"テーブル日本語名称がないよ！",
             "テーブル「buy」には列の定義がないため編集できません。"},
            {},
            {{"summary",
              {"テーブル日本語名称がないよ！",
               "このテーブルには合計を求められる数字の項目がありません。"},
              {}}});
        {
            QString many;
            for (int i = 0; i < 9999; ++i)
                many += QStringLiteral("[t%1]\nTableJPName=表%1\n").arg(i);
            add("10,000 sections", crlf(many + good()), 10000, {}, GoodHeaders);
        }

        // long lines and bytes that are not CP932
        {
            const QString longName = QString(1 << 19, QChar(u'あ')); // 1 MB in CP932
            const QString ini = with("COL( 02 )JPName=品名", "COL( 02 )JPName=" + longName);
            add("1 MB value", crlf(QStringLiteral("; ") + longName + "\n" + ini), 1, {},
                {"番号", QString(14, QChar(u'あ')), "分類", "金額"});
        }
        {
            QByteArray ini = crlf(good());
            ini.replace(Profile::toCp932("JPName=品名"), "JPName=\x95\x69\xFF\x96\xBC");
            ini.replace(Profile::toCp932("JPName=金額"), "JPName=\x8B\xE0\x81");
            // each bad byte stands for one character; its neighbours and the
            // line end after a lone lead byte stay whole
            const QString bad = Profile::fromCp932("\xFF"), lone = Profile::fromCp932("\x81");
            QCOMPARE(bad.size(), 1);
            QCOMPARE(lone.size(), 1);
            add("invalid CP932 bytes", ini, 1, {},
                {"番号", "品" + bad + "名", "分類", "金" + lone});
        }

        // line ends and a byte order mark
        add("LF", Profile::toCp932(good()), 1, {}, GoodHeaders);
        add("CR", Profile::toCp932(good().replace('\n', '\r')), 1, {}, GoodHeaders);
        add("BOM and CR LF", "\xEF\xBB\xBF" + crlf(good()), 1, {}, GoodHeaders);
        add("BOM and LF", "\xEF\xBB\xBF" + Profile::toCp932(good()), 1, {}, GoodHeaders);
        add("keys in another case", crlf(good().replace("COL( 02 )JPName", "col( 02 )jpname")), 1,
            {}, GoodHeaders);
    }

    void badCatalog() {
        QFETCH(QString, window);
        QFETCH(QByteArray, ini);
        QFETCH(int, table);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, headers);
        FakeDialogs fake;
        TestEnv env;
        QFile f(env.iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
        f.close();
        env.runSql({"create table buy (id integer primary key, name text, cat_id integer, "
                    "price integer)",
                    "create table cat (cat_id integer primary key, cat_name text)",
                    "insert into cat values (0, '食費')",
                    "insert into buy values (1, 'パン', 0, 150)"});
        env.startProgram();
        QElapsedTimer timer;
        timer.start();
        Outcome outcome;
        for (const Window& w : windows())
            if (window == QLatin1String(w.name)) outcome = w.open(fake, table);
        env.stopProgram();
        QCOMPARE(outcome.messages, messages);
        QCOMPARE(outcome.headers, headers);
        // a catalog of any size opens in reasonable time
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    }

    // The main menu lists a catalog of 10,000 tables whole, each by its name.
    void mainMenuListsTenThousandTables() {
        FakeDialogs fake;
        TestEnv env;
        QString many;
        for (int i = 0; i < 10000; ++i)
            many += QStringLiteral("[t%1]\nTableJPName=表%1\n").arg(i);
        env.writeIni(many);
        env.runSql({"create table t0 (id integer primary key)"});
        env.startProgram();
        auto* menu = new frmSelect;
        QCOMPARE(menu->cmbTbl->count(), 10001);
        QCOMPARE(menu->cmbTbl->itemText(1), QStringLiteral("表0"));
        QCOMPARE(menu->cmbTbl->itemText(10000), QStringLiteral("表9999"));
        QCOMPARE(fake.messages(), QStringList());
        delete menu;
        env.stopProgram();
    }
};

QTEST_MAIN(TestBadCatalog)
#include "tst_badcatalog.moc"
