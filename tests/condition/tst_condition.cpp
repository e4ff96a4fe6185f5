// The condition language: reading tokens, finding columns, translating to
// SQL, and every message with its excerpt.
#include "Columns.h"
#include "ConditionLookup.h"
#include "ConditionTranslator.h"
#include "RellmarkError.h"

#include <QHash>
#include <QtTest>

namespace {
// Foreign tables in memory: "table|value as typed" -> key.
class FakeLookup : public ConditionLookup {
public:
    QHash<QString, QVariant> keys;
    QHash<QString, QVariantList> several; // texts that several records hold
    QStringList asked;
    bool fail = false;
    QVariant foreignKey(const ColumnDef& c, const QString& value) override {
        asked << c.GaibuTableName + QLatin1Char('|') + value;
        if (fail) throw RellmarkError(3146, QStringLiteral("no such column: cat_name"));
        return keys.value(c.GaibuTableName + QLatin1Char('|') + value);
    }
    QVariantList foreignKeys(const ColumnDef& c, const QString& value) override {
        const auto it = several.constFind(c.GaibuTableName + QLatin1Char('|') + value);
        return it != several.constEnd() ? *it : ConditionLookup::foreignKeys(c, value);
    }
    QStringList columnValues(const QString&) override { return {}; }
};
} // namespace

class TestCondition : public QObject {
    Q_OBJECT
    ColumnDefs cols;
    FakeLookup lookup;

    SqlWhere translate(const QString& text) {
        ConditionTranslator t(QStringLiteral("T"), cols, &lookup);
        return t.MakeSqlWhere(text);
    }

private slots:
    void initTestCase() {
        cols = ColumnDefs(1); // entry 0 unused
        cols << column("番号", "id", eInteger) << column("年", "y", eText)
             << column("購入した月", "m", eSmallint)
             << foreignColumn("分類", "cat_id", eInteger, "cat", "cat_name", "cat_id", eText)
             << column("購入金額", "kingaku", eInteger)
             << foreignColumn("店", "shop_code", eText, "shop", "shop_name", "code", eText)
             << column("a", "a", eInteger) << column("b", "b", eInteger)
             << column("c", "c", eInteger)
             << foreignColumn("サイズ", "size_id", eSmallint, "sizes", "cm", "size_id", eInteger);
    }
    void init() {
        lookup.keys = {{"cat|'食費'", 5},
                       {"cat|'空'", QVariant(QMetaType::fromType<int>())},
                       {"shop|'角の店'", QStringLiteral("S'1")},
                       {"sizes|30", 3}};
        lookup.several = {{"cat|'おやつ'", {0, 6}}, {"shop|'二号店'", {"A", "B'C"}}};
        lookup.asked.clear();
        lookup.fail = false;
    }

