#include "KeyNumbering.h"

#include <QtTest>

using namespace KeyNumbering;

class TestKeyNumbering : public QObject {
    Q_OBJECT
private slots:
    void emptyKeysContinueAfterTheGreatest() {
        const auto k = numberEmptyKeys({"5", "", "9", "", "", "x"}, 1);
        QVERIFY(k.has_value());
        QCOMPARE(k->size(), size_t(3));
        QCOMPARE((*k)[0].row, 2);
        QCOMPARE((*k)[0].key, 10);
        QCOMPARE((*k)[1].row, 4);
        QCOMPARE((*k)[2].key, 12);
    }
    void noEmptyKeysNoNumbers() {
        QVERIFY(numberEmptyKeys({"1", "2"}, 1)->empty());
        QCOMPARE(numberEmptyKeys({"", ""}, 3)->front().key, 1); // no key yet: from 1
    }
    // A shared book's greatest key counts as well, and so does the limit.
    void numbersGoPastTheBooksGreatestKey() {
        QCOMPARE(numberEmptyKeys({"5", ""}, 1, 9)->front().key, 10);
        QCOMPARE(numberEmptyKeys({"12", ""}, 1, 9)->front().key, 13);
        QVERIFY(!numberEmptyKeys({"5", ""}, 1, 2147483647).has_value());
        QVERIFY(!numberEmptyKeys({"32767", ""}, 1, 0, 32767).has_value()); // a small-integer key
    }
    void theLimitStops() {
        QVERIFY(!numberEmptyKeys({"2147483647", ""}, 1).has_value());
        QVERIFY(!numberEmptyKeys({"2147483646", "", ""}, 1).has_value());
        QCOMPARE(numberEmptyKeys({"2147483646", ""}, 1)->front().key, 2147483647);
    }
    void freeKeysFillGapsFromZero_data() {
        QTest::addColumn<QList<qint64>>("taken");
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("gap then after") << QList<qint64>{0, 1, 2, 4} << QList<qint64>{3, 5, 6};
        QTest::newRow("empty table") << QList<qint64>{} << QList<qint64>{0, 1};
        QTest::newRow("from one") << QList<qint64>{1, 2, 3} << QList<qint64>{0, 4};
    }
    void freeKeysFillGapsFromZero() {
        QFETCH(QList<qint64>, taken);
        QFETCH(QList<qint64>, expected);
        FreeKeys f(QSet<qint64>(taken.begin(), taken.end()));
        QList<qint64> got;
        for (int i = 0; i < expected.size(); ++i)
            got << f.next();
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestKeyNumbering)
#include "tst_keynumbering.moc"
