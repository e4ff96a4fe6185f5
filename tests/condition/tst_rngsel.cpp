// The condition editor window, offscreen: lists, marked items in the text
// box under keys, input-method text and pasting, the timer, and what reaches
// the owner.
#include "CondTextBox.h"
#include "FakeDialogs.h"
#include "RellmarkConditionLookup.h"
#include "RngSelOwner.h"
#include "TestEnv.h"
#include "frmRngSel.h"
#include "modMorvi.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QStringListModel>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {
struct FakeOwner : RngSelOwner {
    QList<QStringList> calls; // text, SQL, tables joined by "|"
    std::function<void()> during;
    void PutSQLWhere(const QString& strJpSql, const QString& strSql,
                     const QStringList& strTbls) override {
        calls << QStringList{strJpSql, strSql, strTbls.join(QLatin1Char('|'))};
        if (during) during();
    }
};

// The program's lookups, counted.
struct CountingLookup : ConditionLookup {
    RellmarkConditionLookup real;
    int valueQueries = 0;
    int keyQueries = 0;
    QVariant foreignKey(const ColumnDef& c, const QString& v) override {
        ++keyQueries;
        return real.foreignKey(c, v);
    }
    QStringList columnValues(const QString& s) override {
        ++valueQueries;
        return real.columnValues(s);
    }
    QString explainFailure(const QString& s, const ColumnDefs& c, int n) override {
        return real.explainFailure(s, c, n);
    }
};
} // namespace

