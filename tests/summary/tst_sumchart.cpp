// The chart of a summary's result and the result grid's CSV: what the chart
// is built from, how it is cut, and the summary window's buttons for both.
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "GridModel.h"
#include "SumChart.h"
#include "TestEnv.h"
#include "frmSum.h"
#include "frmSumChart.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QAbstractBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QtTest>
#include <random>

namespace {
// "name:v,v;name:v" for comparing series at a glance
QString seriesText(const SumChartData& d) {
    QStringList out;
    for (const SumChartData::Series& s : d.series) {
        QStringList v;
        for (double x : s.values)
            v << QString::number(x, 'f', 0);
        out << s.name + ':' + v.join(',');
    }
    return out.join(';');
}

// rows as "total|class|class"
SumResult result(const QStringList& types, const QStringList& rows) {
    SumResult r;
    r.totalName = QStringLiteral("合計");
    r.typeNames = types;
    for (const QString& line : rows) {
        QStringList parts = line.split('|');
        SumResultRow row;
        row.total = parts.takeFirst().toDouble();
        row.classes = parts;
        r.rows << row;
    }
    return r;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestSumChart : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    std::unique_ptr<QTemporaryDir> dir;
    QPointer<frmSum> w;

    QPushButton* button(const char* name) { return w->findChild<QPushButton*>(name); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }

private slots:
    // ---- the chart's data, from the result rows ----

    void chartFromResult_data() {
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("categories");
        QTest::addColumn<QString>("series");
        QTest::addColumn<bool>("stacked");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addRow("no classification")
            << QStringList{} << QStringList{"7899660"} << QStringList{"合計"} << "合計:7899660"
            << false << 0.0 << 7899660.0;
        QTest::addRow("one classification")
            << QStringList{"分類"} << QStringList{"1500|食費", "500|日用品", "300|"}
            << QStringList{"食費", "日用品", "（空欄）"} << "合計:1500,500,300" << false << 0.0
            << 1500.0;
        QTest::addRow("labels that print alike")
            << QStringList{"店"} << QStringList{"10|a", "20|a", "30|", "40|（空欄）"}
            << QStringList{"a", "a (2)", "（空欄）", "（空欄） (2)"} << "合計:10,20,30,40" << false
            << 0.0 << 40.0;
        QTest::addRow("two classifications stack")
            << QStringList{"年", "分類"}
            << QStringList{"1000|2020|食費", "500|2020|日用品", "500|2021|食費", "70|2022|"}
            << QStringList{"2020", "2021", "2022"}
            << "食費:1000,500,0;日用品:500,0,0;（空欄）:0,0,70" << true << 0.0 << 1500.0;
        QTest::addRow("three classifications: the rest joined")
            << QStringList{"年", "分類", "支払"}
            << QStringList{"100|2020|食費|現金", "50|2020|食費|カード", "30|2021|日用品|現金"}
            << QStringList{"2020", "2021"}
            << "食費 / 現金:100,0;食費 / カード:50,0;日用品 / 現金:0,30" << true << 0.0 << 150.0;
        QTest::addRow("refunds below zero")
            << QStringList{"年", "分類"}
            << QStringList{"300|2020|食費", "-200|2020|返品", "-50|2021|返品"}
            << QStringList{"2020", "2021"} << "食費:300,0;返品:-200,-50" << true << -200.0 << 300.0;
        QTest::addRow("one year, two months")
            << QStringList{"年", "月"} << QStringList{"5|2020|1", "6|2020|2"} << QStringList{"2020"}
            << "1:5;2:6" << true << 0.0 << 11.0;
    }
    void chartFromResult() {
        QFETCH(QStringList, types);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, categories);
        QFETCH(QString, series);
        QFETCH(bool, stacked);
        QFETCH(double, low);
        QFETCH(double, high);
        const SumChartData d = buildSumChart(result(types, rows), "購入：購入金額の合計");
        QCOMPARE(d.categories, categories);
        QCOMPARE(seriesText(d), series);
        QCOMPARE(d.stacked, stacked);
        QCOMPARE(d.low, low);
        QCOMPARE(d.high, high);
        QCOMPARE(d.title, QStringLiteral("購入：購入金額の合計"));
        QCOMPARE(d.shownRows, rows.size());
    }

