// The summary window offscreen with its pickers and condition editor: what
// it shows, what its children feed into it, and what a run puts in the grid.
#include "CondTextBox.h"
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "SumPicker.h"
#include "TestEnv.h"
#include "frmRngSel.h"
#include "frmSelSum.h"
#include "frmSelType.h"
#include "frmSelect.h"
#include "frmSum.h"
#include "frmSumExa.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

using namespace modMorvi;

namespace {
using Rows = QList<QStringList>;

Rows gridRows(const usrFlg* g) {
    Rows out;
    for (int r = 0; r < g->MaxRow(); ++r) {
        QStringList row;
        for (int c = 0; c < g->MaxCol(); ++c)
            row << g->Field(r, c);
        out << row;
    }
    return out;
}

QStringList itemTexts(const QListWidget* l) {
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

void select(QListWidget* l, const QString& text) {
    const auto found = l->findItems(text, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(text));
    l->setCurrentItem(found.first());
}

// Types into the condition editor's text box as a keyboard would.
void typeCondition(frmRngSel* rng, const QString& text) {
    auto* box = rng->findChild<CondTextBox*>("RchCond");
    QVERIFY(box);
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(box, &release);
    }
}

const QString BuyStatement = "select sum( buy_tbl.amount ) as SUM from buy_tbl";
} // namespace

class TestSumWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    QList<QPointer<QWidget>> opened;

    frmSum* open(int table, int same = 1) {
        auto* w = new frmSum;
        w->mTableNum = static_cast<qint16>(table);
        w->mSameTblNum = static_cast<qint16>(same);
        Forms::setTag(w, QStringLiteral("SUM:%1  %2").arg(table).arg(same));
        opened << w;
        if (!w->Form_Load()) return nullptr;
        return w;
    }
    template <typename T = QWidget> T* child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(QLatin1String(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    QPushButton* button(QWidget* w, const char* name) { return child<QPushButton>(w, name); }
    QString cond(frmSum* w) { return child<QPlainTextEdit>(w, "txtCond")->toPlainText(); }
    QString sumType(frmSum* w) { return child<QLineEdit>(w, "txtSumType")->text(); }
    QString range(frmSum* w) { return child<QPlainTextEdit>(w, "txtRng")->toPlainText(); }
    QStringList types(frmSum* w) { return itemTexts(child<QListWidget>(w, "lstType")); }
    void click(QWidget* w, const char* name) { QTest::mouseClick(button(w, name), Qt::LeftButton); }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        QString ini = "[buy_tbl]\nTableJPName=購入テーブル\n";
        ini += iniColumn(1, "buy_id", "番号", 0, "eInteger", "MainKey=1");
        ini += iniColumn(2, "buy_year", "年", 1, "eText");
        ini += iniColumn(3, "buy_month", "月", 2, "eSmallint");
        ini += iniColumn(4, "category_id", "分類", 3, "eInteger",
                         "GaibuTableName=category_tbl;GaibuTableColName=category_name;"
                         "GaibuTableColKey=category_id;GaibuTableColeDataType=eText");
        ini += iniColumn(5, "rank_id", "等級", 4, "eText",
                         "GaibuTableName=rank_tbl;GaibuTableColName=rank_no;"
                         "GaibuTableColKey=rank_id;GaibuTableColeDataType=eInteger");
        ini += iniColumn(6, "item_name", "品名", 5, "eText");
        ini += iniColumn(7, "pay", "支払", 6, "eText");
        ini += iniColumn(8, "amount", "購入金額", 7, "eInteger");
        ini += iniColumn(9, "memo", "備考", 8, "eText");
        ini += "[other]\nTableJPName=その他\n";
        ini += iniColumn(1, "code", "記号", 0, "eText", "MainKey=1");
        ini += iniColumn(2, "name", "名前", 1, "eText");
        ini += iniColumn(3, "qty", "数量", 2, "eSmallint");
        ini += iniColumn(4, "price", "値段", 3, "eInteger");
        ini += "[words]\nTableJPName=言葉\n";
        ini += iniColumn(1, "word", "言葉", 0, "eText", "MainKey=1");
        ini += iniColumn(2, "reading", "読み", 1, "eText");
        ini += "[broken]\nTableJPName=壊れた表\n";
        ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
        ini += "COL( 02 )FieldName=x\nCOL( 02 )JPName=エックス\nCOL( 02 )ipointx=abc\n";
        env->writeIni(ini);
        env->runSql({
            "create table category_tbl (category_id integer primary key, category_name text)",
            "create table rank_tbl (rank_id integer primary key, rank_no integer)",
            "create table buy_tbl (buy_id integer primary key, buy_year text, buy_month integer,"
            " category_id integer, rank_id integer, item_name text, pay text, amount integer,"
            " memo text)",
            "insert into category_tbl values (1, '食費'), (2, '日用品')",
            "insert into rank_tbl values (1, 10), (2, 20)",
            "insert into buy_tbl values (1, '2020', 1, 1, 1, '米', '現金', 1000, null),"
            " (2, '2020', 2, 2, 1, '洗剤', '現金', 500, null),"
            " (3, '2021', 1, 1, 2, 'パン', 'カード', 300, null),"
            " (4, '2021', 2, 1, 2, '牛乳', 'カード', 200, null)",
            "create table other (code text primary key, name text, qty integer, price integer)",
            "create table words (word text primary key, reading text)",
        });
        env->startProgram();
    }
    void cleanup() {
        for (const QPointer<QWidget>& w : opened)
            delete w.data();
        opened.clear();
        for (QWidget* w : Forms::all())
            delete w;
        env->stopProgram();
        env.reset();
        fake.reset();
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        const QString rangeTip = "指定条件に当てはまるデータの範囲で合計を出します。";
        const QString typesTip =
            "項目毎の詳細な合計を求めたい場合、どの項目を表示するかを指定します。";
        const QString sumTip = "集計する項目(金額など)を選択します。";
        QTest::newRow("lblRange") << "lblRange"
                                  << "集計対象項目の指定" << rangeTip;
        QTest::newRow("txtRng") << "txtRng" << QString() << rangeTip;
        QTest::newRow("CmdRangeCng") << "CmdRangeCng"
                                     << "変更" << QString();
        QTest::newRow("cmdTemp") << "cmdTemp"
                                 << "定番の合計方法をセット" << QString();
        QTest::newRow("lblTypes") << "lblTypes"
                                  << "分類して表示する項目の指定" << typesTip;
        QTest::newRow("cmdTypeCng") << "cmdTypeCng"
                                    << "変更" << QString();
        QTest::newRow("lblSumType") << "lblSumType"
                                    << "集計対象の項目" << sumTip;
        QTest::newRow("txtSumType") << "txtSumType"
                                    << "購入金額" << sumTip;
        QTest::newRow("cmdSumCng") << "cmdSumCng"
                                   << "変更" << QString();
        QTest::newRow("cmdStart") << "cmdStart"
                                  << "集計開始！" << QString();
    }
    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, tip);
        frmSum* w = open(1);
        QWidget* c = child(w, qPrintable(name));
        const QVariant shown = c->property("text");
        if (shown.isValid()) QCOMPARE(shown.toString(), text);
        if (auto* box = qobject_cast<QPlainTextEdit*>(c)) QCOMPARE(box->toPlainText(), text);
        QCOMPARE(c->toolTip(), tip);
    }

    void load_data() {
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("same");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("sumType");
        QTest::addColumn<QString>("statement");
        QTest::newRow("purchase table totals its amount") << 1 << 1 << "集計選択( 購入テーブル )"
                                                          << "購入金額" << BuyStatement;
        QTest::newRow("second window, first numeric column")
            << 2 << 2 << "集計選択( その他 )２"
            << "数量"
            << "select sum( other.qty ) as SUM from other";
        QTest::newRow("no numeric column")
            << 3 << 1 << "集計選択( 言葉 )" << QString()
            << "このテーブルには合計を求められる数字の項目がありません。";
    }
    void load() {
        QFETCH(int, table);
        QFETCH(int, same);
        QFETCH(QString, caption);
        QFETCH(QString, sumType);
        QFETCH(QString, statement);
        frmSum* w = open(table, same);
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(this->sumType(w), sumType);
        QCOMPARE(cond(w), statement);
        QVERIFY(fake->shown.isEmpty());
    }

    void noNumericColumnRefusesToRun() {
        frmSum* w = open(3);
        const Rows before = gridRows(w->grid());
        click(w, "cmdStart");
        QCOMPARE(fake->messages(),
                 QStringList{"このテーブルには合計を求められる数字の項目がありません。"});
        QCOMPARE(gridRows(w->grid()), before);
        click(w, "cmdSumCng");
        QVERIFY(itemTexts(w->sumPicker()->list()).isEmpty());
    }

    void failedCatalogClosesTheWindow() {
        QPointer<frmSum> w = new frmSum;
        w->mTableNum = 4;
        QVERIFY(!w->Form_Load());
        QCOMPARE(fake->messages().size(), 1);
        QVERIFY(fake->messages().first().contains("ipointx"));
        QVERIFY(!w->isVisible());
        QTRY_VERIFY(!w);
        QVERIFY(Forms::all().isEmpty());
    }

    void statementCannotBeTyped() {
        frmSum* w = open(1);
        auto* box = child<QPlainTextEdit>(w, "txtCond");
        QVERIFY(box->isReadOnly());
        box->setFocus();
        QTest::keyClicks(box, " delete from buy_tbl");
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->toPlainText(), BuyStatement);
        click(w, "cmdStart");
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"2,000"}}));
    }

    void pickersFeedTheWindow() {
        frmSum* w = open(1);
        click(w, "cmdSumCng");
        frmSelSum* sum = w->sumPicker();
        QVERIFY(sum && sum->isVisible());
        QCOMPARE(sum->windowTitle(), QStringLiteral("集計選択 購入テーブル"));
        QCOMPARE(child<QLabel>(sum, "lblTypes")->text(), QStringLiteral("集計する項目の選択"));
        // by the type shown: the category's text is not offered, the rank's
        // number is
        QCOMPARE(itemTexts(sum->list()), (QStringList{"番号", "月", "等級", "購入金額"}));
        select(sum->list(), "月");
        QCOMPARE(sumType(w), QStringLiteral("月"));
        QCOMPARE(cond(w), QStringLiteral("select sum( buy_tbl.buy_month ) as SUM from buy_tbl"));
        // a click on the chosen column reports it again after the window
        // took another one from elsewhere
        w->PutSumCol(8);
        QCOMPARE(sumType(w), QStringLiteral("購入金額"));
        QListWidget* list = sum->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->currentItem()).center());
        QCOMPARE(sumType(w), QStringLiteral("月"));
        // the rank's own key column holds text: the statement stays
        select(sum->list(), "等級");
        QCOMPARE(fake->messages(), QStringList{"合計を求める項目が数字ではありません。"});
        QCOMPARE(cond(w), QStringLiteral("select sum( buy_tbl.buy_month ) as SUM from buy_tbl"));
        // the statement on view no longer matches the settings: it is not run
        const Rows empty = gridRows(w->grid());
        click(w, "cmdStart");
        QCOMPARE(fake->messages(), QStringList(2, "合計を求める項目が数字ではありません。"));
        QCOMPARE(gridRows(w->grid()), empty);
        select(sum->list(), "購入金額");

        click(w, "cmdTypeCng");
        frmSelType* type = w->typePicker();
        QVERIFY(type && type->isVisible());
        QCOMPARE(type->windowTitle(), QStringLiteral("分類する項目の選択：購入テーブル"));
        QCOMPARE(child<QLabel>(type, "lblTypSel")->text(),
                 QStringLiteral("分類して集計する項目の選択"));
        QCOMPARE(button(type, "cmdAdd")->text(), QStringLiteral("追加"));
        QCOMPARE(button(type, "cmdClear")->text(), QStringLiteral("全クリア"));
        QCOMPARE(type->list()->count(), 9);
        click(type, "cmdAdd"); // nothing chosen yet
        QVERIFY(types(w).isEmpty());
        for (const char* t : {"分類", "年", "分類"}) {
            select(type->list(), t);
            click(type, "cmdAdd");
        }
        QCOMPARE(types(w), (QStringList{"分類", "年"}));
        QCOMPARE(w->TypeColumns(), (QList<int>{4, 2}));
        QCOMPARE(cond(w), QStringLiteral("select sum( buy_tbl.amount ) as SUM, (select "
                                         "category_tbl.category_name from category_tbl where "
                                         "category_tbl.category_id = buy_tbl.category_id ) AS "
                                         "category_tblcategory_name , buy_tbl.buy_year as "
                                         "buy_tblbuy_year from buy_tbl group by "
                                         "buy_tbl.category_id, buy_tbl.buy_year"));
        click(w, "cmdStart");
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計", "分類", "年"},
                                            {"1,000", "食費", "2020"},
                                            {"500", "食費", "2021"},
                                            {"500", "日用品", "2020"}}));
        click(type, "cmdClear");
        QVERIFY(types(w).isEmpty());
        QCOMPARE(cond(w), BuyStatement);

        // the user's close only hides; the next click shows the same window
        QVERIFY(!type->close());
        QVERIFY(!type->isVisible());
        click(w, "cmdTypeCng");
        QCOMPARE(w->typePicker(), type);
        QVERIFY(type->isVisible());
    }

    void secondWindowHasItsOwnChildren() {
        frmSum* first = open(1, 1);
        frmSum* second = open(1, 2);
        for (frmSum* w : {first, second})
            for (const char* b : {"CmdRangeCng", "cmdSumCng", "cmdTypeCng", "cmdTemp"})
                click(w, b);
        QCOMPARE(second->windowTitle(), QStringLiteral("集計選択( 購入テーブル )２"));
        QCOMPARE(second->sumPicker()->windowTitle(), QStringLiteral("集計選択 購入テーブル２"));
        QCOMPARE(second->typePicker()->windowTitle(),
                 QStringLiteral("分類する項目の選択：購入テーブル２"));
        QVERIFY(second->rangeSelector()->windowTitle().endsWith(QStringLiteral("２")));
        QVERIFY(second->sumPicker() != first->sumPicker());
        QVERIFY(second->typePicker() != first->typePicker());
        QVERIFY(second->rangeSelector() != first->rangeSelector());
        QVERIFY(second->presetsWindow() != first->presetsWindow());
        select(second->typePicker()->list(), "年");
        click(second->typePicker(), "cmdAdd");
        QCOMPARE(types(second), QStringList{"年"});
        QVERIFY(types(first).isEmpty());

        // closing a window ends its children, and only its own
        QPointer<QWidget> children[] = {second->rangeSelector(), second->sumPicker(),
                                        second->typePicker(), second->presetsWindow()};
        QVERIFY(second->close());
        for (const auto& c : children)
            QVERIFY(!c);
        QVERIFY(first->rangeSelector() && first->sumPicker() && first->presetsWindow());
    }

    // A condition still being typed (its pause not over) is taken over by
    // the run.
    void startTakesTheConditionBeingTyped() {
        frmSum* w = open(1);
        click(w, "CmdRangeCng");
        frmRngSel* rng = w->rangeSelector();
        QVERIFY(rng && rng->isVisible());
        typeCondition(rng, "年 = '2021'");
        QCOMPARE(range(w), QString());
        QCOMPARE(cond(w), BuyStatement);
        click(w, "cmdStart");
        QCOMPARE(range(w), QStringLiteral("年 = '2021'"));
        QCOMPARE(cond(w), BuyStatement + " where  buy_tbl.buy_year = '2021'");
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"500"}}));
        QVERIFY(fake->shown.isEmpty());
        // a stray key over the total changes nothing
        w->grid()->setFocus();
        w->grid()->setRow(1);
        QTest::keyClicks(w->grid(), "9");
        QTest::keyClick(w->grid(), Qt::Key_Return);
        QTest::keyClick(w->grid(), Qt::Key_Delete);
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"500"}}));

        typeCondition(rng, " and 月 = 2");
        int col = 0;
        QString jp, sql;
        w->ReturnSumSetting(col, jp, sql);
        QCOMPARE(col, 8);
        QCOMPARE(jp, QStringLiteral("年 = '2021' and 月 = 2"));
        QCOMPARE(sql, QStringLiteral(" buy_tbl.buy_year = '2021' and buy_tbl.buy_month = 2"));
    }

    // A condition that does not translate at the press of 集計開始！ runs
    // nothing: the translator's words in a message, the last result kept.
    void startWithConditionThatDoesNotTranslate() {
        frmSum* w = open(1);
        click(w, "CmdRangeCng");
        frmRngSel* rng = w->rangeSelector();
        typeCondition(rng, "購入金額 >= 400");
        click(w, "cmdStart");
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"1,500"}}));
        QCOMPARE(child<QLabel>(w, "lblTotal")->text(), QStringLiteral("総計：1,500"));
        typeCondition(rng, " and 購入金額 <");
        click(w, "cmdStart");
        QCOMPARE(fake->messages(), QStringList{rng->statusText()});
        QVERIFY(rng->statusText().startsWith(QStringLiteral("右辺の指定がありません")));
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"1,500"}}));
        QCOMPARE(cond(w), BuyStatement + " where  buy_tbl.amount >= 400");
    }

    // A text that two lookup records hold totals the rows of both.
    void textHeldBySeveralRecords() {
        env->runSql({"insert into category_tbl values (6, '食費')",
                     "insert into buy_tbl values (5, '2021', 3, 6, 1, '卵', '現金', 40, null)"});
        frmSum* w = open(1);
        click(w, "CmdRangeCng");
        w->rangeSelector()->SetJpSql("分類 = '食費'");
        click(w, "cmdStart");
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"1,540"}}));
        w->rangeSelector()->SetJpSql("分類 <> '食費'");
        click(w, "cmdStart");
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"500"}}));
        QVERIFY(fake->shown.isEmpty());
    }

    // The keyboard alone: Return presses the button with the focus, Escape
    // hides the condition editor and the pickers, Return on a column of
    // the classification list adds it, Tab goes through the controls row
    // by row.
    void keys_data() {
        QTest::addColumn<QString>("what");
        for (const char* k :
             {"Return on 集計開始！", "Return on a picker's button",
              "Escape in the condition editor", "Escape in the type picker",
              "Escape in the sum picker", "Return on a classification entry", "Tab order"})
            QTest::newRow(k) << QString::fromUtf8(k);
    }
    void keys() {
        QFETCH(QString, what);
        frmSum* w = open(1);
        if (what == "Return on 集計開始！") {
            QTest::keyClick(button(w, "cmdStart"), Qt::Key_Return);
            QCOMPARE(gridRows(w->grid()), (Rows{{"合計"}, {"2,000"}}));
        } else if (what == "Return on a picker's button") {
            click(w, "cmdTypeCng");
            select(w->typePicker()->list(), "年");
            QTest::keyClick(button(w->typePicker(), "cmdAdd"), Qt::Key_Return);
            QCOMPARE(types(w), QStringList{"年"});
        } else if (what == "Escape in the condition editor") {
            click(w, "CmdRangeCng");
            QTest::keyClick(child(w->rangeSelector(), "RchCond"), Qt::Key_Escape);
            QVERIFY(!w->rangeSelector()->isVisible());
            QVERIFY(w->rangeSelector()); // hidden, not gone
        } else if (what.startsWith("Escape in the")) {
            const bool type = what.contains("type");
            click(w, type ? "cmdTypeCng" : "cmdSumCng");
            SumPicker* p = type ? static_cast<SumPicker*>(w->typePicker()) : w->sumPicker();
            QTest::keyClick(p->list(), Qt::Key_Escape);
            QVERIFY(!p->isVisible());
            QVERIFY(type ? w->typePicker() != nullptr : w->sumPicker() != nullptr);
        } else if (what == "Return on a classification entry") {
            click(w, "cmdTypeCng");
            select(w->typePicker()->list(), "分類");
            QTest::keyClick(w->typePicker()->list(), Qt::Key_Return);
            QCOMPARE(types(w), QStringList{"分類"});
        } else {
            // the controls Tab stops at, from the first, as far as the grid
            QStringList chain;
            QWidget* c = child(w, "txtRng");
            for (int i = 0; i < 12 && c != w->grid() && !w->grid()->isAncestorOf(c); ++i) {
                chain << c->objectName();
                do
                    c = c->nextInFocusChain();
                while (!(c->focusPolicy() & Qt::TabFocus) ||
                       (c->parentWidget() != w->grid()->parentWidget() &&
                        !w->grid()->isAncestorOf(c)));
            }
            chain << (c == w->grid() || w->grid()->isAncestorOf(c) ? "usrFlg" : c->objectName());
            QCOMPARE(chain, (QStringList{"txtRng", "CmdRangeCng", "cmdTemp", "lstType",
                                         "cmdTypeCng", "txtSumType", "cmdSumCng", "cmdGraph",
                                         "cmdStart", "cmdCsv", "txtCond", "usrFlg"}));
        }
    }

    // A statement the database rejects: its words in a message, the grid
    // keeps its last result, the window goes on working.
    void rejectedStatement() {
        frmSum* w = open(1);
        click(w, "cmdStart");
        const Rows before = gridRows(w->grid());
        QCOMPARE(before, (Rows{{"合計"}, {"2,000"}}));
        // a stored preset whose columns have gone: its condition no longer
        // translates, so it is refused with the translator's words
        w->SetSumSetting({-1}, 8, "消えた列 = 1", " buy_tbl.missing_col = 1", {QString()});
        QCOMPARE(cond(w), BuyStatement);
        QCOMPARE(fake->messages().size(), 1);
        QVERIFY(fake->messages().first().endsWith(
            QStringLiteral("左辺に項目でも値でもない文字が指定されました : 消えた列 = 1")));
        fake->clear();
        QVERIFY(!w->ExecSumSql(BuyStatement + " where  buy_tbl.missing_col = 1"));
        QCOMPARE(fake->messages().size(), 1);
        QVERIFY(fake->messages().first().startsWith(QStringLiteral("集計できませんでした。\n")));
        QVERIFY(fake->messages().first().contains(TestEnv::onServer()
                                                      ? QStringLiteral("does not exist")
                                                      : QStringLiteral("no such column")));
        QCOMPARE(gridRows(w->grid()), before);
        w->SetSumSetting({2}, 8, QString(), QString(), {QString()});
        click(w, "cmdStart");
        QCOMPARE(gridRows(w->grid()), (Rows{{"合計", "年"}, {"1,500", "2020"}, {"500", "2021"}}));
        QCOMPARE(env->scalar("select count(*) from buy_tbl").toInt(), 4);
    }

    void presets_data() {
        QTest::addColumn<QList<int>>("typs");
        QTest::addColumn<int>("sumCol");
        QTest::addColumn<QString>("jpSql");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("tables");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("messages");
        const QStringList none{QString()};
        QTest::newRow("without classification")
            << QList<int>{-1} << 3 << QString() << QString() << none << QStringList{}
            << "select sum( buy_tbl.buy_month ) as SUM from buy_tbl" << QStringList{};
        // the stored SQL wins over the editor's own translation
        QTest::newRow("classified, with a condition")
            << QList<int>{2, 4, 2} << 8 << "年 = '2020'"
            << " buy_tbl.buy_year <> '2020'" << none << QStringList{"年", "分類"}
            << "select sum( buy_tbl.amount ) as SUM , buy_tbl.buy_year as buy_tblbuy_year, "
               "(select category_tbl.category_name from category_tbl where "
               "category_tbl.category_id = buy_tbl.category_id ) AS category_tblcategory_name "
               "from buy_tbl where  buy_tbl.buy_year <> '2020' group by buy_tbl.buy_year, "
               "buy_tbl.category_id"
            << QStringList{};
        QTest::newRow("further tables")
            << QList<int>{-1} << 8 << QString() << " buy_tbl.category_id = category_tbl.category_id"
            << QStringList{"category_tbl", "rank_tbl"} << QStringList{}
            << BuyStatement + ", category_tbl, rank_tbl where  buy_tbl.category_id = "
                              "category_tbl.category_id"
            << QStringList{};
        const QString refused = "この集計方法はテーブルにない項目（列番号 %1）を使っているため、"
                                "セットできません。";
        QTest::newRow("classification the table lacks")
            << QList<int>{2, 12} << 8 << QString() << QString() << none << QStringList{"年"}
            << BuyStatement << QStringList{refused.arg(12)};
        QTest::newRow("total the table lacks")
            << QList<int>{-1} << 0 << QString() << QString() << none << QStringList{"年"}
            << BuyStatement << QStringList{refused.arg(0)};
        QTest::newRow("text total: one message, the old statement stays")
            << QList<int>{4} << 2 << QString() << QString() << none << QStringList{"分類"}
            << BuyStatement << QStringList{"合計を求める項目が数字ではありません。"};
    }
    void presets() {
        QFETCH(QList<int>, typs);
        QFETCH(int, sumCol);
        QFETCH(QString, jpSql);
        QFETCH(QString, sql);
        QFETCH(QStringList, tables);
        QFETCH(QStringList, listed);
        QFETCH(QString, statement);
        QFETCH(QStringList, messages);
        frmSum* w = open(1);
        // a refused preset leaves what was there
        w->TypesAdd("年", 2);
        w->TypesClear();
        w->TypesAdd("年", 2);
        const QString before = cond(w);
        w->SetSumSetting(typs, sumCol, jpSql, sql, tables);
        QCOMPARE(fake->messages(), messages);
        QCOMPARE(types(w), listed);
        if (messages.isEmpty()) {
            QCOMPARE(cond(w), statement);
            QCOMPARE(range(w), jpSql);
            QCOMPARE(w->RetmStrFrTbls_ubound(), tables.size() - 1);
            for (int k = 0; k < tables.size(); ++k)
                QCOMPARE(w->RetmStrFrTbls_data(k), tables[k]);
            QCOMPARE(w->RetmStrFrTbls_data(tables.size()), QString());
        } else if (messages.first().startsWith("この集計方法")) {
            QCOMPARE(cond(w), before);
        }
    }

    void gridFillsTheRest_data() {
        QTest::addColumn<QSize>("form");
        QTest::addColumn<QRect>("grid");
        QTest::newRow("as designed") << QSize(10575, 7545) << QRect(180, 4395, 9855, 2610);
        QTest::newRow("too low") << QSize(10575, 4600) << QRect(180, 4395, 9855, 0);
        QTest::newRow("too narrow") << QSize(500, 7545) << QRect(180, 4395, 0, 2610);
    }
    void gridFillsTheRest() {
        QFETCH(QSize, form);
        QFETCH(QRect, grid);
        QCOMPARE(frmSum::gridRectTwips(form.width(), form.height(), 4335), grid);
    }
    void shrunkWindowGivesAnEmptyGrid() {
        frmSum* w = open(1);
        auto* box = child<QPlainTextEdit>(w, "txtCond");
        const int bottom = box->y() + box->height();
        w->resize(800, 600);
        QVERIFY(w->grid()->height() > 100);
        QCOMPARE(w->grid()->y(), bottom + 4);
        // narrower than its controls: the grid keeps their width, the
        // window scrolls to them
        w->resize(40, bottom);
        QCOMPARE(w->grid()->height(), 0);
        auto* scroll = child<QScrollArea>(w, "scrollBody");
        QVERIFY(scroll->widget()->width() > scroll->viewport()->width());
        QVERIFY(scroll->horizontalScrollBar()->maximum() > 0);
    }

    void openedFromTheMainMenu() {
        auto* menu = new frmSelect;
        opened << menu;
        menu->cmbTbl->setCurrentIndex(1);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        auto* second = qobject_cast<frmSum*>(Forms::findByTag("SUM:1  2"));
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->windowTitle(), QStringLiteral("集計選択( 購入テーブル )２"));
        QCOMPARE(cond(second), BuyStatement);
        // a table whose catalog cannot be read opens nothing
        menu->cmbTbl->setCurrentIndex(4);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QTRY_VERIFY(!Forms::findByTag("SUM:4  1"));
    }

    // The demo book as shipped: a standard preset chosen in the presets
    // window reaches the summary window and runs; the current settings are
    // then stored as a fourth preset.
    void standardPresetRunsOnTheDemoBook() {
        SKIP_ON_SERVER("the demo book as shipped is a file");
        env->stopProgram();
        for (const QString& f : {env->iniPath(), env->dbPath()})
            QFile::remove(f);
        QVERIFY(QFile::copy(TAMROC_DEMO_INI, env->iniPath()));
        QVERIFY(QFile::copy(TAMROC_DEMO_DB, env->dbPath()));
        for (const QString& f : {env->iniPath(), env->dbPath()})
            QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner);
        env->startProgram();
        frmSum* w = open(1);
        QVERIFY(w);
        click(w, "cmdTemp");
        frmSumExa* exa = w->presetsWindow();
        QVERIFY(exa && exa->isVisible());
        auto* lst = child<QListWidget>(exa, "lstRng");
        QCOMPARE(itemTexts(lst),
                 (QStringList{"年ごとの総額", "年ごとで分類した総額", "月ごとで分類した総額"}));
        lst->setCurrentRow(2);
        click(exa, "cmdSet");
        QCOMPARE(types(w), (QStringList{"年", "購入した月", "分類"}));
        QCOMPARE(sumType(w), QStringLiteral("購入金額"));
        QVERIFY2(cond(w).endsWith(" group by buy_tbl.buy_year, buy_tbl.buy_month, "
                                  "buy_tbl.category_id"),
                 qPrintable(cond(w)));
        click(w, "cmdStart");
        QVERIFY2(fake->messages().isEmpty(), qPrintable(fake->messages().join('\n')));
        const usrFlg* g = w->grid();
        const auto expected =
            env->rows("select count(*), sum(total) from (select sum(amount) as total from buy_tbl"
                      " group by buy_year, buy_month, category_id)");
        QCOMPARE(g->MaxRow() - 1, expected[0][0].toInt());
        qint64 total = 0;
        for (int r = 1; r < g->MaxRow(); ++r)
            total += QString(g->Field(r, 0)).remove(',').toLongLong();
        QCOMPARE(total, expected[0][1].toLongLong());

        click(exa, "cmdSave");
        QCOMPARE(lst->count(), 4);
        QCOMPARE(lst->item(3)->text(), QStringLiteral("設定中の集計設定"));
        QFile ini(env->iniPath());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray bytes = ini.readAll();
        for (const char* line :
             {"SumTNum( 01 )Sum( 02 )RCond( 02 )=\"5\"", "SumTNum( 01 )Sum( 03 )RCond( 00 )=\"2\"",
              "SumTNum( 01 )Sum( 03 )SumColumNumber=\"7\""})
            QVERIFY2(bytes.contains(line), line);
    }
};

QTEST_MAIN(TestSumWindow)
#include "tst_sumwindow.moc"
