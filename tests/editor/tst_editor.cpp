#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "TestEnv.h"
#include "Typing.h"
#include "frmInput.h"
#include "frmSelect.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QTableWidget>
#include <QToolBar>
#include <QtTest>

using namespace modMorvi;

// Grid columns of the test table: 0 番号, 1 品名, 2 分類 (text of cat_id),
// 3 店 (text of shop_id), 4 金額, 5 cat_id, 6 shop_id, 7 flag.
class TestEditor : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    QPointer<frmInput> ed;

    usrFlg* g() { return ed->grid(); }
    QWidget* gridWidget() { return g()->flgMain(); }
    QLineEdit* txt() { return g()->txtfocus(); }

    void writeCatalog(const QString& extraBuy = {}) {
        QString ini = "[buy]\nTableJPName=購入\n";
        ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1;Unique=1");
        ini += iniColumn(2, "name", "品名", 1, "eText", "CheckInputTextLength=20;InputPlus=1");
        ini += iniColumn(3, "cat_id", "分類", 2, "eInteger",
                         "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                         "GaibuTableColeDataType=eText;InputPlus=1;NullPermmit=1");
        ini += iniColumn(4, "shop_id", "店", 3, "eInteger",
                         "GaibuTableName=shop;GaibuTableColName=shop_name;GaibuTableColKey=shop_id;"
                         "GaibuTableColeDataType=eText;InputPlus=1");
        ini += iniColumn(5, "price", "金額", 4, "eInteger", "NullPermmit=1");
        ini += extraBuy;
        ini += "[cat]\nTableJPName=分類\n" +
               iniColumn(1, "cat_id", "番号", 0, "eInteger", "MainKey=1") +
               iniColumn(2, "cat_name", "分類名", 1, "eText");
        ini += "[plan]\nTableJPName=予算\n" + iniColumn(1, "y", "年", 0, "eText", "MainKey=1") +
               iniColumn(2, "m", "月", 1, "eInteger", "MainKey=1") +
               iniColumn(3, "budget", "予算", 2, "eInteger");
        ini += "[nokey]\nTableJPName=鍵なし\n" + iniColumn(1, "a", "A", 0, "eText");
        ini += "[nocols]\nTableJPName=列なし\n";
        env->writeIni(ini);
    }

    void open(int table = 1) {
        ed = new frmInput;
        ed->mTblNum = static_cast<qint16>(table);
        Forms::setTag(ed, QString::number(table));
        QVERIFY(ed->Form_Load());
        ed->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ed));
        gridWidget()->setFocus();
    }

    QStringList rowOf(int r) {
        QStringList out;
        for (int c = 0; c < 7; ++c)
            out << g()->Field(r, c);
        return out;
    }
    void at(int r, int c) {
        g()->setRow(r);
        g()->setCol(c);
    }
    void type(const QString& text) { typeText(text); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    // Types into cell (r, c) and stores it with Enter.
    void enter(int r, int c, const QString& text) {
        at(r, c);
        gridWidget()->setFocus();
        if (text.isEmpty()) {
            key(Qt::Key_Delete);
            return;
        }
        type(text);
        key(Qt::Key_Return);
    }
    QList<QStringList> db(const QString& sql) { return env->rows(sql); }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        writeCatalog();
        env->runSql(
            {"create table buy (id integer primary key, name text not null, cat_id integer, "
             "shop_id integer, price integer)",
             "create table cat (cat_id integer primary key, cat_name text unique)",
             "create table shop (shop_id integer primary key, shop_name text unique)",
             "create table nokey (a text)", "create table nocols (a text)",
             "create table plan (y text, m integer, budget integer, primary key (y, m))",
             "insert into plan values ('2024', 1, 100), ('2025', 1, 200), ('2024', 2, 300)",
             "insert into cat values (0, '食費'), (1, '日用品'), (2, '外食'), (4, '交通費')",
             "insert into shop values (1, 'スーパー'), (2, 'コンビニ'), (3, '八百屋')",
             "insert into buy values (9, '牛乳', 0, 1, 200)",
             "insert into buy values (5, 'パン', 0, 2, 150)",
             "insert into buy values (7, '電車', 9, 1, null)",
             "insert into buy values (6, 'お弁当', null, 5, 500)"});
        env->startProgram();
    }
    void cleanup() {
        for (QWidget* w : Forms::all()) {
            if (auto* e = qobject_cast<frmInput*>(w)) e->setUnloadApproved();
            delete w;
        }
        env->stopProgram();
        fake.reset();
        env.reset();
    }

    void loadingShowsForeignTexts() {
        open();
        QCOMPARE(ed->windowTitle(),
                 QStringLiteral("Tamroc編集画面（購入）\u3000\u3000現在の件数：4"));
        QCOMPARE(g()->MaxCol(), 8);
        QCOMPARE(g()->MaxRow(), 5);
        QCOMPARE(g()->Field(0, 2), QStringLiteral("分類"));
        QCOMPARE(g()->Field(0, 7), QStringLiteral("修正フラグ"));
        for (int c : {5, 6, 7})
            QCOMPARE(g()->ColWidth(c), 0);
        // rows in key order; every key shown as its text
        QCOMPARE(rowOf(1), QStringList({"5", "パン", "食費", "コンビニ", "150", "0", "2"}));
        QCOMPARE(rowOf(2), QStringList({"6", "お弁当", "", "外部キー該当なし", "500", "", "5"}));
        QCOMPARE(rowOf(3),
                 QStringList({"7", "電車", "外部キー該当なし", "スーパー", "", "9", "1"}));
        QCOMPARE(rowOf(4), QStringList({"9", "牛乳", "食費", "スーパー", "200", "0", "1"}));
        QVERIFY(!ed->isModified());
        QVERIFY(fake->shown.isEmpty());
        // input choices: the foreign texts sorted, and the column's own values
        QCOMPARE(g()->InputCol(2, 1), QStringLiteral("交通費"));
        QCOMPARE(g()->InputSW(2), 1);
        QCOMPARE(g()->InputSW(4), 0);
        QCOMPARE(g()->InputCol(1, 1), QStringLiteral("お弁当"));
    }

    void windowControls() {
        open();
        QStringList menus;
        for (QAction* a : ed->menuBar()->actions())
            menus << a->text();
        QCOMPARE(menus, QStringList({"ファイル（&F)", "編集(&E)"}));
        QCOMPARE(ed->action("mnuFileSave")->text(), QStringLiteral("保存（&S)"));
        QCOMPARE(ed->action("mnuEditPaste")->text(), QStringLiteral("貼り付け（&P)"));
        QCOMPARE(ed->action("menuEditSyosai")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
        QCOMPARE(ed->action("mnuEditSearchUp")->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F3));
        QVERIFY(!ed->action("mnuEditSearchDown")->isEnabled());
        QVERIFY(!ed->action("mnuEditSearchUp")->isEnabled());
        auto* tb = ed->findChild<QToolBar*>("Toolbar1");
        QVERIFY(tb);
        QCOMPARE(tb->actions().size(), 5); // and a separator, undo and redo
        QCOMPARE(tb->actions()[0]->toolTip(), QStringLiteral("保存する"));
        QCOMPARE(tb->actions()[1]->toolTip(), QStringLiteral("再読み出し"));
        QVERIFY(!tb->actions()[3]->icon().isNull() && !tb->actions()[3]->isEnabled());
    }

    void emptyTableAndForeignColumnWithoutChoices() {
        env->runSql({"delete from buy"});
        open();
        QCOMPARE(g()->MaxRow(), 1);
        QVERIFY(ed->windowTitle().endsWith("：0"));
        ed->setUnloadApproved();
        ed->close();
        env->runSql({"insert into buy values (1, 'a', 1, 1, 1)"});
        // the same table with no input choices on the shop column
        TestEnv& e = *env;
        QFile f(e.iniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        bytes.replace("COL( 04 )InputPlus=1", "COL( 04 )InputPlus=0");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        open();
        QCOMPARE(g()->Field(1, 3), QString());
        QCOMPARE(g()->Field(1, 6), QStringLiteral("1"));
        QCOMPARE(g()->InputSW(3), 0);
        // saving leaves such keys alone
        enter(1, 4, "2");
        QVERIFY(ed->SaveTable());
        QCOMPARE(db("select shop_id, price from buy"), QList<QStringList>({{"1", "2"}}));
    }

    void tablesThatCannotBeEdited() {
        for (int t : {4, 5}) {
            auto* w = new frmInput;
            w->mTblNum = static_cast<qint16>(t);
            QVERIFY(!w->Form_Load());
            delete w;
        }
        QCOMPARE(fake->messages().size(), 2);
        QVERIFY(fake->messages()[0].contains("MainKey"));
        QVERIFY(fake->messages()[1].contains("列の定義がない"));
    }

    void typeCompleteAndSave() {
        open();
        g()->RowAddWithNum(5, 1);
        QCOMPARE(g()->MaxRow(), 6);
        QVERIFY(ed->isModified());
        enter(5, 1, "りんご");
        at(5, 2);
        gridWidget()->setFocus();
        // composed Japanese input; the completion offers the rest
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("日"));
        QApplication::sendEvent(gridWidget(), &commit);
        QCOMPARE(txt()->text(), QStringLiteral("日用品"));
        key(Qt::Key_Return);
        enter(5, 3, "魚屋"); // a text the shop table does not hold yet
        enter(5, 4, "320");
        QVERIFY(ed->SaveTable());
        QVERIFY(fake->shown.isEmpty());
        QVERIFY(!ed->isModified());
        QCOMPARE(db("select * from buy where id = 10"),
                 QList<QStringList>({{"10", "りんご", "1", "0", "320"}}));
        QCOMPARE(db("select shop_id from shop where shop_name = '魚屋'"),
                 QList<QStringList>({{"0"}}));
        // the reload shows what was saved
        QCOMPARE(rowOf(5), QStringList({"10", "りんご", "日用品", "魚屋", "320", "1", "0"}));
        // untouched rows keep their data, dangling keys included
        QCOMPARE(db("select * from buy where id in (6, 7) order by id"),
                 QList<QStringList>(
                     {{"6", "お弁当", "<null>", "5", "500"}, {"7", "電車", "9", "1", "<null>"}}));
    }

    void pasteDeleteAndInsertRows() {
        open();
        QApplication::clipboard()->setText(
            "11\tみかん\t外食\tコンビニ\t90\r\n12\tもも\t外食\t魚屋\t300");
        at(3, 0);
        g()->setRowSel(4);
        g()->setColSel(0);
        // the rows first become free: delete rows 3 and 4
        QTest::mouseClick(g()->flgMain()->viewport(), Qt::LeftButton, {},
                          QPoint(3, g()->RowPos(3) / g()->twipsPerPixelY() + 3));
        g()->setRowSel(4);
        g()->EditRowDelete();
        QCOMPARE(g()->MaxRow(), 3);
        g()->RowAddWithNum(3, 2);
        at(3, 0);
        g()->EditPaste();
        QVERIFY(ed->SaveTable());
        QCOMPARE(db("select id, name, cat_id, shop_id, price from buy order by id"),
                 QList<QStringList>({{"5", "パン", "0", "2", "150"},
                                     {"6", "お弁当", "<null>", "5", "500"},
                                     {"11", "みかん", "2", "2", "90"},
                                     {"12", "もも", "2", "0", "300"}}));
    }

    void onlyChangedRowsAreWritten() {
        env->runSql({"alter table buy add column memo text", "create table written (id integer)"});
        if (TestEnv::onServer())
            env->runSql({"create function w() returns trigger language plpgsql as $$ begin "
                         "insert into written values (case when tg_op = 'DELETE' then old.id "
                         "else new.id end); return null; end $$",
                         "create trigger w after insert or update or delete on buy for each row "
                         "execute function w()"});
        else
            env->runSql({"create trigger w_u after update on buy begin insert into written values "
                         "(new.id); end",
                         "create trigger w_i after insert on buy begin insert into written values "
                         "(new.id); end",
                         "create trigger w_d after delete on buy begin insert into written values "
                         "(old.id); end"});
        writeCatalog(iniColumn(6, "memo", "備考", 5, "eText", "NullPermmit=1"));
        open();
        QCOMPARE(g()->MaxCol(), 9);
        QVERIFY(ed->SaveTable()); // nothing changed: nothing written
        QCOMPARE(db("select count(*) from written"), QList<QStringList>({{"0"}}));
        int r = 1;
        while (g()->Field(r, 0) != "7")
            ++r;
        enter(r, 4, "180");
        ed->mnuEditSort_Click(); // the order of the rows does not matter
        QVERIFY(ed->SaveTable());
        QCOMPARE(db("select id from written"), QList<QStringList>({{"7"}}));
        // an empty memo is still NULL, not an empty text
        QCOMPARE(db("select count(*) from buy where memo is null"), QList<QStringList>({{"4"}}));
    }

    void rowsAreMatchedByTheWholeKey() {
        open(3);
        // ordered by the last key column; rows of both years share month 1
        QCOMPARE(g()->Field(1, 1), QStringLiteral("1"));
        QCOMPARE(g()->Field(3, 1), QStringLiteral("2"));
        int r = 1;
        while (!(g()->Field(r, 0) == "2025" && g()->Field(r, 1) == "1"))
            ++r;
        enter(r, 2, "250");
        g()->RowAddWithNum(4, 1);
        enter(4, 0, "2025");
        enter(4, 1, "2");
        enter(4, 2, "50");
        QVERIFY(ed->SaveTable());
        QCOMPARE(db("select y, m, budget from plan order by y, m"),
                 QList<QStringList>({{"2024", "1", "100"},
                                     {"2024", "2", "300"},
                                     {"2025", "1", "250"},
                                     {"2025", "2", "50"}}));
    }

    void savingStoresTheCellBeingEdited() {
        open();
        at(1, 4);
        gridWidget()->setFocus();
        type("777"); // still in the editor when the toolbar's button is pressed
        QVERIFY(g()->isEditorOpen());
        ed->findChild<QToolBar*>("Toolbar1")->actions()[0]->trigger();
        QVERIFY(!g()->isEditorOpen());
        QCOMPARE(db("select price from buy where id = 5"), QList<QStringList>({{"777"}}));
        QCOMPARE(g()->Field(1, 4), QStringLiteral("777"));
    }

    void emptyDisplayTextIsStoredAsNull() {
        open();
        enter(1, 2, "");
        QVERIFY(ed->SaveTable());
        QCOMPARE(db("select cat_id from buy where id = 5"), QList<QStringList>({{"<null>"}}));
    }

    void newForeignTextsFillKeyGaps() {
        open();
        g()->RowAddWithNum(5, 3);
        const QStringList cats{"衣料", "雑貨", "衣料"};
        for (int i = 0; i < 3; ++i) {
            enter(5 + i, 1, QStringLiteral("品%1").arg(i));
            enter(5 + i, 2, cats[i]);
            enter(5 + i, 3, "スーパー");
        }
        QVERIFY(ed->SaveTable());
        // keys 0, 1, 2 and 4 exist: the new texts take 3 and then 5, in text order
        QCOMPARE(db("select cat_id, cat_name from cat where cat_id in (3, 5) order by cat_id"),
                 QList<QStringList>({{"3", "衣料"}, {"5", "雑貨"}}));
        QCOMPARE(db("select id, cat_id from buy where id >= 10 order by id"),
                 QList<QStringList>({{"10", "3"}, {"11", "5"}, {"12", "3"}}));
    }

    void checksPaintTheCellRed_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("redRow");
        QTest::newRow("repeat") << 2 << 0 << "5"
                                << "このフィールドは重複が禁止されています" << 2;
        QTest::newRow("empty") << 3 << 1 << ""
                               << "このフィールドは空白が禁止されています" << 3;
        QTest::newRow("letters") << 4 << 4 << "abc"
                                 << "このフィールドは文字型のデータが禁止されています" << 4;
        QTest::newRow("too long") << 1 << 1 << "あいうえおかきくけこさ"
                                  << "保存できる文字の長さを超えました" << 1;
        QTest::newRow("shop empty") << 1 << 3 << ""
                                    << "このフィールドは空白が禁止されています" << 1;
    }
    void checksPaintTheCellRed() {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(int, redRow);
        open();
        g()->RowAddWithNum(5, 1); // a row whose key gets numbered, then emptied again
        enter(5, 1, "x");
        enter(5, 3, "スーパー");
        enter(row, col, value);
        QVERIFY(!ed->SaveTable());
        QCOMPARE(fake->messages(), QStringList{message});
        QCOMPARE(g()->model().cellColor(redRow, col), 0x0000FFu);
        QVERIFY(g()->RowIsVisible(redRow));
        bool numberedLeft = false;
        for (int r = 1; r < g()->MaxRow(); ++r)
            numberedLeft |= g()->Field(r, 0) == "10";
        QVERIFY(!numberedLeft);
        QCOMPARE(db("select count(*) from buy"), QList<QStringList>({{"4"}}));
        QVERIFY(g()->Enabled());
    }

    void textLengthCountsCharactersTwice() {
        open();
        enter(1, 1, "あいうえおかきくけこ"); // ten characters are 20 bytes: allowed
        QVERIFY(ed->SaveTable());
        QCOMPARE(fake->messages(), QStringList());
    }

    void keyLimit() {
        env->runSql({"insert into buy values (2147483647, 'max', 0, 1, 1)"});
        open();
        g()->RowAddWithNum(1, 1);
        enter(1, 1, "x");
        QVERIFY(!ed->SaveTable());
        QCOMPARE(
            fake->messages(),
            QStringList{"使用可能なキーの限界を超えています。キー番号を全て振り直して下さい。"});
        QVERIFY(g()->Redraw());
    }

    void failedMainBatchRollsBackEverything() {
        env->runSql({"create unique index buy_name on buy(name)"});
        open();
        enter(1, 1, "牛乳");   // the database refuses a second 牛乳
        enter(1, 2, "新分類"); // would add a category
        QVERIFY(!ed->SaveTable());
        // one message: what failed, why, that nothing was saved, then the
        // database's own words
        const QStringList m = fake->messages();
        QCOMPARE(m.size(), 1);
        QVERIFY(m[0].startsWith(QStringLiteral("メインテーブルの更新失敗！！\n")));
        QVERIFY(m[0].contains(QStringLiteral("入力内容はそのまま残っています。")));
        QVERIFY(m[0].contains("UNIQUE", Qt::CaseInsensitive));
        QCOMPARE(db("select count(*) from cat"), QList<QStringList>({{"4"}}));
        QVERIFY(g()->Enabled());
        QVERIFY(ed->isModified());
        // the edits are still there; fixed, the save goes through
        fake->clear();
        int r = 1;
        while (g()->Field(r, 0) != "5")
            ++r;
        QCOMPARE(g()->Field(r, 1), QStringLiteral("牛乳"));
        enter(r, 1, "食パン");
        QVERIFY(ed->SaveTable());
        QCOMPARE(db("select name, cat_id from buy where id = 5"),
                 QList<QStringList>({{"食パン", "3"}}) /* the first gap */);
        QCOMPARE(db("select count(*) from buy"), QList<QStringList>({{"4"}}));
    }

    void closeQuestion() {
        open();
        ed->close(); // unchanged: closes without asking
        QVERIFY(fake->shown.isEmpty());
        QTRY_VERIFY(ed.isNull());

        for (auto answer : {Dialogs::Answer::Cancel, Dialogs::Answer::No, Dialogs::Answer::Yes}) {
            open();
            enter(1, 4, "999");
            QVERIFY(ed->isModified());
            fake->clear();
            fake->questionAnswers = {answer};
            ed->close();
            QCOMPARE(fake->shown.size(), 1);
            QCOMPARE(fake->shown[0].text, QStringLiteral("保存しますか？？"));
            QVERIFY(fake->shown[0].title.endsWith("現在の件数：4の終了"));
            if (answer == Dialogs::Answer::Cancel) {
                QVERIFY(ed->isVisible());
                ed->setUnloadApproved();
                ed->close();
            }
            QTRY_VERIFY(ed.isNull());
            QCOMPARE(db("select price from buy where id = 5"),
                     QList<QStringList>({{answer == Dialogs::Answer::Yes ? "999" : "150"}}));
        }
    }

    void endingTheProgramAsksEachEditor() {
        auto* menu = new frmSelect;
        bool ended = false;
        setProgramEndHandler([&] { ended = true; });
        open();
        enter(1, 4, "1");
        fake->questionAnswers = {Dialogs::Answer::Cancel};
        menu->close();
        QVERIFY(!ended); // the user kept the editor: the program goes on
        QVERIFY(!ed.isNull() && ed->isVisible());
        QVERIFY(!menu->EndFlag());
        fake->questionAnswers = {Dialogs::Answer::No};
        menu->close();
        QVERIFY(ended);
        QVERIFY(ed.isNull());
        delete menu;
        env->startProgram(); // cleanup expects a program
    }

    void searchSortInsertReload() {
        open();
        fake->inputAnswers = {QStringLiteral("スーパー")};
        at(1, 0);
        ed->mnuEditSearch_Click();
        QCOMPARE(fake->shown[0].text, QStringLiteral("検索する文字列を指定して下さい。"));
        QCOMPARE(g()->row(), 3);
        QCOMPARE(g()->col(), 3);
        QVERIFY(ed->action("mnuEditSearchDown")->isEnabled());
        ed->mnuEditSearchDown_Click();
        QCOMPARE(g()->row(), 4);
        ed->mnuEditSearchDown_Click();
        QCOMPARE(g()->row(), 4);
        QCOMPARE(ed->statusText(), QStringLiteral("検索の結果見つかりませんんでした：スーパー"));
        ed->mnuEditSearchUp_Click();
        QCOMPARE(g()->row(), 3);
        QCOMPARE(ed->statusText(), QString());
        ed->FindText(true, "9"); // the hidden key 9 of row 3 is never found
        QCOMPARE(g()->row(), 4);
        QCOMPARE(g()->col(), 0);

        at(1, 4); // numbers: ascending first, then descending
        ed->mnuEditSort_Click();
        QCOMPARE(
            QStringList({g()->Field(1, 4), g()->Field(2, 4), g()->Field(3, 4), g()->Field(4, 4)}),
            QStringList({"", "150", "200", "500"}));
        ed->mnuEditSort_Click();
        QCOMPARE(g()->Field(1, 4), QStringLiteral("500"));

        fake->inputAnswers = {QStringLiteral("3")};
        at(2, 0);
        ed->mnuEditAddNum_Click();
        QCOMPARE(g()->MaxRow(), 8);
        QVERIFY(ed->windowTitle().endsWith("：7"));
        QCOMPARE(g()->Field(2, 1), QString());
        fake->inputAnswers = {QStringLiteral("three")};
        ed->mnuEditAddNum_Click();
        QCOMPARE(fake->messages().last(), QStringLiteral("不正な値：数字を指定してください。"));
        QCOMPARE(g()->MaxRow(), 8);

        fake->questionAnswers = {Dialogs::Answer::Yes};
        ed->mnuFileReRead_Click(); // confirmed: unsaved edits are gone
        QCOMPARE(fake->shown.last().kind, QStringLiteral("question"));
        QCOMPARE(g()->MaxRow(), 5);
        QVERIFY(!ed->isModified());
        QCOMPARE(g()->Field(1, 0), QStringLiteral("5"));
    }

    void detailsOfTheCurrentRow() {
        open();
        at(4, 1);
        ed->action("menuEditSyosai")->trigger();
        auto* table = ed->findChild<QTableWidget*>("detailTable");
        QVERIFY(table && table->isVisible());
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("品名"));
        QCOMPARE(table->item(1, 1)->text(), QStringLiteral("牛乳"));
        QCOMPARE(table->item(2, 1)->text(), QStringLiteral("食費"));
        ed->action("mnuFileClose")->trigger();
        QTRY_VERIFY(ed.isNull());
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
