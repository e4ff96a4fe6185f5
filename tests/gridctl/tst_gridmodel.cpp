#include "GridModel.h"

#include <QtTest>

class TestGridModel : public QObject {
    Q_OBJECT
private slots:
    void reshapeKeepsCells() {
        GridModel m;
        m.setCols(3);
        m.setRows(3);
        m.setText(2, 1, "x");
        m.setCellColor(2, 1, 0xFF);
        m.setCols(5);
        QCOMPARE(m.text(2, 1), QStringLiteral("x"));
        QCOMPARE(m.cellColor(2, 1), 0xFFu);
        QCOMPARE(m.textArray(2 * 5 + 1), QStringLiteral("x"));
        m.setRow(2);
        m.setCol(1);
        QCOMPARE(m.currentText(), QStringLiteral("x"));
        m.setCols(1);
        QCOMPARE(m.cols(), 1);
        QVERIFY_THROWS_EXCEPTION(GridError, m.text(2, 1));
    }

    void insertAndRemoveRowsMoveEverything() {
        GridModel m;
        m.setCols(2);
        m.setRows(4);
        for (int r = 0; r < 4; ++r)
            m.setText(r, 0, QString::number(r));
        m.setRowHeight(2, 0);
        m.insertRows(2, 2, 100);
        QCOMPARE(m.rows(), 6);
        QCOMPARE(m.text(4, 0), QStringLiteral("2"));
        QCOMPARE(m.rowHeight(4), 0);
        QCOMPARE(m.rowHeight(2), 100);
        m.removeRows(1, 3);
        QCOMPARE(m.text(1, 0), QStringLiteral("2"));
        m.addItem("a\tb\tc", 1);
        QCOMPARE(m.text(1, 1), QStringLiteral("b"));
        QVERIFY_THROWS_EXCEPTION(GridError, m.removeRows(0, 10));
    }

    void sortRangeFollowsTheSelection() {
        GridModel m;
        m.setCols(1);
        m.setRows(6);
        const QStringList v{"h", "e", "d", "c", "b", "a"};
        for (int r = 0; r < 6; ++r)
            m.setText(r, 0, v[r]);
        m.setRow(2);
        m.setRowSel(4);
        m.sort(0, 7);
        QStringList got;
        for (int r = 0; r < 6; ++r)
            got << m.text(r, 0);
        QCOMPARE(got, QStringList({"h", "e", "b", "c", "d", "a"}));
        m.setRow(3); // same row: all non-fixed rows
        m.sort(0, 8);
        got.clear();
        for (int r = 0; r < 6; ++r)
            got << m.text(r, 0);
        QCOMPARE(got, QStringList({"h", "e", "d", "c", "b", "a"}));
    }
};

QTEST_GUILESS_MAIN(TestGridModel)
#include "tst_gridmodel.moc"