    void tokens_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("kind");
        QTest::newRow("empty") << "" << 1 << 1 << "" << 1;
        QTest::newRow("blanks and line ends") << " \r\n " << 1 << 5 << "" << 1;
        QTest::newRow("word after blanks") << "  年>=" << 1 << 3 << "年" << 2;
        QTest::newRow(">=") << ">=1" << 1 << 1 << ">=" << 2;
        QTest::newRow("<>") << "a<>1" << 2 << 2 << "<>" << 2;
        QTest::newRow("<=") << "<=" << 1 << 1 << "<=" << 2;
        QTest::newRow("<") << "<1" << 1 << 1 << "<" << 2;
        QTest::newRow("parenthesis") << "(a" << 1 << 1 << "(" << 2;
        QTest::newRow("AND is a keyword") << "AND x" << 1 << 1 << "and" << 2;
        QTest::newRow("Or at the end") << "Or" << 1 << 1 << "or" << 2;
        QTest::newRow("or before CR") << "or\r\n" << 1 << 1 << "or" << 2;
        QTest::newRow("or before a lone LF is a word") << "or\nx" << 1 << 1 << "or\nx" << 2;
        QTest::newRow("andes is a word") << "andes" << 1 << 1 << "andes" << 2;
        QTest::newRow("quoted") << " 'ab c' d" << 1 << 2 << "'ab c'" << 3;
        QTest::newRow("unclosed quote") << " 'abc" << 1 << 2 << "'abc" << 4;
        QTest::newRow("quote and comma inside a word") << "a,b'c(d" << 1 << 1 << "a,b'c" << 2;
        QTest::newRow("word ends at an operator") << "金額<=5" << 1 << 1 << "金額" << 2;
    }
    void tokens() {
        QFETCH(QString, text);
        QFETCH(int, from);
        const ConditionToken t = GetNextToken(text, from);
        QTEST(int(t.start), "start");
        QTEST(t.kind, "kind");
        if (t.kind != tkUnclosed) QTEST(t.text, "token");
    }

    void columns_data() {
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("foreign");
        QTest::newRow("Japanese name") << "年" << 2 << false;
        QTest::newRow("foreign column by its Japanese name") << "分類" << 4 << true;
        QTest::newRow("foreign column by its field: keys") << "cat_id" << 4 << false;
        QTest::newRow("field with the table") << "T.cat_id" << 4 << false;
        QTest::newRow("foreign display column") << "cat.cat_name" << 4 << true;
        QTest::newRow("case matters") << "T.Kingaku" << 0 << false;
        QTest::newRow("unknown") << "購入" << 0 << false;
    }
    void columns() {
        QFETCH(QString, token);
        QFETCH(int, column);
        ConditionTranslator t(QStringLiteral("T"), cols, &lookup);
        const ConditionColumn c = t.FindConditionColumn(token);
        QCOMPARE(c.found, column != 0);
        QCOMPARE(c.column, column);
        QTEST(c.foreign, "foreign");
    }

    void numbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("number");
        for (const char* yes : {"0", "12", "-3", "+2", "1.5", "-0.25", ".5", "5.", "1e3", "2.5E-2"})
            QTest::newRow(yes) << QString::fromUtf8(yes) << true;
        for (const char* no : {"", "-", ".", "1,000", "&H10", "１２", "1e", "1e+", "--5", "1.2.3",
                               " 1", "1 ", "0x10", "1e3.5", "abc", "+-1"})
            QTest::newRow(no) << QString::fromUtf8(no) << false;
    }
    void numbers() {
        QFETCH(QString, text);
        QTEST(isConditionNumber(text), "number");
    }

    void translation_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        // valid conditions
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("one blank") << " "
                                   << ""
                                   << "";
        QTest::newRow("worked example") << "購入金額 >= 0 and 購入金額 <= 2000"
                                        << " T.kingaku >= 0 and T.kingaku <= 2000"
                                        << "";
        QTest::newRow("AND and Or in lower case") << "a = 1 AND b = 2 Or c = 3"
                                                  << " T.a = 1 and T.b = 2 or T.c = 3"
                                                  << "";
        QTest::newRow("parentheses kept") << "(a = 1 or b = 2) and c = 3"
                                          << " ( T.a = 1 or T.b = 2 ) and T.c = 3"
                                          << "";
        QTest::newRow("nested, no blanks") << "((a=1))"
                                           << " ( ( T.a = 1 ) )"
                                           << "";
        QTest::newRow("parentheses on the right") << "a = 1 or (b = 2 and c = 3)"
                                                  << " T.a = 1 or ( T.b = 2 and T.c = 3 )"
                                                  << "";
        QTest::newRow("value on the left") << "100 < 購入金額"
                                           << " 100 < T.kingaku"
                                           << "";
        QTest::newRow("text value") << "年 = '123'"
                                    << " T.y = '123'"
                                    << "";
        QTest::newRow("full-width value narrowed as cells are") << "年 = '２０２１　Ａ'"
                                                             << " T.y = '2021 A'"
                                                             << "";
        QTest::newRow("full-width apostrophe stays inside") << "年 = 'Ｏ＇ｎ'"
                                                           << " T.y = 'O＇n'"
                                                           << "";
        QTest::newRow("signed and decimal values") << "a >= -5 and b <> +2.5 and c < 1e3"
                                                   << " T.a >= -5 and T.b <> +2.5 and T.c < 1e3"
                                                   << "";
        QTest::newRow("field names and the table") << "kingaku = 1 or T.m <> 2"
                                                   << " T.kingaku = 1 or T.m <> 2"
                                                   << "";
        QTest::newRow("lines") << "a = 1\r\nand\r\nb = 2"
                               << " T.a = 1 and T.b = 2"
                               << "";
        QTest::newRow("one blank behind") << "a = 1 "
                                          << " T.a = 1"
                                          << "";
        QTest::newRow("blanks behind a parenthesis") << "(a = 1)   \r\n"
                                                     << " ( T.a = 1 )"
                                                     << "";
        // foreign display values become keys
        QTest::newRow("foreign value") << "分類 = '食費'"
                                       << " T.cat_id = 5"
                                       << "";
        QTest::newRow("foreign value on the left") << "'食費' = 分類"
                                                   << " 5 = T.cat_id"
                                                   << "";
        QTest::newRow("foreign display column") << "cat.cat_name <> '食費'"
                                                << " T.cat_id <> 5"
                                                << "";
        QTest::newRow("foreign key compared directly") << "cat_id = 7"
                                                       << " T.cat_id = 7"
                                                       << "";
        QTest::newRow("text key is quoted") << "店 = '角の店'"
                                            << " T.shop_code = 'S''1'"
                                            << "";
        QTest::newRow("numeric display value") << "サイズ = 30"
                                               << " T.size_id = 3"
                                               << "";
        // every message with its excerpt
        QTest::newRow("three blanks") << "   "
                                      << ""
                                      << "条件ではない文字があります :   ";
        QTest::newRow("line end behind") << "a = 1\r\n"
                                         << ""
                                         << "条件ではない文字があります :\r\n";
        QTest::newRow("two blanks behind") << "a = 1  "
                                           << ""
                                           << "条件ではない文字があります :  ";
        QTest::newRow("unclosed at the start") << "'abc"
                                               << ""
                                               << "' で始まっているのに ' で終わっていません:'abc";
        QTest::newRow("unclosed value") << "年 = 'abc"
                                        << ""
                                        << "' で始まっているのに ' で終わっていません: 'abc";
        QTest::newRow("unclosed operator") << "年 'abc"
                                           << ""
                                           << "' で始まっているのに ' で終わっていません: 'abc";
        QTest::newRow("unclosed after a comparison")
            << "a = 1 'x"
            << ""
            << "' で始まっているのに ' で終わっていません: 'x";
        QTest::newRow("unclosed after a parenthesis")
            << "(a = 1) 'x"
            << ""
            << "' で始まっているのに ' で終わっていません: 'x";
        QTest::newRow("missing )") << "(a = 1"
                                   << ""
                                   << "( に対応する ) がありません :(a = 1";
        QTest::newRow("missing ) deeper") << "a = 1 and (b = 2 or (c = 3)"
                                          << ""
                                          << "( に対応する ) がありません : (b = 2 or";
        QTest::newRow("quoted after )") << "(a = 1) 'x'"
                                        << ""
                                        << "条件式でない \" で始まる文字列です : 'x'";
        QTest::newRow("word after )") << "(a = 1) x"
                                      << ""
                                      << "条件式でない文字列です : x";
        QTest::newRow("and after ) with nothing after") << "(a = 1) and"
                                                        << ""
                                                        << "右側に式が無いandです :and";
        QTest::newRow(") first") << ") a = 1"
                                 << ""
                                 << ") に対応する ( がありません : ) a = 1";
        QTest::newRow("( )") << "( )"
                             << ""
                             << ") に対応する ( がありません : )";
        QTest::newRow("operator first") << "= 1"
                                        << ""
                                        << "左辺の指定がありません : = 1";
        QTest::newRow("neither column nor value")
            << "x = 1"
            << ""
            << "左辺に項目でも値でもない文字が指定されました : x = 1";
        QTest::newRow("no operator") << "a 1"
                                     << ""
                                     << "比較を行う演算子がありません  :  1";
        QTest::newRow("column alone") << "a"
                                      << ""
                                      << "比較を行う演算子がありません  : ";
        QTest::newRow("quoted at the operator") << "年 'x'"
                                                << ""
                                                << "演算子があるべき個所に \" があります : 'x'";
        QTest::newRow("nothing on the right") << "a = "
                                              << ""
                                              << "右辺の指定がありません  :  ";
        QTest::newRow("two quoted values") << "'x' = 'y'"
                                           << ""
                                           << "右辺と左辺に値が指定されました。  :  'y'";
        QTest::newRow("operator on the right") << "a = ="
                                               << ""
                                               << "右辺に無効な記号を指定しています。  :  =";
        QTest::newRow("parenthesis on the right") << "a = (1)"
                                                  << ""
                                                  << "右辺に無効な記号を指定しています。  :  (1)";
        QTest::newRow("column against column") << "購入金額 < 購入金額"
                                               << ""
                                               << "右辺に無効な形式の値が指定されました : 購入金額";
        QTest::newRow("quoted left operand is a value") << "'購入金額' >= 0"
                                                        << ""
                                                        << "右辺と左辺に値が指定されました : 0";
        QTest::newRow("number against number") << "1 = 2"
                                               << ""
                                               << "右辺と左辺に値が指定されました : 2";
        QTest::newRow("number for a text column") << "年 = 123"
                                                  << ""
                                                  << "年には無効な指定のデータ型です : 123";
        QTest::newRow("text for a number column") << "a = '1'"
                                                  << ""
                                                  << "aには無効な指定のデータ型です :  '1'";
        QTest::newRow("text on the left of a number column")
            << "'1' = 購入金額"
            << ""
            << "購入金額には無効な指定のデータ型です : '1' = 購入金額";
        QTest::newRow("number on the left of a text column")
            << "1 = 年"
            << ""
            << "年には無効な指定のデータ型です :  = 年";
        QTest::newRow("number for a foreign text") << "分類 = 5"
                                                   << ""
                                                   << "分類には無効な指定のデータ型です : 5";
        QTest::newRow("display value missing")
            << "分類 = '不明'"
            << ""
            << "指定のデータは外部テーブルに存在しません。 '不明'";
        QTest::newRow("display value with a NULL key")
            << "分類 = '空'"
            << ""
            << "指定のデータは外部テーブルに存在しません。 '空'";
        QTest::newRow("word after a comparison") << "a = 1 x"
                                                 << ""
                                                 << "無効な条件指定です  :  x";
        QTest::newRow("quoted after a comparison") << "a = 1 'x'"
                                                   << ""
                                                   << "無効な条件指定です  :  'x'";
        QTest::newRow("and with nothing after") << "a = 1 and"
                                                << ""
                                                << "右側に式無いandです :and";
        QTest::newRow("OR with a blank after") << "a = 1 OR "
                                               << ""
                                               << "右側に式無いorです :OR ";
        QTest::newRow("stray )") << "a = 1)"
                                 << ""
                                 << "不要な ) があります";
        // a keyword with only blanks and line ends after it never leaves the
        // statement hanging: what follows it is left over
        QTest::newRow("and after ) before blanks") << "(a = 1) and  "
                                                   << ""
                                                   << "条件ではない文字があります :  ";
        QTest::newRow("and before a line end") << "a = 1 and\r\n"
                                               << ""
                                               << "条件ではない文字があります :\r\n";
        QTest::newRow("and before ) ") << "(a = 1 and )"
                                       << ""
                                       << ") に対応する ( がありません : )";
        QTest::newRow("andes is no keyword") << "a = 1 andes b = 2"
                                             << ""
                                             << "無効な条件指定です  :  andes b =";
        // a NUL ends the statement text where the database reads it: a value
        // holding one is refused, never cut short in the statement
        const QString nul(QChar(0));
        QTest::newRow("NUL in a text value")
            << "年 = 'a" + nul + "b'"
            << ""
            << "右辺に無効な形式の値が指定されました :  'a" + nul + "b'";
        QTest::newRow("NUL in a display value")
            << "分類 = '" + nul + "'"
            << ""
            << "右辺に無効な形式の値が指定されました :  '" + nul + "'";
        QTest::newRow("NUL in a value on the left")
            << "'" + nul + "' = 年"
            << ""
            << "左辺に項目でも値でもない文字が指定されました : '" + nul + "' = 年";
        // what SQL would read otherwise never reaches it
        for (const char* v : {"1,000", "&H10", "１２", "1e", "--5", "1;drop"})
            QTest::newRow(v) << QStringLiteral("a = ") + QString::fromUtf8(v) << ""
                             << QStringLiteral("右辺に無効な形式の値が指定されました : ") +
                                    QString::fromUtf8(v);
    }
    void severalKeys_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("= takes every key") << "分類 = 'おやつ' and a = 1"
                                           << " T.cat_id in ( 0, 6 ) and T.a = 1"
                                           << "";
        QTest::newRow("value on the left") << "'おやつ' = 分類"
                                           << " T.cat_id in ( 0, 6 )"
                                           << "";
        QTest::newRow("<> excludes them all") << "a = 1 or 分類 <> 'おやつ'"
                                              << " T.a = 1 or T.cat_id not in ( 0, 6 )"
                                              << "";
        QTest::newRow("text keys quoted") << "店 = '二号店'"
                                          << " T.shop_code in ( 'A', 'B''C' )"
                                          << "";
        QTest::newRow("another operator is refused")
            << "分類 >= 'おやつ'"
            << ""
            << "「おやつ」は外部テーブルの2件のデータにあるため、= か <> でしか比べられません : "
               " 'おやつ'";
    }
    void severalKeys() { translation(); }
    void translation() {
        QFETCH(QString, text);
        const SqlWhere w = translate(text);
        QTEST(w.message, "message");
        if (w.message.isEmpty()) QTEST(w.sql, "sql");
        QCOMPARE(w.tables, QStringList{QString("")});
    }

    void lookupGetsTheValueAsTyped() {
        QVERIFY(translate("分類 = '食費' or 店 = '角の店' or cat_id = 1").message.isEmpty());
        QCOMPARE(lookup.asked, QStringList({"cat|'食費'", "shop|'角の店'"}));
    }

    void lookupFailureIsTheMessage() {
        lookup.fail = true;
        const SqlWhere w = translate("a = 1 and 分類 = '食費'");
        QCOMPARE(w.message, QStringLiteral("no such column: cat_name"));
    }

    void lookupStatementKeepsItsMeaning_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("sql");
        const QString head = "select cat_id AS RESULT from cat where cat_name = ";
        QTest::newRow("text") << "'食費'" << head + "'食費'";
        QTest::newRow("quote inside is doubled") << "'a' or 'x'" << head + "'a'' or ''x'";
        QTest::newRow("number") << "-1.5e3" << head + "-1.5e3";
        QTest::newRow("no literal") << "1 or 1=1"
                                    << "";
        QTest::newRow("comment") << "1--"
                                 << "";
        QTest::newRow("NUL inside") << QStringLiteral("'a") + QChar(0) + "'"
                                    << "";
    }
    void lookupStatementKeepsItsMeaning() {
        QFETCH(QString, value);
        QTEST(foreignKeySql(cols[4], value), "sql");
    }

    void valueListStatements() {
        QCOMPARE(columnValuesSql(cols[4], "T"),
                 QStringLiteral("select cat_name from cat group by cat_name order by cat_name"));
        QCOMPARE(columnValuesSql(cols[2], "T"),
                 QStringLiteral("select y from T group by y order by y"));
    }

    void deepParenthesesAreReadWithoutRecursion() {
        const QString opens(200000, QLatin1Char('('));
        QCOMPARE(translate(opens).message, QStringLiteral("( に対応する ) がありません :("));
        const SqlWhere w = translate(opens + "a = 1" + QString(200000, QLatin1Char(')')));
        QCOMPARE(w.message, QString());
        QCOMPARE(w.sql.size(), 200000 * 4 + 8);
    }

    void longConditionsKeepTheirPositions() {
        // far beyond 32,767 characters: positions and excerpts stay right
        QString text;
        while (text.size() < 40000)
            text += "a = 1 and ";
        SqlWhere w = translate(text + "b = 2");
        QCOMPARE(w.message, QString());
        QVERIFY(w.sql.endsWith(" and T.b = 2"));
        QCOMPARE(w.sql.count(" and "), text.count(" and "));
        w = translate(text + "b = x");
        QCOMPARE(w.message, QStringLiteral("右辺に無効な形式の値が指定されました : x"));
        w = translate(text + "b = 2 ))");
        QCOMPARE(w.message, QStringLiteral("不要な ) があります"));
    }
};

QTEST_GUILESS_MAIN(TestCondition)
#include "tst_condition.moc"
