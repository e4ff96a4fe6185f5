#include "Catalog.h"
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "QtJapanese.h"
#include "TestEnv.h"
#include "clsRellmark.h"
#include "frmInput.h"
#include "frmRngSel.h"
#include "frmSelect.h"
#include "frmSum.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

using namespace modMorvi;

class TestMainMenu : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    frmSelect* menu = nullptr;
    bool ended = false;

    QStringList tags() const {
        QStringList t;
        for (QWidget* w : Forms::all())
            t << Forms::tag(w);
        return t;
    }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        QString ini = "[AppIni]\nx=1\n";
        for (const char* t : {"t_one", "t_two", "t_three"})
            ini += QStringLiteral("[%1]\nTableJPName=表%1\n").arg(t) +
                   iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
        ini += "[t_noname]\n" + iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
        env->writeIni(ini);
        env->runSql({"create table t_one (id integer primary key)",
                     "create table t_two (id integer primary key)",
                     "create table t_three (id integer primary key)",
                     "create table t_noname (id integer primary key)"});
        env->startProgram();
        ended = false;
        setProgramEndHandler([this] { ended = true; });
        menu = new frmSelect;
        menu->show();
    }
    void cleanup() {
        for (QWidget* w : Forms::all())
            delete w;
        if (objDB) env->stopProgram();
        fake.reset();
        env.reset();
    }

    void listsTablesByJapaneseName() {
        QCOMPARE(menu->windowTitle(), QStringLiteral("編集するテーブルの選択"));
        QCOMPARE(menu->cmdShow->text(), QStringLiteral("編集"));
        QCOMPARE(menu->cmdSum->text(), QStringLiteral("集計"));
        QCOMPARE(menu->cmdEnd->text(), QStringLiteral("全て終了"));
        QCOMPARE(menu->cmbTbl->count(), 5);
        QCOMPARE(menu->cmbTbl->currentIndex(), 1); // the first table, ready to open
        QCOMPARE(menu->cmbTbl->itemText(0), QString());
        QCOMPARE(menu->cmbTbl->itemText(1), QStringLiteral("表t_one"));
        QCOMPARE(menu->cmbTbl->itemText(3), QStringLiteral("表t_three"));
        QCOMPARE(menu->cmbTbl->itemText(4), QStringLiteral("0")); // no TableJPName
    }

    void oneEditorPerTable() {
        menu->cmbTbl->setCurrentIndex(2);
        QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
        QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
        menu->cmbTbl->setCurrentIndex(1);
        QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
        QStringList editors;
        for (QWidget* w : Forms::all())
            if (auto* e = qobject_cast<frmInput*>(w)) editors << Forms::tag(e);
        QCOMPARE(editors, QStringList({"2", "1"}));
        auto* second = qobject_cast<frmInput*>(Forms::findByTag("2"));
        QVERIFY(second->windowTitle().startsWith(QStringLiteral("Tamroc編集画面（表t_two）")));
        QCOMPARE(second->mTblNum, qint16(2));
    }

    void returnPressesTheFocusedButton() {
        menu->cmbTbl->setCurrentIndex(3);
        menu->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(menu));
        menu->cmdSum->setFocus();
        QTest::keyClick(menu->cmdSum, Qt::Key_Return);
        QVERIFY(tags().contains("SUM:3  1"));
    }

    void emptyEntryAsksForATable() {
        menu->cmbTbl->setCurrentIndex(0);
        const int before = Forms::all().size();
        QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QCOMPARE(Forms::all().size(), before);
        QCOMPARE(fake->messages(), QStringList(2, QStringLiteral("テーブルを選んでください。")));
    }

    // Qt's own buttons and dialogs speak Japanese where the translations are
    // installed (the set-up installs them).
    void qtTextsInJapanese() {
        if (!installQtJapanese(*QCoreApplication::instance()))
            QSKIP("Qt's Japanese translations are not installed");
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QStringLiteral("キャンセル"));
    }

    void summaryTakesTheFirstFreeNumber() {
        menu->cmbTbl->setCurrentIndex(3);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QCOMPARE(tags().filter("SUM:3"), QStringList({"SUM:3  1", "SUM:3  2", "SUM:3  3"}));
        delete Forms::findByTag("SUM:3  2");
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QCOMPARE(tags().filter("SUM:3").last(), QStringLiteral("SUM:3  2"));
        auto* s = qobject_cast<frmSum*>(Forms::findByTag("SUM:3  3"));
        QCOMPARE(s->windowTitle(), QStringLiteral("集計選択( 表t_three )３"));
        QCOMPARE(s->mSameTblNum, qint16(3));
    }

    void summaryNumbersOfOtherTablesDoNotCount() {
        auto* other = new frmSum;
        Forms::setTag(other,
                      "SUM:12  1"); // a summary of table 12 must not look like one of table 1
        menu->cmbTbl->setCurrentIndex(1);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QVERIFY(tags().contains("SUM:1  1"));
        QVERIFY(fake->shown.isEmpty());
    }

    // A new summary takes the smallest number that no open summary of its
    // table carries, in whatever order the others were opened and closed.
    void summaryNumbersAfterClosingInEveryOrder_data() {
        QTest::addColumn<QList<int>>("closing");
        QList<int> order{1, 2, 3, 4};
        do {
            QStringList name;
            for (int k : order)
                name << QString::number(k);
            QTest::newRow(qPrintable(name.join(' '))) << order;
        } while (std::next_permutation(order.begin(), order.end()));
    }
    void summaryNumbersAfterClosingInEveryOrder() {
        QFETCH(QList<int>, closing);
        menu->cmbTbl->setCurrentIndex(1);
        auto press = [&] {
            QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
            return Forms::tag(Forms::all().last());
        };
        for (int k = 1; k <= 4; ++k)
            QCOMPARE(press(), QStringLiteral("SUM:1  %1").arg(k));
        QSet<int> open{1, 2, 3, 4};
        for (int i = 0; i < closing.size(); ++i) {
            // close the first i + 1 of the order, then open one and close it
            // again, and once more with two opened
            delete Forms::findByTag(QStringLiteral("SUM:1  %1").arg(closing[i]));
            open.remove(closing[i]);
            int expected = 1;
            while (open.contains(expected))
                ++expected;
            const QString tag = press();
            QCOMPARE(tag, QStringLiteral("SUM:1  %1").arg(expected));
            open.insert(expected);
            int next = 1;
            while (open.contains(next))
                ++next;
            QCOMPARE(press(), QStringLiteral("SUM:1  %1").arg(next));
            delete Forms::findByTag(tag);
            delete Forms::findByTag(QStringLiteral("SUM:1  %1").arg(next));
            open.remove(expected);
        }
        QVERIFY(tags().filter("SUM:").isEmpty());
    }

    void freeSummaryNumber_data() {
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << QStringList{} << 1;
        QTest::newRow("1 and 3 open") << QStringList{"SUM:3  1", "SUM:3  3"} << 2;
        QTest::newRow("1 3 2 open") << QStringList{"SUM:3  1", "SUM:3  3", "SUM:3  2"} << 4;
        QTest::newRow("3 before 1") << QStringList{"SUM:3  3", "SUM:3  1"} << 2;
        QTest::newRow("2 alone") << QStringList{"SUM:3  2"} << 1;
        QTest::newRow("other tables")
            << QStringList{"SUM:30  1", "SUM:13  1", "3", "SUM:3  1"} << 2;
        QTest::newRow("editor and menu") << QStringList{"3", QString(), "SUM:3  1"} << 2;
    }
    void freeSummaryNumber() {
        QFETCH(QStringList, tags);
        QFETCH(int, expected);
        QCOMPARE(frmSelect::FreeSummaryNumber(tags, 3), expected);
    }

    // Ending is cancelled by the second of two changed editors: the first,
    // which had answered No, asks again when it is closed later.
    void cancelledEndLeavesEveryEditorAsking() {
        QList<frmInput*> editors;
        for (int n : {1, 2}) {
            menu->cmbTbl->setCurrentIndex(n);
            QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
            editors << qobject_cast<frmInput*>(Forms::findByTag(QString::number(n)));
            QVERIFY(editors.last());
            editors.last()->grid()->notifyEdited();
            QVERIFY(editors.last()->isModified());
        }
        fake->questionAnswers = {Dialogs::Answer::No, Dialogs::Answer::Cancel};
        QTest::mouseClick(menu->cmdEnd, Qt::LeftButton);
        QVERIFY(!ended);
        QCOMPARE(fake->shown.size(), 2);
        QVERIFY(!menu->EndFlag());

        QPointer<frmInput> first = editors[0];
        first->grid()->notifyEdited();
        fake->clear();
        fake->questionAnswers = {Dialogs::Answer::Cancel};
        QVERIFY(!first->close());
        QCOMPARE(fake->shown.size(), 1);
        QCOMPARE(fake->shown[0].text, QStringLiteral("保存しますか？？"));
        QVERIFY(first);

        // and so does the one that cancelled
        fake->questionAnswers = {Dialogs::Answer::Cancel};
        QVERIFY(!editors[1]->close());
        QCOMPARE(fake->shown.size(), 2);
    }

    void endClosesEverything() {
        menu->cmbTbl->setCurrentIndex(1);
        QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QTest::mouseClick(menu->cmdEnd, Qt::LeftButton);
        QVERIFY(ended);
        QVERIFY(objDB == nullptr);
        QVERIFY(objPublic == nullptr);
        QCOMPARE(tags(), QStringList({QString()})); // only the menu itself is left to its owner
        QVERIFY(menu->EndFlag());
    }

    // A summary ends its own windows with it. A window of the summary that
    // is listed among the loaded windows after it is gone by the time the
    // end reaches it in the list.
    void endWithSummaryChildren() {
        menu->cmbTbl->setCurrentIndex(1);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        auto* sum = qobject_cast<frmSum*>(Forms::findByTag("SUM:1  1"));
        QVERIFY(sum);
        for (const char* b : {"CmdRangeCng", "cmdSumCng", "cmdTypeCng", "cmdTemp"})
            QTest::mouseClick(sum->findChild<QPushButton*>(b), Qt::LeftButton);
        QPointer<frmRngSel> editor = sum->rangeSelector();
        QVERIFY(editor && editor->isVisible());
        auto* listed = new QWidget(sum, Qt::Window);
        Forms::add(listed);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QTest::mouseClick(menu->cmdEnd, Qt::LeftButton);
        QVERIFY(ended);
        QVERIFY(!editor);
        QCOMPARE(tags(), QStringList({QString()}));
    }
};

QTEST_MAIN(TestMainMenu)
#include "tst_mainmenu.moc"
