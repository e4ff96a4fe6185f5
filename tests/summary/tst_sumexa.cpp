// The presets window, offscreen, with a summary window of its own: the
// standard presets, setting one, saving the current settings, renaming in
// place, deleting, two windows on one table, and what happens when the file
// cannot take a change.
#include "FakeDialogs.h"
#include "PresetLines.h"
#include "PresetStore.h"
#include "SumPresetsOwner.h"
#include "TestEnv.h"
#include "Typing.h"
#include "frmSumExa.h"
#include "modMorvi.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <functional>

namespace {
struct FakeOwner : SumPresetsOwner {
    int sumCol = 8;
    QString jp, sql;
    QStringList tables{QString()};
    QList<int> types;
    QStringList sets; // types|total|condition|SQL|tables of every SetSumSetting
    int returns = 0;
    std::function<void()> during; // runs inside ReturnSumSetting

    QString RetmStrFrTbls_data(int i) const override { return tables.value(i); }
    int RetmStrFrTbls_ubound() const override { return static_cast<int>(tables.size()) - 1; }
    void ReturnSumSetting(int& s, QString& j, QString& q) override {
        ++returns;
        if (during) during();
        s = sumCol;
        j = jp;
        q = sql;
    }
    void SetSumSetting(const QList<int>& t, int s, const QString& j, const QString& q,
                       const QStringList& tb) override {
        QStringList ts;
        for (int c : t)
            ts << QString::number(c);
        sets << QStringList{ts.join(','), QString::number(s), j, q, tb.join(',')}.join('|');
    }
    QList<int> TypeColumns() const override { return types; }
};

QString catalog() {
    QString ini = "[buy_tbl]\nTableJPName=購入テーブル\n";
    const char* names[] = {"番号",   "年",       "購入した月", "日",   "分類",
                           "購入店", "購入金額", "支払金額",   "品名", "備考"};
    for (int c = 1; c <= 10; ++c)
        ini += iniColumn(c, "f" + QString::number(c), QString::fromUtf8(names[c - 1]), c - 1,
                         c == 9 || c == 10 ? "eText" : "eInteger", c == 1 ? "MainKey=1" : "");
    ini += "[shop_tbl]\nTableJPName=購入店テーブル\n";
    ini += iniColumn(1, "shop_id", "購入店番号", 0, "eInteger", "MainKey=1");
    ini += iniColumn(2, "shop_name", "購入店名", 1, "eText");
    return ini;
}
} // namespace