    // More than 200 rows: the 200 largest, in the result's order, and the
    // title says so; as it says that there is nothing to show.
    void cutToTheLargest_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("title");
        QTest::addRow("none") << 0 << 0 << "T（該当するデータがありません）";
        QTest::addRow("200") << 200 << 200 << "T";
        QTest::addRow("201") << 201 << 200 << "T（合計の大きい200件を表示／全201件）";
        QTest::addRow("5000") << 5000 << 200 << "T（合計の大きい200件を表示／全5000件）";
    }
    void cutToTheLargest() {
        QFETCH(int, rows);
        QFETCH(int, shown);
        QFETCH(QString, title);
        QStringList lines;
        for (int i = 1; i <= rows; ++i)
            lines << QStringLiteral("%1|店%2").arg(i).arg(i);
        std::mt19937 rng(7);
        std::shuffle(lines.begin(), lines.end(), rng);
        const SumChartData d = buildSumChart(result({"店"}, lines), "T");
        QCOMPARE(d.title, title);
        QCOMPARE(d.shownRows, shown);
        QCOMPARE(d.allRows, rows);
        QCOMPARE(d.categories.size(), shown);
        // every kept total is among the largest, and they keep the result's order
        QStringList expected;
        for (const QString& l : lines)
            if (l.section('|', 0, 0).toInt() > rows - shown) expected << l.section('|', 1);
        QCOMPARE(d.categories, expected);
        QCOMPARE(d.high, double(rows));
    }

    void yenAxis_data() {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<QStringList>("labels");
        QTest::addRow("millions") << 0.0 << 7899660.0
                                  << QStringList{"0円", "2,000,000円", "4,000,000円", "6,000,000円",
                                                 "8,000,000円"};
        QTest::addRow("below zero")
            << -1200.0 << 5000.0 << QStringList{"-2,000円", "-1,000円", "0円",     "1,000円",
                                                "2,000円",  "3,000円",  "4,000円", "5,000円"};
        QTest::addRow("small") << 0.0 << 3.0 << QStringList{"0円", "1円", "2円", "3円"};
        QTest::addRow("nothing") << 0.0 << 0.0 << QStringList{"0円"};
    }
    void yenAxis() {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(QStringList, labels);
        QStringList got;
        for (double t : yenTicks(low, high))
            got << yenLabel(t);
        QCOMPARE(got, labels);
    }

    // The result read back from the grid that shows it.
    void resultFromGrid() {
        GridModel g;
        g.setCols(3);
        g.setRows(5);
        g.setFixedCols(0);
        const QStringList texts{"合計", "年",     "分類", "1,234,567", "2020", "食費", "", "2020",
                                "",     "-5,000", "2021", "返品",      "99",   "x",    "y"};
        for (int i = 0; i < texts.size(); ++i)
            g.setText(i / 3, i % 3, texts[i]);
        g.setRowHeight(4, 0); // hidden: not shown, not charted
        const SumResult r = sumResultFromGrid(g);
        QCOMPARE(r.totalName, QStringLiteral("合計"));
        QCOMPARE(r.typeNames, QStringList({"年", "分類"}));
        QCOMPARE(r.rows.size(), 3);
        QCOMPARE(r.rows[0].total, 1234567.0);
        QCOMPARE(r.rows[0].classes, QStringList({"2020", "食費"}));
        QCOMPARE(r.rows[1].total, 0.0);
        QCOMPARE(r.rows[2].total, -5000.0);
    }

    // ---- the summary window's buttons ----

    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        dir = std::make_unique<QTemporaryDir>();
        QString ini = "[buy_tbl]\nTableJPName=購入テーブル\n";
        ini += iniColumn(1, "buy_id", "番号", 0, "eInteger", "MainKey=1");
        ini += iniColumn(2, "buy_year", "年", 1, "eText");
        ini += iniColumn(3, "category_id", "分類", 2, "eInteger",
                         "GaibuTableName=category_tbl;GaibuTableColName=category_name;"
                         "GaibuTableColKey=category_id;GaibuTableColeDataType=eText");
        ini += iniColumn(4, "amount", "購入金額", 3, "eInteger");
        env->writeIni(ini);
        env->runSql({
            "create table category_tbl (category_id integer primary key, category_name text)",
            "create table buy_tbl (buy_id integer primary key, buy_year text,"
            " category_id integer, amount integer)",
            "insert into category_tbl values (1, '食費'), (2, '日用品')",
            "insert into buy_tbl values (1, '2020', 1, 1000), (2, '2020', 2, 500),"
            " (3, '2021', 1, 300), (4, '2021', 1, 200)",
        });
        env->startProgram();
        w = new frmSum;
        w->mTableNum = 1;
        Forms::setTag(w, QStringLiteral("SUM:1  1"));
        QVERIFY(w->Form_Load());
        w->PutSumCol(4); // the amount
    }
    void cleanup() {
        delete w.data();
        for (QWidget* x : Forms::all())
            delete x;
        env->stopProgram();
        env.reset();
        fake.reset();
        dir.reset();
    }

    // Nothing to show before the first run; the chart then follows each run.
    void graphFollowsTheRuns() {
        QCOMPARE(button("cmdGraph")->text(), QStringLiteral("グラフ"));
        QCOMPARE(button("cmdCsv")->text(), QStringLiteral("CSVで書き出し"));
        QVERIFY(!button("cmdGraph")->isEnabled());
        QVERIFY(!button("cmdCsv")->isEnabled());
        // beside the run button, on its line
        QCOMPARE(button("cmdGraph")->geometry().top(), button("cmdStart")->geometry().top());
        QVERIFY(button("cmdGraph")->geometry().right() < button("cmdStart")->geometry().left());

        click("cmdStart");
        QVERIFY(button("cmdGraph")->isEnabled());
        QVERIFY(button("cmdCsv")->isEnabled());
        click("cmdGraph");
        frmSumChart* chart = w->chartWindow();
        QVERIFY(chart && chart->isVisible());
        QCOMPARE(chart->data().title, QStringLiteral("購入テーブル：購入金額の合計"));
        QCOMPARE(seriesText(chart->data()), QStringLiteral("合計:2000"));
        QCOMPARE(chart->chart()->title(), QStringLiteral("購入テーブル：購入金額の合計"));

        w->TypesAdd("年", 2);
        w->TypesAdd("分類", 3);
        QCOMPARE(seriesText(chart->data()), QStringLiteral("合計:2000")); // not run yet
        click("cmdStart");
        QCOMPARE(chart->data().categories, QStringList({"2020", "2021"}));
        QCOMPARE(seriesText(chart->data()), QStringLiteral("食費:1000,500;日用品:500,0"));
        // what the chart draws
        const auto series = chart->chart()->series();
        QCOMPARE(series.size(), 1);
        auto* bars = qobject_cast<QStackedBarSeries*>(series.first());
        QVERIFY(bars);
        QCOMPARE(bars->count(), 2);
        QCOMPARE(bars->barSets()[0]->label(), QStringLiteral("食費"));
        QCOMPARE(bars->barSets()[0]->at(1), 500.0);

        // a run that fails keeps the last result, in the grid and the chart
        chart->close();
        w->TypesClear();
        QVERIFY(!w->ExecSumSql("select nonsense"));
        click("cmdGraph");
        QVERIFY(chart->isVisible());
        QCOMPARE(seriesText(chart->data()), QStringLiteral("食費:1000,500;日用品:500,0"));
    }

    // The value axis names the totalled column; only an amount is in yen.
    void valueAxisNamesTheColumn_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("lastLabel");
        QTest::newRow("amount") << 4 << "2,000円";
        QTest::newRow("not money") << 1 << "10";
    }
    void valueAxisNamesTheColumn() {
        QFETCH(int, column);
        w->PutSumCol(column);
        click("cmdStart");
        click("cmdGraph");
        auto* y =
            qobject_cast<QCategoryAxis*>(w->chartWindow()->chart()->axes(Qt::Vertical).first());
        QVERIFY(y);
        QCOMPARE(y->titleText(), w->columns()[column].JPName);
        QTEST(y->categoriesLabels().last(), "lastLabel");
    }

    void imageSaved_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        QTest::addRow("written") << "グラフ.png"
                                 << "";
        QTest::addRow("missing folder") << "no/such/グラフ.png"
                                        << "画像ファイル「%1」を書き出せませんでした。\n";
        QTest::addRow("the database") << "db"
                                      << "「%1」はTamrocのデータを保存しているファイルです。"
                                         "別のファイル名を指定して下さい。";
    }
    void imageSaved() {
        QFETCH(QString, target);
        QFETCH(QString, message);
        click("cmdStart");
        click("cmdGraph");
        frmSumChart* chart = w->chartWindow();
        auto* save = chart->findChild<QPushButton*>("cmdSaveImage");
        QCOMPARE(save->text(), QStringLiteral("画像として保存"));
        const QString path = target == "db" ? env->dbPath() : dir->filePath(target);
        const QByteArray dbBefore = readAll(env->dbPath());
        fake->fileAnswers << path;
        QTest::mouseClick(save, Qt::LeftButton);
        QVERIFY2(fake->shown.first().text.endsWith("/購入テーブル：購入金額の合計.png"),
                 qPrintable(fake->shown.first().text));
        if (message.isEmpty()) {
            QCOMPARE(fake->messages(), QStringList());
            const QByteArray png = readAll(path);
            QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
            const QImage image = QImage::fromData(png, "PNG");
            QCOMPARE(image.size(), chart->findChild<QWidget*>("chartView")->size());
        } else {
            QCOMPARE(fake->messages().size(), 1);
            QVERIFY2(fake->messages()[0].startsWith(message.arg(QDir::toNativeSeparators(path))),
                     qPrintable(fake->messages()[0]));
            QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     QStringList());
            QCOMPARE(readAll(env->dbPath()), dbBefore);
        }
    }

    // The result as plain values, as a spreadsheet sums them; the grand
    // total below the grid.
    void resultGridToCsv() {
        w->TypesAdd("分類", 3);
        click("cmdStart");
        const QString path = dir->filePath("集計.csv");
        fake->fileAnswers << path;
        click("cmdCsv");
        QCOMPARE(fake->messages(), QStringList());
        QVERIFY2(fake->shown.first().text.endsWith("/購入テーブル：購入金額の合計.csv"),
                 qPrintable(fake->shown.first().text));
        QCOMPARE(readAll(path),
                 QByteArray("\xEF\xBB\xBF") +
                     QStringLiteral("合計,分類\r\n1500,食費\r\n500,日用品\r\n").toUtf8());
        QCOMPARE(w->findChild<QLabel*>("lblTotal")->text(), QStringLiteral("総計：2,000"));
    }
};

QTEST_MAIN(TestSumChart)
#include "tst_sumchart.moc"
