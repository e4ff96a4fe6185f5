// The summary window, its condition editor, pickers, presets and chart
// windows, the editor and its 詳細の表示, and the main menu, on a screen of the size the run
// sets (an offscreen screen of 1400×900 or 1024×700, or 1400×900 at scale
// 2): each lies inside the screen's available area, and each button and
// label shows its caption on one line within its size.
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "ScreenFit.h"
#include "TestEnv.h"
#include "frmInput.h"
#include "frmRngSel.h"
#include "frmSelSum.h"
#include "frmSelect.h"
#include "frmSelType.h"
#include "frmSum.h"
#include "frmSumChart.h"
#include "frmSumExa.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

class TestWindowFit : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;

    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // What a failure names: the control, its text and its rectangle.
    static QByteArray named(const QWidget* w, const QString& text, const QRect& r) {
        QString out;
        QDebug(&out) << w->objectName() << text << r;
        return out.toUtf8();
    }
    // Every caption fits its control on one line; every button is within
    // reach (inside the window, or on a body that scrolls).
    static void captionsFit(QWidget* window) {
        for (auto* b : window->findChildren<QAbstractButton*>()) {
            if (!b->isVisibleTo(window) || b->text().isEmpty()) continue;
            if (auto* t = qobject_cast<QToolButton*>(b); t && t->toolButtonStyle() == Qt::ToolButtonIconOnly)
                continue; // a toolbar's picture; its caption is the tool tip
            const QFontMetrics fm(b->font());
            const QString text = QString(b->text()).remove(QLatin1Char('&'));
            const QRect at(b->mapTo(window, QPoint(0, 0)), b->size());
            QVERIFY2(fm.horizontalAdvance(text) + 8 <= b->width() && fm.height() <= b->height(),
                     named(b, text, at));
            bool scrolls = false;
            for (QWidget* p = b->parentWidget(); p && p != window; p = p->parentWidget())
                scrolls = scrolls || p->inherits("QAbstractScrollArea");
            QVERIFY2(window->rect().contains(at) || scrolls, named(b, text, at));
        }
        for (auto* l : window->findChildren<QLabel*>()) {
            if (!l->isVisibleTo(window) || l->text().isEmpty() || l->wordWrap()) continue;
            if (l->objectName() == QLatin1String("sbaStatusPanel")) continue; // a message line
            QVERIFY2(QFontMetrics(l->font()).horizontalAdvance(l->text()) <=
                         l->contentsRect().width(),
                     named(l, l->text(), l->geometry()));
        }
    }
    void fits(QWidget* window) {
        QVERIFY(window && window->isVisible());
        QTRY_VERIFY2(available().contains(window->frameGeometry()),
                     named(window, QString(), window->frameGeometry()));
        captionsFit(window);
    }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
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
            "insert into buy_tbl values (1, '2024', 1, 1000), (2, '2024', 2, 500)",
        });
        env->startProgram();
    }
    void cleanup() {
        for (QWidget* w : Forms::all())
            delete w;
        env->stopProgram();
        env.reset();
        fake.reset();
    }

    // The summary window and each window it opens; the summary window also
    // from a place beyond the screen's edge.
    void summaryWindows_data() {
        QTest::addColumn<QPoint>("at");
        QTest::newRow("where it opens") << QPoint(-1, -1);
        QTest::newRow("beyond the bottom right")
            << QPoint(available().right() - 40, available().bottom() - 40);
    }
    void summaryWindows() {
        QFETCH(QPoint, at);
        QPointer<frmSum> w = new frmSum;
        w->mTableNum = 1;
        Forms::setTag(w, QStringLiteral("SUM:1  1"));
        if (at.x() >= 0) w->move(at);
        QVERIFY(w->Form_Load());
        fits(w);
        for (const char* b :
             {"CmdRangeCng", "cmdTypeCng", "cmdSumCng", "cmdTemp", "cmdStart", "cmdGraph"})
            QTest::mouseClick(w->findChild<QAbstractButton*>(b), Qt::LeftButton);
        fits(w->rangeSelector());
        fits(w->typePicker());
        fits(w->sumPicker());
        fits(w->presetsWindow());
        fits(w->chartWindow());
        // pictures of them to look at, where TAMROC_LOOK names a folder
        if (const QString look = qEnvironmentVariable("TAMROC_LOOK"); !look.isEmpty()) {
            QTest::qWait(100);
            const QList<QWidget*> shown = {w,
                                           w->rangeSelector(),
                                           w->typePicker(),
                                           w->sumPicker(),
                                           w->presetsWindow(),
                                           w->chartWindow()};
            for (QWidget* x : shown)
                x->grab().save(look + "/" + x->objectName() + ".png");
        }
        delete w.data();
    }

    void detailWindow() {
        auto* ed = new frmInput;
        ed->mTblNum = 1;
        Forms::setTag(ed, QStringLiteral("1"));
        QVERIFY(ed->Form_Load());
        fits(ed); // at scale 2 the editor is larger than the screen
        ed->move(available().right() - 100, available().bottom() - 100);
        ed->menuEditSyosai_Click();
        fits(ed->findChild<QWidget*>("frmDetail"));
        delete ed;
    }

    void mainMenu() {
        auto* menu = new frmSelect;
        menu->move(available().right() - 20, available().bottom() - 20);
        menu->show();
        fits(menu);
        delete menu;
    }

    // The pure rules behind it.
    void fitRectRule_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("fitted");
        const QRect screen(0, 0, 1400, 900);
        QTest::newRow("inside") << QRect(10, 10, 600, 400) << QRect(10, 10, 600, 400);
        QTest::newRow("below the bottom") << QRect(100, 443, 700, 500) << QRect(100, 400, 700, 500);
        QTest::newRow("left of the screen") << QRect(-50, 10, 600, 400) << QRect(0, 10, 600, 400);
        QTest::newRow("larger than the screen")
            << QRect(0, 0, 2000, 1280) << QRect(0, 0, 1400, 900);
    }
    void fitRectRule() {
        QFETCH(QRect, frame);
        QTEST(fitRect(frame, QRect(0, 0, 1400, 900)), "fitted");
    }
    void growLayoutRule() {
        // a label that grows pushes the box beside it (a gap of 6 kept), not
        // the one below; a wide gap takes the growth
        const QList<QRect> designed = {
            {0, 0, 50, 20}, {60, 0, 100, 20}, {0, 30, 100, 20}, {300, 0, 20, 20}};
        const QList<QRect> grown = growLayout(designed, {{80, 10}, {}, {}, {}});
        QCOMPARE(grown, (QList<QRect>{
                            {0, 0, 80, 20}, {86, 0, 100, 20}, {0, 30, 100, 20}, {300, 0, 20, 20}}));
    }
};

QTEST_MAIN(TestWindowFit)
#include "tst_windowfit.moc"