class TestSumExa : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    FakeOwner owner, owner2;
    QList<QPointer<frmSumExa>> windows;

    template <typename T> T* child(frmSumExa* w, const char* name) {
        T* c = w->findChild<T*>(QLatin1String(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    QListWidget* list(frmSumExa* w) { return child<QListWidget>(w, "lstRng"); }
    QLineEdit* box(frmSumExa* w) { return child<QLineEdit>(w, "txtRngCng"); }
    QPushButton* button(frmSumExa* w, const char* name) { return child<QPushButton>(w, name); }
    QStringList titles(frmSumExa* w) {
        QStringList out;
        for (int i = 0; i < list(w)->count(); ++i)
            out << list(w)->item(i)->text();
        return out;
    }
    QByteArray read() const {
        QFile f(env->iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writePresets(const QString& presets) const {
        env->writeIni(catalog() + "[AppIni]\n" + presets);
    }
    QStringList stored(int table = 1, const QString& jp = "購入テーブル") const {
        PresetStore s(env->iniPath(), table, jp);
        s.load();
        return describePresets(s.presets());
    }
    frmSumExa* open(int table, int same, FakeOwner& o) {
        auto* w = new frmSumExa;
        windows << w;
        w->SetTblNumFrm(table, same, &o);
        w->show();
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w)) qWarning("window not active");
        return w;
    }
    void key(QWidget* target, int k) { QTest::keyClick(target, static_cast<Qt::Key>(k)); }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        fake = std::make_unique<FakeDialogs>();
        env->writeIni(catalog());
        env->runSql({"create table buy_tbl (f1 integer primary key)"});
        env->startProgram();
        owner = FakeOwner();
        owner2 = FakeOwner();
    }
    void cleanup() {
        for (auto& w : windows)
            delete w.data();
        windows.clear();
        env->stopProgram();
        fake.reset();
        env.reset();
    }

    void captionControlsAndStandardPresets_data() {
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("same");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("titles");
        const QStringList standard{"年ごとの総額", "年ごとで分類した総額", "月ごとで分類した総額"};
        QTest::newRow("purchase table")
            << 1 << 1 << "定番の集計方法をセット：購入テーブル" << standard;
        QTest::newRow("second window")
            << 1 << 2 << "定番の集計方法をセット：購入テーブル２" << standard;
        QTest::newRow("twelfth window, other table")
            << 2 << 12 << "定番の集計方法をセット：購入店テーブル１２" << QStringList{};
    }
    void captionControlsAndStandardPresets() {
        QFETCH(int, table);
        QFETCH(int, same);
        QFETCH(QString, caption);
        QFETCH(QStringList, titles);
        frmSumExa* w = open(table, same, owner);
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(this->titles(w), titles);
        QCOMPARE(button(w, "cmdSet")->text(), QStringLiteral("選択した集計設定をセット"));
        QCOMPARE(button(w, "cmdSave")->text(), QStringLiteral("現在の集計方法を追加して登録"));
        QCOMPARE(button(w, "cmdDel")->text(), QStringLiteral("削除"));
        QCOMPARE(child<QLabel>(w, "lblExplain")->text(),
                 QStringLiteral("リストをダブルクリックで名前変更"));
        QVERIFY(!box(w)->isVisible());
        QVERIFY(fake->messages().isEmpty());
        // Nothing is written until the user changes something.
        QCOMPARE(read(), cp932File(catalog()));
    }

    // "選択した集計設定をセット" hands the selected preset to the summary
    // window as it is stored; a preset naming no column of the table says so.
    void setHandsThePresetOver_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("message");
        QTest::newRow("standard, by year") << false << 0 << "2|7|||"
                                           << "";
        QTest::newRow("standard, by month") << false << 2 << "2,3,5|7|||"
                                            << "";
        QTest::newRow("stored condition and tables")
            << true << 0 << "5|8|分類 = '外食'|buy_tbl.category_id = 2|category_tbl"
            << "";
        QTest::newRow("without classification") << true << 1 << "-1|7|||"
                                                << "";
        QTest::newRow("column the table lacks")
            << true << 2 << ""
            << "集計設定「壊れた」は、合計する項目の番号「11」がこの表の項目を指していないため、"
               "セットできません。";
        QTest::newRow("nothing selected") << true << -1 << ""
                                          << "";
    }
    void setHandsThePresetOver() {
        QFETCH(bool, stored);
        QFETCH(int, row);
        QFETCH(QString, set);
        QFETCH(QString, message);
        if (stored)
            writePresets(presetLines(1, 0, "外食", {"5"}, "8", "分類 = '外食'",
                                     " buy_tbl.category_id = 2", {"category_tbl"}) +
                         presetLines(1, 1, "全部", {"-1"}, "7") +
                         presetLines(1, 2, "壊れた", {"2"}, "11"));
        frmSumExa* w = open(1, 1, owner);
        list(w)->setCurrentRow(row);
        button(w, "cmdSet")->click();
        QCOMPARE(owner.sets, set.isEmpty() ? QStringList{} : QStringList{set});
        QCOMPARE(fake->messages(), message.isEmpty() ? QStringList{} : QStringList{message});
    }

    // "現在の集計方法を追加して登録" stores the summary window's settings
    // under a new title; the standard presets reach the file with it.
    void saveStoresTheCurrentSettings() {
        frmSumExa* w = open(1, 1, owner);
        list(w)->setCurrentRow(1);
        owner.types = {2, 5};
        owner.sumCol = 8;
        owner.jp = "年 = '2024'";
        owner.sql = " buy_tbl.f2 = '2024'";
        owner.tables = {"category_tbl", "shop_tbl"};
        button(w, "cmdSave")->click();
        owner.types = {};
        owner.jp = owner.sql = QString();
        owner.tables = {QString()};
        button(w, "cmdSave")->click();
        const QStringList all{"年ごとの総額|2|7|||", "年ごとで分類した総額|2,5|7|||",
                              "月ごとで分類した総額|2,3,5|7|||",
                              "設定中の集計設定|2,5|8|年 = '2024'|buy_tbl.f2 = '2024'|"
                              "category_tbl,shop_tbl",
                              "設定中の集計設定：２|-1|8|||"};
        QCOMPARE(stored(), all);
        QCOMPARE(titles(w).last(), QStringLiteral("設定中の集計設定：２"));
        QCOMPARE(titles(w).size(), 5);
        QCOMPARE(list(w)->currentRow(), 1);
        QVERIFY(fake->messages().isEmpty());
    }

    void ninetyNinePresetsAtMost() {
        QString presets;
        for (int p = 0; p < 99; ++p)
            presets += presetLines(1, p, "p" + QString::number(p), {"2"}, "7");
        writePresets(presets);
        const QByteArray before = read();
        frmSumExa* w = open(1, 1, owner);
        button(w, "cmdSave")->click();
        QCOMPARE(fake->messages(), QStringList{"これ以上登録できません。"});
        QCOMPARE(titles(w).size(), 99);
        QCOMPARE(read(), before);
    }

    // Renaming in place: started by Enter or a double click, stored by Enter
    // or by leaving the box, given up by Escape; the list keeps its selected
    // item and its scroll position.
    void rename_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("stores");
        QTest::newRow("Enter, Enter") << "enter"
                                      << "enter" << true;
        QTest::newRow("double click, Enter") << "double"
                                             << "enter" << true;
        QTest::newRow("Enter, Escape") << "enter"
                                       << "escape" << false;
        QTest::newRow("double click, focus elsewhere") << "double"
                                                       << "focus" << true;
        QTest::newRow("Enter, window closed") << "enter"
                                              << "close" << true;
    }
    void rename() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, stores);
        QString presets;
        for (int p = 0; p < 40; ++p)
            presets += presetLines(1, p, "設定" + QString::number(p), {"2"}, "7");
        writePresets(presets);
        const QByteArray before = read();
        frmSumExa* w = open(1, 1, owner);
        QListWidget* l = list(w);
        l->setCurrentRow(20);
        l->verticalScrollBar()->setValue(15);
        l->setFocus();
        if (start == "enter") {
            key(l, Qt::Key_Return);
        } else {
            const QRect r = l->visualItemRect(l->item(20));
            // a double click as a mouse gives it: a click, then the double click
            QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, r.center());
            QTest::mouseDClick(l->viewport(), Qt::LeftButton, {}, r.center());
        }
        QVERIFY(box(w)->isVisible());
        QVERIFY(box(w)->hasFocus());
        QCOMPARE(box(w)->text(), QStringLiteral("設定20"));
        QCOMPARE(box(w)->cursorPosition(), 4);
        box(w)->selectAll();
        typeText(" 外食の合計 ");
        if (end == "enter")
            key(box(w), Qt::Key_Return);
        else if (end == "escape")
            key(box(w), Qt::Key_Escape);
        else if (end == "close")
            w->close();
        else
            button(w, "cmdSet")->setFocus();
        QVERIFY(!box(w)->isVisible());
        if (end != "focus" && end != "close") QVERIFY(l->hasFocus());
        QCOMPARE(w->isVisible(), end != "close");
        const QString title = stores ? "外食の合計" : "設定20";
        QCOMPARE(l->item(20)->text(), title);
        QCOMPARE(stored().value(20), title + "|2|7|||");
        if (!stores) QCOMPARE(read(), before);
        QCOMPARE(l->currentRow(), 20);
        QCOMPARE(l->verticalScrollBar()->value(), 15);
        QVERIFY(owner.sets.isEmpty());
        QVERIFY(fake->messages().isEmpty());
    }

    // A name the file could not give back whole is refused; the box keeps it
    // for mending until Escape gives it up.
    void refusedNameStaysInTheBox() {
        frmSumExa* w = open(1, 1, owner);
        list(w)->setCurrentRow(0);
        key(list(w), Qt::Key_Return);
        const QString name(350, QChar(0x3042));
        box(w)->setText(name);
        key(box(w), Qt::Key_Return);
        QCOMPARE(fake->messages(), QStringList{"名前が長すぎるため登録できません。"
                                               "名前は半角599文字（全角299文字）までです。"});
        QVERIFY(box(w)->isVisible());
        QCOMPARE(box(w)->text(), name);
        QCOMPARE(read(), cp932File(catalog()));
        key(box(w), Qt::Key_Escape);
        QVERIFY(!box(w)->isVisible());
        QCOMPARE(titles(w).first(), QStringLiteral("年ごとの総額"));
        QCOMPARE(read(), cp932File(catalog()));
    }

    void deleteKeepsTheSelectionInTheList() {
        frmSumExa* w = open(1, 1, owner);
        list(w)->setCurrentRow(2);
        button(w, "cmdDel")->click();
        QCOMPARE(titles(w), QStringList({"年ごとの総額", "年ごとで分類した総額"}));
        QCOMPARE(list(w)->currentRow(), 1);
        QCOMPARE(stored(), QStringList({"年ごとの総額|2|7|||", "年ごとで分類した総額|2,5|7|||"}));
        list(w)->setCurrentRow(0);
        button(w, "cmdDel")->click();
        QCOMPARE(titles(w), QStringList{"年ごとで分類した総額"});
        QCOMPARE(list(w)->currentRow(), 0);
    }

    // Two summary windows of one table: a change in either presets window
    // shows in the other, and nothing one saved is lost by the other.
    void twoWindowsOfOneTable() {
        frmSumExa* a = open(1, 1, owner);
        frmSumExa* b = open(1, 2, owner2);
        list(b)->setCurrentRow(1);
        owner.types = {3};
        button(a, "cmdSave")->click();
        QCOMPARE(titles(b).size(), 4);
        QCOMPARE(list(b)->currentRow(), 1);
        owner2.types = {5};
        button(b, "cmdSave")->click();
        QCOMPARE(titles(a).last(), QStringLiteral("設定中の集計設定：２"));
        list(a)->setCurrentRow(0);
        button(a, "cmdDel")->click();
        QCOMPARE(titles(b), titles(a));
        QCOMPARE(list(b)->currentRow(), 1);
        QCOMPARE(stored(),
                 QStringList({"年ごとで分類した総額|2,5|7|||", "月ごとで分類した総額|2,3,5|7|||",
                              "設定中の集計設定|3|8|||", "設定中の集計設定：２|5|8|||"}));
    }

    // A rename left open in one window after the other deleted presets
    // renames the preset it was started on.
    void renameFollowsItsPresetAcrossWindows() {
        frmSumExa* a = open(1, 1, owner);
        frmSumExa* b = open(1, 2, owner2);
        a->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(a));
        list(a)->setCurrentRow(1);
        key(list(a), Qt::Key_Return);
        box(a)->setText("分類ごと");
        list(b)->setCurrentRow(0);
        button(b, "cmdDel")->click(); // no focus change: the box stays open
        QCOMPARE(list(a)->currentRow(), 1);
        key(box(a), Qt::Key_Return);
        QCOMPARE(titles(b), QStringList({"分類ごと", "月ごとで分類した総額"}));
    }

    // A second click reaching the window while a save is under way (events
    // run inside the summary window) is turned away.
    void secondClickDuringASaveIsTurnedAway() {
        frmSumExa* w = open(1, 1, owner);
        list(w)->setCurrentRow(0);
        bool clicked = false;
        owner.during = [&] {
            if (std::exchange(clicked, true)) return;
            button(w, "cmdSave")->click();
            button(w, "cmdDel")->click();
        };
        button(w, "cmdSave")->click();
        QCOMPARE(owner.returns, 1);
        QCOMPARE(titles(w).size(), 4);
        QCOMPARE(stored().size(), 4);
    }

    void failedWriteKeepsTheList() {
        frmSumExa* w = open(1, 1, owner);
        list(w)->setCurrentRow(0);
        QVERIFY(QFile::rename(env->iniPath(), env->iniPath() + ".away"));
        button(w, "cmdDel")->click();
        QCOMPARE(fake->messages().size(), 1);
        QVERIFY(fake->messages().first().startsWith(
            "集計設定をINIファイルに書き込めませんでした。ファイルと集計設定は元のままです。"));
        QCOMPARE(titles(w).size(), 3);
        QVERIFY(!QFile::exists(env->iniPath()));
    }

    void userCloseOnlyHides() {
        frmSumExa* w = open(1, 1, owner);
        list(w)->setCurrentRow(1);
        w->close();
        QVERIFY(!w->isVisible());
        w->SetTblNumFrm(1, 1, &owner);
        w->show();
        QCOMPARE(list(w)->currentRow(), 1);
        w->Unload();
        QVERIFY(!w->isVisible());
    }
};

QTEST_MAIN(TestSumExa)
#include "tst_sumexa.moc"
