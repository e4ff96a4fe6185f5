#include "CsvReader.h"
#include "ImportPlan.h"
#include "ImportValues.h"
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "PurchaseBook.h"
#include "TestEnv.h"
#include "frmImport.h"
#include "frmInput.h"
#include "usrFlg.h"

#include <QPushButton>
#include <QTableWidget>
#include <QUndoStack>

#include <QStringEncoder>
#include <QtTest>

using Part = ColumnSource::Part;
Q_DECLARE_METATYPE(QList<QStringList>)

class TestImport : public QObject {
    Q_OBJECT
    static QByteArray cp932(const QString& s) { return QStringEncoder("CP932").encode(s); }

private slots:
    void reads_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QList<QStringList>>("records");
        QTest::addColumn<QString>("error");
        const QList<QStringList> two{{"日付", "店"}, {"2026/12/07", "駅前店"}};
        QTest::newRow("utf-8 with a byte order mark, CR LF")
            << QByteArray("\xEF\xBB\xBF") + QString("日付,店\r\n2026/12/07,駅前店\r\n").toUtf8()
            << "UTF-8" << "," << two << "";
        QTest::newRow("utf-8 without a mark, no last line end")
            << QString("日付,店\n2026/12/07,駅前店").toUtf8() << "UTF-8" << "," << two << "";
        QTest::newRow("shift-jis, lines ended by CR")
            << cp932("日付,店\r2026/12/07,駅前店\r") << "CP932" << "," << two << "";
        QTest::newRow("tabs") << QString("日付\t店\n2026/12/07\t駅前店\n").toUtf8() << "UTF-8"
                              << "\t" << two << "";
        QTest::newRow("quoted: separator, doubled quote, line break, a comma-rich amount")
            << QByteArray("a,\"b,c\",\"say \"\"hi\"\"\",\"x\r\ny\",\"1,200\"\n") << "UTF-8" << ","
            << QList<QStringList>{{"a", "b,c", "say \"hi\"", "x\r\ny", "1,200"}} << "";
        QTest::newRow("ragged rows and a blank line keep their fields")
            << QByteArray("a,b,c\n\nd\ne,f,g,h\n") << "UTF-8" << ","
            << QList<QStringList>{{"a", "b", "c"}, {}, {"d"}, {"e", "f", "g", "h"}} << "";
        QTest::newRow("empty file") << QByteArray() << "UTF-8" << "," << QList<QStringList>{}
                                    << "ファイルに行がありません。";
        QTest::newRow("not text") << QByteArray("PK\x03\x04\0\0binary", 12) << "CP932" << ","
                                  << QList<QStringList>{}
                                  << "文字のファイルではありません（NUL の文字が含まれています）。";
    }
    void reads() {
        QFETCH(QByteArray, bytes);
        const CsvReader::File f = CsvReader::read(bytes);
        QTEST(f.error, "error");
        if (!f.error.isEmpty()) return;
        QTEST(f.encoding, "encoding");
        QTEST(QString(f.separator), "separator");
        QTEST(f.records, "records");
    }

    // Bytes that the chosen encoding cannot read name the line; nothing is read.
    void invalidBytesAreRefused() {
        const QByteArray bytes = "ok\nbad \xFF\xFE here\n";
        QString error;
        QVERIFY(CsvReader::decode(bytes, CsvReader::Utf8, &error).isEmpty());
        QVERIFY2(error.startsWith("2 行目に UTF-8 として読めない文字"), qPrintable(error));
        // a field of a megabyte and a hundred thousand lines stay whole
        const QByteArray big = QByteArray(1 << 20, 'x') + "," + QByteArray("1\n").repeated(100000);
        const CsvReader::File f = CsvReader::read(big);
        QCOMPARE(f.records.size(), 100000);
        QCOMPARE(f.records[0][0].size(), 1 << 20);
    }

    void amounts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("value"); // "" = not an amount
        QTest::newRow("plain") << "1200" << "1200";
        QTest::newRow("digit groups and yen") << "¥1,200" << "1200";
        QTest::newRow("full-width with 円") << "１，２００円" << "1200";
        QTest::newRow("full-width yen sign, blanks") << "　￥ 980 " << "980";
        QTest::newRow("minus") << "-500" << "-500";
        QTest::newRow("trailing minus") << "500-" << "-500";
        QTest::newRow("brackets") << "(1,500)" << "-1500";
        QTest::newRow("triangle") << "▲300" << "-300";
        QTest::newRow("zero decimals") << "1200.00" << "1200";
        QTest::newRow("real decimals are no amount") << "12.5" << "";
        QTest::newRow("words") << "振込" << "";
        QTest::newRow("empty") << "" << "";
    }
    void amounts() {
        QFETCH(QString, text);
        QFETCH(QString, value);
        const auto a = ImportValues::amount(text);
        QCOMPARE(a ? QString::number(*a) : QString(), value);
    }

    void dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date"); // invalid = not a date
        const QDate d(2026, 12, 7);
        QTest::newRow("slashes") << "2026/12/07" << d;
        QTest::newRow("dashes, no zeros") << "2026-12-7" << d;
        QTest::newRow("dots") << "2026.12.7" << d;
        QTest::newRow("packed") << "20261207" << d;
        QTest::newRow("kanji") << "2026年12月7日" << d;
        QTest::newRow("full-width") << "２０２６／１２／０７" << d;
        QTest::newRow("with a time") << "2026/12/07 10:30" << d;
        QTest::newRow("Reiwa") << "R8.12.7" << d;
        QTest::newRow("Reiwa in kanji") << "令和8年12月7日" << d;
        QTest::newRow("Heisei first year") << "平成元年1月8日" << QDate(1989, 1, 8);
        QTest::newRow("no such day") << "2026/02/30" << QDate();
        QTest::newRow("words") << "先月" << QDate();
    }
    void dates() {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QCOMPARE(ImportValues::date(text).value_or(QDate()), date);
    }

    // A statement's date fills year, month and day; amounts become plain
    // numbers; a row already in the grid is left out; a short row is not taken.
    void planOfAStatement() {
        const QList<ImportColumn> cols{{"年", 1, false, false},  {"購入した月", 2, true, false},
                                       {"日", 3, true, false},   {"店", 5, false, true},
                                       {"金額", 7, true, false}, {"備考", 9, false, false}};
        const CsvReader::File f = CsvReader::read(
            cp932("利用日,店,金額\r\n2026/12/07,駅前店,\"￥1,200\"\r\n2026/12/08,駅前店,500-\r\n"
                  "2026/12/09\r\n2026/12/10,本屋,９８０円\r\n"));
        ImportSettings s = ImportPlan::guess(f, cols);
        QVERIFY(s.header);
        QCOMPARE(s.sources, (QList<ColumnSource>{{0, Part::Year}, {0, Part::Month}, {0, Part::Day},
                                                 {1, Part::Whole}, {2, Part::Whole}, {}}));
        const QSet<QString> present{
            ImportPlan::keyOf({"2026", "12", "10", "本屋", "980", ""}, s)};
        const QList<PlannedRow> rows = ImportPlan::rows(f, s, cols, present);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].texts, (QStringList{"2026", "12", "7", "駅前店", "1200", ""}));
        QCOMPARE(rows[1].texts[4], "-500");
        QCOMPARE(rows[2].problem, "項目が 1 個しかありません（3 個必要です）。");
        QVERIFY(rows[3].present);
        QCOMPARE((QList<bool>{rows[0].chosen, rows[1].chosen, rows[2].chosen, rows[3].chosen}),
                 (QList<bool>{true, true, false, false}));
        ImportSettings unmapped = s;
        unmapped.sources = QList<ColumnSource>(cols.size());
        QVERIFY(!ImportPlan::rows(f, unmapped, cols, {QString()}).first().present);

        // kept per table and number of fields, beside what the file already holds
        TestEnv env;
        env.writeIni("[AppIni]\nSumTNum( 01 )Sum( 01 )Title=x\n[t]\nTableJPName=表\n");
        s.skip = 2;
        s.separator = QLatin1Char('\t');
        QCOMPARE(ImportSettingsStore::save(env.iniPath(), 1, 3, s), QString());
        const auto back = ImportSettingsStore::load(env.iniPath(), 1, 3, int(cols.size()));
        QVERIFY(back);
        QCOMPARE(back->toText(), s.toText());
        QVERIFY(!ImportSettingsStore::load(env.iniPath(), 1, 4, int(cols.size())));
        QVERIFY(!ImportSettings::fromText(s.toText(), 5)); // written for another catalog
        QVERIFY(!ImportSettings::fromText("enc=EBCDIC;map=-", 1));
    }

    // A Shift-JIS statement into the purchase table: previewed, appended as
    // new rows (one undo step), and saved by the editor's ordinary save, a
    // new shop added as a typed one would be; the same file again adds nothing.
    void statementIntoTheEditor() {
        FakeDialogs fake;
        TestEnv env;
        env.writeIni(purchaseCatalog());
        env.runSql(purchaseBook());
        env.startProgram();
        const QString csv = env.path() + "/meisai.csv";
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(cp932("品名,店,金額\r\nりんご,八百屋,\"1,200\"\r\nみかん,果物店,３００円\r\n"));
        f.close();

        auto* ed = new frmInput;
        ed->mTblNum = 1;
        Forms::setTag(ed, "1");
        QVERIFY(ed->Form_Load());
        const int before = ed->grid()->MaxRow();
        auto importOnce = [&] {
            fake.fileAnswers << csv;
            ed->mnuFileImport_Click();
            auto* w = ed->findChild<frmImport*>();
            if (!w) return QList<PlannedRow>{};
            const QList<PlannedRow> rows = w->plannedRows();
            if (w->cmdImport->isEnabled()) w->cmdImport->click();
            else w->close();
            delete w;
            return rows;
        };
        QList<PlannedRow> rows = importOnce();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].texts, (QStringList{"りんご", "", "八百屋", "1200", "", ""}));
        QCOMPARE(ed->grid()->MaxRow(), before + 2);
        QCOMPARE(ed->grid()->row(), before); // the first imported row is current
        ed->grid()->undo(); // the whole import is one step
        QCOMPARE(ed->grid()->MaxRow(), before);
        ed->grid()->redo();
        QCOMPARE(ed->grid()->MaxRow(), before + 2);
        QVERIFY(ed->SaveTable());
        QCOMPARE(env.rows("select b.id, b.name, s.shop_name, b.price from buy b join shop s "
                          "on s.shop_id = b.shop_id where b.id > 9 order by b.id"),
                 (QList<QStringList>{{"10", "りんご", "八百屋", "1200"},
                                     {"11", "みかん", "果物店", "300"}}));
        rows = importOnce();
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[0].present && rows[1].present);
        // Escape closes the window without importing
        fake.fileAnswers << csv;
        ed->mnuFileImport_Click();
        QPointer<frmImport> w = ed->findChild<frmImport*>();
        QVERIFY(w);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w->grdPreview, Qt::Key_Escape);
        QTRY_VERIFY(!w);
        QVERIFY(!ed->isModified());
        ed->setUnloadApproved();
        delete ed;
        env.stopProgram();
    }
};

QTEST_MAIN(TestImport)
#include "tst_import.moc"