class TestRngSel : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    FakeOwner owner;
    CountingLookup counting;
    QPointer<frmRngSel> w;

    template <typename T> T* child(const char* name) {
        T* c = w->findChild<T*>(QLatin1String(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    CondTextBox* box() { return child<CondTextBox>("RchCond"); }
    QListWidget* types() { return child<QListWidget>("lstType"); }
    QListView* datas() { return child<QListView>("lstDatas"); }
    QStringList dataTexts() {
        return static_cast<QStringListModel*>(datas()->model())->stringList();
    }
    QPushButton* add() { return child<QPushButton>("cmdAdd"); }
    QTimer* timer() { return child<QTimer>("timInput"); }

    void open(int table = 1, int same = 1) {
        w = new frmRngSel;
        w->mTableNum = static_cast<qint16>(table);
        w->mSameTblNum = static_cast<qint16>(same);
        w->SetSqlStr(QString());
        w->SetParent(&owner);
        w->setLookup(&counting);
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        box()->setFocus();
    }

    // The text with every run of marked characters in brackets; a character
    // that is red but not bold (or bold but not red) shows as "?".
    QString rich() {
        QTextDocument* d = box()->document();
        const QString t = box()->toPlainText();
        QString out;
        bool in = false;
        for (int i = 0; i < t.size(); ++i) {
            bool red = false, bold = false;
            if (t[i] != QLatin1Char('\n')) {
                QTextCursor c(d);
                c.setPosition(i + 1);
                const QTextCharFormat f = c.charFormat();
                red = f.foreground().style() != Qt::NoBrush &&
                      f.foreground().color() == QColor(255, 0, 0);
                bold = f.fontWeight() == QFont::Bold;
            }
            if (red != bold) return QStringLiteral("?");
            if (red && !in) out += QLatin1Char('[');
            if (!red && in) out += QLatin1Char(']');
            in = red;
            out += t[i];
        }
        if (in) out += QLatin1Char(']');
        return out;
    }

    void chooseType(const QString& jp) {
        const auto found = types()->findItems(jp, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        types()->setCurrentItem(found.first());
    }
    void chooseValue(const QString& v) {
        const int row = static_cast<int>(dataTexts().indexOf(v));
        QVERIFY(row >= 0);
        datas()->setCurrentIndex(datas()->model()->index(row, 0));
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, k, m, text);
        QApplication::sendEvent(box(), &press);
        QKeyEvent release(QEvent::KeyRelease, k, m, text);
        QApplication::sendEvent(box(), &release);
    }
    void type(const QString& text) {
        for (const QChar ch : text)
            key(0, Qt::NoModifier, QString(ch));
    }
    void commit(const QString& text) {
        QInputMethodEvent e;
        e.setCommitString(text);
        QApplication::sendEvent(box(), &e);
    }
    void caret(int from, int to) {
        QTextCursor c = box()->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        box()->setTextCursor(c);
    }

    // Steps separated by "|": i:<column> inserts a column name, v:<column>=<value>
    // a value, t:<text> types, ime:<text> commits input-method text, c:<n> or
    // c:<from>-<to> places the caret or selects, k:<key> presses a key.
    void run(const QString& script) {
        for (const QString& step : script.split(QLatin1Char('|'))) {
            const qsizetype colon = step.indexOf(QLatin1Char(':'));
            const QString op = step.left(colon), arg = step.mid(colon + 1);
            if (op == "i") {
                chooseType(arg);
                QTest::mouseClick(add(), Qt::LeftButton);
            } else if (op == "v") {
                chooseType(arg.section('=', 0, 0));
                chooseValue(arg.section('=', 1));
                QTest::mouseClick(add(), Qt::LeftButton);
            } else if (op == "t") {
                type(arg);
            } else if (op == "ime") {
                commit(arg);
            } else if (op == "c") {
                const QStringList r = arg.split('-');
                caret(r[0].toInt(), r.value(1, r[0]).toInt());
            } else if (op == "k") {
                static const QHash<QString, QPair<int, Qt::KeyboardModifiers>> keys = {
                    {"BS", {Qt::Key_Backspace, Qt::NoModifier}},
                    {"Del", {Qt::Key_Delete, Qt::NoModifier}},
                    {"Enter", {Qt::Key_Return, Qt::NoModifier}},
                    {"Left", {Qt::Key_Left, Qt::NoModifier}},
                    {"Undo", {Qt::Key_Z, Qt::ControlModifier}},
                    {"Redo", {Qt::Key_Y, Qt::ControlModifier}},
                    {"Cut", {Qt::Key_X, Qt::ControlModifier}},
                    {"Paste", {Qt::Key_V, Qt::ControlModifier}},
                    {"CtrlBS", {Qt::Key_Backspace, Qt::ControlModifier}},
                };
                QVERIFY2(keys.contains(arg), qPrintable(arg));
                key(keys[arg].first, keys[arg].second);
            } else {
                QFAIL(qPrintable("unknown step " + step));
            }
        }
    }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        QString ini = "[buy]\nTableJPName=購入\n";
        ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
        ini += iniColumn(2, "y", "年", 1, "eText");
        ini += iniColumn(3, "m", "購入した月", 2, "eSmallint");
        ini += iniColumn(4, "cat_id", "分類", 3, "eInteger",
                         "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                         "GaibuTableColeDataType=eText");
        ini += iniColumn(5, "amount", "購入金額", 4, "eInteger");
        ini += "[cat]\nTableJPName=分類\n" +
               iniColumn(1, "cat_id", "番号", 0, "eInteger", "MainKey=1") +
               iniColumn(2, "cat_name", "分類名", 1, "eText");
        // a catalog naming a column that the foreign table lacks
        ini += "[broken]\nTableJPName=壊れた\n" +
               iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1") +
               iniColumn(2, "cat_id", "分類", 1, "eInteger",
                         "GaibuTableName=cat;GaibuTableColName=cat_title;GaibuTableColKey=cat_id;"
                         "GaibuTableColeDataType=eText");
        env->writeIni(ini);
        env->runSql({"create table buy (id integer primary key, y text, m integer, cat_id "
                     "integer, amount integer)",
                     "create table cat (cat_id integer primary key, cat_name text)",
                     "create table broken (id integer primary key, cat_id integer)",
                     "insert into cat values (1, '食費'), (2, '外食'), (3, 'ペット')",
                     "insert into buy values (1, '2024', 1, 1, 150), (2, '2023', 2, 2, 980), "
                     "(3, '2024', 2, 1, 150), (4, null, 1, 9, 20)"});
        env->startProgram();
        owner.calls.clear();
        owner.during = nullptr;
        counting.valueQueries = counting.keyQueries = 0;
    }
    void cleanup() {
        delete w;
        env->stopProgram();
        fake.reset();
        env.reset();
    }

    void loadsColumnsCaptionAndFixedTexts() {
        open();
        QCOMPARE(w->windowTitle(), QStringLiteral("集計対象の条件を指定(購入 )"));
        QStringList names;
        for (int i = 0; i < types()->count(); ++i)
            names << types()->item(i)->text();
        QCOMPARE(names, QStringList({"番号", "年", "購入した月", "分類", "購入金額"}));
        QVERIFY(dataTexts().isEmpty());
        QVERIFY(!add()->isEnabled());
        QCOMPARE(add()->text(), QStringLiteral("挿入"));
        QCOMPARE(box()->toPlainText(), QString());
        QCOMPARE(timer()->interval(), 5000);
        QVERIFY(!timer()->isActive());
        const QList<QPair<const char*, QString>> labels = {
            {"lblTypes", "項目"},
            {"lblDatas", "含まれる値"},
            {"lblSample", "記入サンプル："},
            {"lblSample11", "購入金額 >= 0 AND 購入金額 <= 2000"},
            {"lblSample12", "→"},
            {"lblSample13", "金額が０～２０００円の項目を集計"},
            {"lblSample21", "年 >= '2024' AND (購入した月 = 1 OR 購入した月 = 2)"},
            {"lblSample22", "→"},
            {"lblSample23", "２０２４年以降で１月または２月の項目を集計"},
            {"lblSample31", "分類 <> '住居費'"},
            {"lblSample33", "住居費以外の項目を集計"}};
        for (const auto& [name, text] : labels)
            QCOMPARE(child<QLabel>(name)->text(), text);
        QVERIFY(fake->shown.isEmpty());
        delete w;
        open(1, 12);
        QCOMPARE(w->windowTitle(), QStringLiteral("集計対象の条件を指定(購入 )１２"));
    }

    void valueLists_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("text column, sorted, NULL as empty")
            << "年" << QStringList({"", "2023", "2024"});
        QTest::newRow("number column") << "購入金額" << QStringList({"20", "150", "980"});
        QTest::newRow("foreign column shows the foreign texts")
            << "分類" << QStringList({"ペット", "外食", "食費"});
    }
    void valueLists() {
        QFETCH(QString, column);
        open();
        chooseType(column);
        QTEST(dataTexts(), "values");
        QVERIFY(add()->isEnabled());
        QCOMPARE(counting.valueQueries, 1);
        // choosing a value clears the column's selection without reading again
        datas()->setCurrentIndex(datas()->model()->index(1, 0));
        QVERIFY(types()->selectedItems().isEmpty());
        QVERIFY(add()->isEnabled());
        chooseType(column);
        QCOMPARE(counting.valueQueries, 1);
        QVERIFY(datas()->selectionModel()->selectedRows().isEmpty());
        chooseType("番号");
        QCOMPARE(counting.valueQueries, 2);
    }

    void listFailureGoesToTheStatusBar() {
        open(3);
        chooseType("分類");
        QVERIFY(w->statusText().contains("cat_title"));
        QVERIFY(dataTexts().isEmpty());
        QVERIFY(fake->shown.isEmpty());
        // the window goes on
        chooseType("番号");
        QCOMPARE(dataTexts(), QStringList());
        run("i:番号|t: = 1");
        timer()->setInterval(10);
        QTRY_COMPARE(owner.calls.size(), 1);
        QCOMPARE(owner.calls[0][1], QStringLiteral(" broken.id = 1"));
    }

    void insertingItems_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("column name") << "i:購入金額"
                                     << "[購入金額]";
        QTest::newRow("text value is quoted") << "v:年=2024"
                                              << "['2024']";
        QTest::newRow("number value bare") << "v:購入金額=980"
                                           << "[980]";
        QTest::newRow("foreign text is quoted") << "v:分類=外食"
                                                << "['外食']";
        QTest::newRow("at the caret, no selection replaced") << "t:ab|c:0-1|i:年"
                                                             << "[年]ab";
        QTest::newRow("a condition") << "i:年|t: = |v:年=2023|t: and |i:分類|t: <> |v:分類=食費"
                                     << "[年] = ['2023'] and [分類] <> ['食費']";
    }
    void insertingItems() {
        QFETCH(QString, script);
        open();
        run(script);
        QTEST(rich(), "expected");
        QVERIFY(timer()->isActive());
    }

    void doubleClickInserts() {
        open();
        chooseType("年");
        const QRect r = types()->visualItemRect(types()->currentItem());
        QTest::mouseClick(types()->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(types()->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(rich(), QStringLiteral("[年]"));
        chooseValue("2023");
        const QRect v = datas()->visualRect(datas()->currentIndex());
        QTest::mouseClick(datas()->viewport(), Qt::LeftButton, {}, v.center());
        QTest::mouseDClick(datas()->viewport(), Qt::LeftButton, {}, v.center());
        QCOMPARE(rich(), QStringLiteral("[年'2023']"));
    }

    void editingNextToItems_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Backspace behind an item removes it whole") << "t:x |i:購入金額|k:BS"
                                                                   << "x ";
        QTest::newRow("Backspace behind text removes one character") << "i:年|t: =1|k:BS"
                                                                     << "[年] =";
        QTest::newRow("Backspace inside an item removes it whole") << "t:a|i:購入金額|t:b|c:3|k:BS"
                                                                   << "ab";
        QTest::newRow("typing inside an item is refused") << "i:購入金額|c:2|t:z"
                                                          << "[購入金額]";
        QTest::newRow("Enter inside an item is refused") << "i:購入金額|c:2|k:Enter"
                                                         << "[購入金額]";
        QTest::newRow("typing at the start of an item is ordinary") << "i:購入金額|c:0|t:("
                                                                    << "([購入金額]";
        QTest::newRow("typing behind an item is ordinary") << "i:年|t:>="
                                                           << "[年]>=";
        QTest::newRow("items side by side are one item") << "i:年|i:分類|c:1|t: "
                                                         << "[年分類]";
        QTest::newRow("Delete over an item and text removes the item only")
            << "t:ab|i:年|t:cd|c:1-4|k:Del"
            << "abcd";
        QTest::newRow("a selection through an item removes all of it")
            << "t:a |i:購入金額|t: b|c:4-8|k:BS"
            << "a  b";
        QTest::newRow("Delete over text alone acts as usual") << "t:abcd|i:年|c:1-3|k:Del"
                                                              << "ad[年]";
        QTest::newRow("typing over a selection with an item is refused") << "t:ab|i:年|c:1-3|t:z"
                                                                         << "ab[年]";
        QTest::newRow("typing over ordinary text replaces it") << "t:abc|i:年|c:0-2|t:z"
                                                               << "zc[年]";
        QTest::newRow("line ends are ordinary text") << "i:年|k:Enter|t:x"
                                                     << "[年]\nx";
        QTest::newRow("input method text behind an item") << "i:年|ime:＝"
                                                          << "[年]＝";
        QTest::newRow("input method text inside an item is refused") << "i:購入金額|c:2|ime:日本"
                                                                     << "[購入金額]";
        QTest::newRow("input method text over a selection with an item is refused")
            << "t:ab|i:年|c:1-3|ime:日本"
            << "ab[年]";
        QTest::newRow("input method text before an item") << "i:年|c:0|ime:（"
                                                          << "（[年]";
        QTest::newRow("cut takes items whole") << "t:a|i:購入金額|t:b|c:0-3|k:Cut"
                                               << "b";
        QTest::newRow("word deletion takes items whole") << "t:a |i:購入金額|k:CtrlBS"
                                                         << "a ";
        QTest::newRow("undo brings an item back whole") << "t:a|i:購入金額|t:b|c:5|k:BS|k:Undo"
                                                        << "a[購入金額]b";
        QTest::newRow("undo of an insert takes it away whole") << "t:a|i:購入金額|k:Undo"
                                                               << "a";
    }
    void itemsStayWhole_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("an insert in front of an item leaves it whole") << "i:購入金額|c:0|i:年"
                                                                       << "[年購入金額]";
        QTest::newRow("typing after an insert keeps the next character") << "t:x|c:0|i:年|t:="
                                                                         << "[年]=x";
        QTest::newRow("Delete in front of an item removes it whole") << "t:a |i:購入金額|c:2|k:Del"
                                                                     << "a ";
        QTest::newRow("Delete behind an item removes the next character")
            << "t:a|i:年|t:bc|c:2|k:Del"
            << "a[年]c";
        QTest::newRow("Backspace at the start leaves the item after it") << "i:年|c:0|k:BS"
                                                                         << "[年]";
    }
    void itemsStayWhole() {
        QFETCH(QString, script);
        open();
        run(script);
        QTEST(rich(), "expected");
    }

    // A key that reaches the box while the owner is still taking a condition
    // (a message box of the owner lets events in) must not wait for it: the
    // owner is further up the same call stack.
    void keysDuringATranslationDoNotHang() {
        open();
        run("i:番号|t: = 1");
        owner.during = [this] { type("9"); };
        w->ForceSetSql();
        QCOMPARE(owner.calls.size(), 1);
        QCOMPARE(rich(), QStringLiteral("[番号] = 1"));
        owner.during = nullptr;
        run("t:2");
        w->ForceSetSql();
        QCOMPARE(owner.calls.last()[1], QStringLiteral(" buy.id = 12"));
    }

    void editingNextToItems() {
        QFETCH(QString, script);
        open();
        run(script);
        QTEST(rich(), "expected");
    }

    void pasteIsPlainOrdinaryText() {
        open();
        auto* md = new QMimeData;
        md->setHtml("<b style='color:#ff0000'>赤い</b>");
        md->setText("赤い");
        QApplication::clipboard()->setMimeData(md);
        run("i:購入金額|c:2|k:Paste");
        QCOMPARE(rich(), QStringLiteral("[購入金額]"));
        run("c:4|k:Paste");
        QCOMPARE(rich(), QStringLiteral("[購入金額]赤い"));
        QApplication::clipboard()->setText("x\r\ny");
        run("c:0|k:Paste");
        QCOMPARE(rich(), QStringLiteral("x\ny[購入金額]赤い"));
        QCOMPARE(box()->conditionText(), QStringLiteral("x\r\ny購入金額赤い"));
    }

    void inputMethodCompositionRestartsTheTimer() {
        open();
        run("i:購入金額|t: >= ");
        timer()->stop();
        QInputMethodEvent pre(QStringLiteral("いち"), {});
        QApplication::sendEvent(box(), &pre);
        QVERIFY(timer()->isActive());
        timer()->stop();
        commit(QStringLiteral("100"));
        QVERIFY(timer()->isActive());
        QCOMPARE(rich(), QStringLiteral("[購入金額] >= 100"));
    }

    void compositionNextToAnItemIsShownOrdinary() {
        open();
        run("i:購入金額|c:0");
        QTextCharFormat underline;
        underline.setFontUnderline(true);
        QInputMethodEvent pre(QStringLiteral("かいもの"),
                              {{QInputMethodEvent::TextFormat, 0, 4, underline}});
        QApplication::sendEvent(box(), &pre);
        QTextLayout* layout = box()->document()->firstBlock().layout();
        QCOMPARE(layout->preeditAreaText(), QStringLiteral("かいもの"));
        bool covered = false;
        for (const QTextLayout::FormatRange& r : layout->formats()) {
            if (r.start > 0) continue; // the preedit stands at the start
            covered = true;
            QVERIFY(r.format.foreground().color() != QColor(255, 0, 0));
            QCOMPARE(r.format.fontWeight(), int(QFont::Normal));
        }
        QVERIFY(covered);
    }

    void translationAfterThePause() {
        open();
        timer()->setInterval(20);
        run("i:年|t: = |v:年=2024|t: and |i:分類|t: = |v:分類=外食");
        QVERIFY(timer()->isActive());
        QTRY_COMPARE(owner.calls.size(), 1);
        QCOMPARE(owner.calls[0], QStringList({"年 = '2024' and 分類 = '外食'",
                                              " buy.y = '2024' and buy.cat_id = 2", ""}));
        QCOMPARE(w->statusText(), QString());
        QVERIFY(!timer()->isActive());
        run("t: and");
        QTRY_COMPARE(w->statusText(), QStringLiteral("右側に式無いandです :and"));
        QTest::qWait(50);
        QCOMPARE(owner.calls.size(), 1);
        run("k:BS|k:BS|k:BS|k:BS|k:Enter");
        QTRY_COMPARE(owner.calls.size(), 1);
        QTRY_COMPARE(w->statusText(), QStringLiteral("条件ではない文字があります :\r\n"));
    }

    void setJpSqlTranslatesAtOnce_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("sql");
        QTest::newRow("valid, lines kept") << "購入金額 >= 100\r\nand 分類 = '食費'"
                                           << ""
                                           << " buy.amount >= 100 and buy.cat_id = 1";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("error") << "購入金額 = 'x'"
                               << "購入金額には無効な指定のデータ型です :  'x'"
                               << "";
        // read as typed, never as plain text would give it
        QTest::newRow("no-break space")
            << QStringLiteral("年 = '20\u00A024'") << "" << QStringLiteral(" buy.y = '20\u00A024'");
        QTest::newRow("line separator")
            << QStringLiteral("年 = 'a\u2028b'") << "" << QStringLiteral(" buy.y = 'a\u2028b'");
        QTest::newRow("missing foreign text") << "分類 = '家賃'"
                                              << "指定のデータは外部テーブルに存在しません。 '家賃'"
                                              << "";
    }
    void setJpSqlTranslatesAtOnce() {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, sql);
        // the owner hands a stored condition to a window not shown yet
        w = new frmRngSel;
        w->mTableNum = 1;
        w->SetSqlStr(QString());
        w->SetParent(&owner);
        w->setLookup(&counting);
        QVERIFY(!w->isLoaded());
        w->SetJpSql(text);
        QVERIFY(w->isLoaded());
        QVERIFY(!w->isVisible());
        QCOMPARE(w->statusText(), message);
        if (message.isEmpty()) {
            QCOMPARE(owner.calls, QList<QStringList>({{text, sql, ""}}));
        } else {
            QVERIFY(owner.calls.isEmpty());
        }
        QCOMPARE(box()->conditionText(), text);
        QVERIFY(!rich().contains('['));
        QVERIFY(!box()->document()->isUndoAvailable());
        // ForceSetSql translates what stands there now
        owner.calls.clear();
        w->ForceSetSql();
        QCOMPARE(owner.calls.size(), message.isEmpty() ? 1 : 0);
    }

    void lookupFailureGoesToTheStatusBar() {
        open(3);
        w->SetJpSql("番号 = 1 and 分類 = '食費'");
        QCOMPARE(
            w->statusText(),
            QStringLiteral("データベースのテーブル「cat」に列「cat_title」がありません：[broken] "
                           "COL( 02 )GaibuTableColName = cat_title"));
        QCOMPARE(child<QLabel>("sbaStatusPanel")->textFormat(), Qt::PlainText);
        QVERIFY(owner.calls.isEmpty());
        QVERIFY(fake->shown.isEmpty());
        w->SetJpSql("番号 = 1");
        QCOMPARE(owner.calls.size(), 1);
    }

    void closingOnlyHides() {
        open();
        run("i:年|t: = '2024'");
        w->close();
        QVERIFY(w);
        QVERIFY(!w->isVisible());
        QVERIFY(fake->shown.isEmpty());
        // a condition that does not translate is told of as the window goes
        w->show();
        run("t: and");
        w->close();
        QVERIFY(!w->isVisible());
        QCOMPARE(fake->messages(),
                 QStringList{"条件が正しくないため、集計には前の条件が使われます。\n"
                             "右側に式無いandです :and"});
        run("k:BS|k:BS|k:BS|k:BS");
        w->show();
        QCOMPARE(rich(), QStringLiteral("[年] = '2024'"));
        w->Unload();
        QVERIFY(!w->isVisible());
        QVERIFY(w);
    }
};

QTEST_MAIN(TestRngSel)
#include "tst_rngsel.moc"
