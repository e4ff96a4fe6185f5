#include "Catalog.h"
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "TestEnv.h"
#include "clsRellmark.h"
#include "frmInput.h"
#include "frmSelect.h"
#include "frmSum.h"
#include "modMorvi.h"

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

    void emptyEntryDoesNothing() {
        menu->cmbTbl->setCurrentIndex(0);
        const int before = Forms::all().size();
        QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
        QTest::mouseClick(menu->cmdSum, Qt::LeftButton);
        QCOMPARE(Forms::all().size(), before);
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
};

QTEST_MAIN(TestMainMenu)
#include "tst_mainmenu.moc"
