#include "GridModel.h"

#include <QtTest>
#include <algorithm>
#include <numeric>

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

    // The cell store against a plain list of the same texts: a column of a
    // few distinct texts, of more than one and two bytes of them, of mostly
    // new ones, of new ones first and a few after them; changed, sorted (all
    // rows, then a few) and mostly removed. Equal texts that come late share.
    void storeKeepsTexts_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("distinct");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("newFirst");    // rows of new texts before the others
        QTest::addColumn<bool>("givenAgain"); // each text the same string every time
        QTest::addColumn<int>("step");        // rows added at a time into room for half of them
        QTest::newRow("one text, string") << 2000 << 1 << 7 << 0 << false << 0;
        QTest::newRow("5 texts, numeric") << 2000 << 5 << 3 << 0 << false << 0;
        QTest::newRow("5 texts, string down") << 2000 << 5 << 8 << 0 << false << 0;
        QTest::newRow("300 texts, numeric down") << 5000 << 300 << 4 << 0 << false << 0;
        QTest::newRow("300 texts, string") << 5000 << 300 << 7 << 0 << false << 0;
        QTest::newRow("mostly new texts, numeric") << 100000 << 1000000 << 3 << 0 << false << 0;
        QTest::newRow("mostly new texts, string down") << 100000 << 1000000 << 8 << 0 << false << 0;
        QTest::newRow("new texts, then 5, string") << 60000 << 5 << 7 << 40000 << false << 0;
        QTest::newRow("new texts, then 300, numeric") << 60000 << 300 << 3 << 40000 << false << 0;
        // strings handed over again and again (a record set's pooled texts, a
        // number's cached text), more of them than a column keeps places for
        QTest::newRow("5,000 strings given again, numeric")
            << 100000 << 5000 << 3 << 0 << true << 0;
        QTest::newRow("new texts, then 20,000 strings given again, string")
            << 200000 << 20000 << 7 << 10000 << true << 0;
        QTest::newRow("new texts, then 300, in steps")
            << 150000 << 300 << 3 << 70000 << false << 7000;
    }
    void storeKeepsTexts() {
        QFETCH(int, rows);
        QFETCH(int, distinct);
        QFETCH(int, mode);
        QFETCH(int, newFirst);
        QFETCH(bool, givenAgain);
        QFETCH(int, step);
        std::vector<QString> strings(givenAgain ? static_cast<size_t>(distinct) : 0);
        for (size_t i = 0; i < strings.size(); ++i)
            strings[i] = QString::number(i);
        auto textOf = [&](int r) {
            const int k = static_cast<int>(static_cast<qint64>(r) * 7919 % distinct);
            return r <= newFirst ? QString("n%1").arg(r)
                   : r % 11 == 0 ? QString()
                   : r % 7 == 0  ? QString("")
                   : givenAgain  ? strings[static_cast<size_t>(k)]
                                 : QString::number(k);
        };
        GridModel m;
        m.setCols(2);
        if (step) m.reserveRows(rows / 2);
        m.setRows(step ? 1 : rows + 1);
        std::vector<QStringList> want(static_cast<size_t>(rows) + 1, QStringList{"", ""});
        for (int r = 1; r <= rows; ++r) {
            if (r == m.rows()) m.setRows(std::min(rows + 1, r + step));
            want[r] = {QString::number(r), textOf(r)};
            m.setText(r, 0, want[r][0]);
            m.setText(r, 1, want[r][1]);
        }
        if (distinct > 1 && distinct * 4 < rows - newFirst) {
            int r = rows;
            while (r % 7 == 0 || r % 11 == 0 || (r - distinct) % 7 == 0 ||
                   (r - distinct) % 11 == 0 || r % distinct == 0) // ("0" is a string of Qt's own)
                --r;
            QCOMPARE(m.text(r - distinct, 1), m.text(r, 1));
            QCOMPARE(m.text(r - distinct, 1).constData(), m.text(r, 1).constData());
        }
        m.setText(5, 1, "changed"); // a text changed after it was shared
        want[5][1] = "changed";
        QCOMPARE(m.exchangeText(6, 1, want[7][1]), want[6][1]);
        want[6][1] = want[7][1];
        auto number = [](const QString& t) {
            bool ok = false;
            const double v = t.toLongLong(&ok);
            return ok ? v : t.trimmed().toDouble();
        };
        auto sortWant = [&](int r1, int r2) {
            std::vector<std::pair<double, QStringList>> rowsToSort;
            for (int r = r1; r <= r2; ++r)
                rowsToSort.emplace_back(number(want[r][1]), want[r]);
            std::stable_sort(rowsToSort.begin(), rowsToSort.end(), [&](auto& a, auto& b) {
                const int cmp = mode == 3 || mode == 4 ? (a.first > b.first) - (a.first < b.first)
                                                       : QString::compare(a.second[1], b.second[1]);
                return mode == 4 || mode == 8 ? cmp > 0 : cmp < 0;
            });
            for (int r = r1; r <= r2; ++r)
                want[r] = rowsToSort[r - r1].second;
        };
        auto check = [&] {
            QCOMPARE(m.rows(), static_cast<int>(want.size()));
            for (int r = 1; r < m.rows(); ++r)
                for (int c = 0; c < 2; ++c)
                    if (m.text(r, c) != want[r][c] || m.text(r, c).isNull() != want[r][c].isNull())
                        QFAIL(qPrintable(
                            QString("row %1: %2, not %3").arg(r).arg(m.text(r, c), want[r][c])));
        };
        m.setRow(1);
        m.sort(1, mode);
        sortWant(1, rows);
        check();
        std::reverse(want.begin() + 2, want.begin() + 31); // a few rows out of order, sorted alone
        for (int r = 2; r <= 30; ++r)
            for (int c = 0; c < 2; ++c)
                m.setText(r, c, want[r][c]);
        m.setRow(2);
        m.setRowSel(30);
        m.sort(1, mode);
        sortWant(2, 30);
        check();
        m.removeRows(1, rows * 3 / 4);
        want.erase(want.begin() + 1, want.begin() + 1 + rows * 3 / 4);
        check();
    }

    // A million equal texts, each read as a string of its own, share one
    // string and take a byte a cell; one of them changed leaves the others.
    void millionEqualTextsShareOne() {
        GridModel m;
        m.setCols(1);
        m.setRows(1000001);
        for (int r = 1; r <= 1000000; ++r)
            m.setText(r, 0, QString::fromUtf8("同じ"));
        QCOMPARE(m.text(999999, 0), QStringLiteral("同じ"));
        QCOMPARE(m.text(1, 0).constData(), m.text(999999, 0).constData());
        QVERIFY2(m.storeBytes() < 1100000, qPrintable(QString::number(m.storeBytes())));
        m.setText(500000, 0, QStringLiteral("別"));
        QCOMPARE(m.text(499999, 0), QStringLiteral("同じ"));
        m.setRow(1);
        m.sort(0, 7);
        QCOMPARE(m.text(1, 0), QStringLiteral("別"));
        QCOMPARE(m.text(500000, 0), QStringLiteral("同じ"));
    }

    // A column's version names what its cells hold: the same version, the
    // same cells (a copy's too), whatever changed in between and elsewhere.
    void aVersionNamesTheCells() {
        GridModel m;
        m.setCols(2);
        m.setRows(4);
        auto version = [&](const GridModel& g) { return g.column(1).version(); };
        m.setText(1, 1, "a");
        m.setText(2, 1, "b");
        const quint64 loaded = version(m);
        m.setText(1, 1, QString("a")); // the same text again
        m.setText(1, 0, "x");          // another column
        m.setRows(6);                  // null rows after the cells
        QCOMPARE(version(m), loaded);
        GridModel copy = m;
        QCOMPARE(version(copy), loaded);
        for (auto change : std::initializer_list<std::function<void(GridModel&)>>{
                 [](GridModel& g) { g.setText(2, 1, "c"); }, [](GridModel& g) { g.setRows(2); },
                 [](GridModel& g) { g.sort(1, 8); }}) {
            GridModel changed = copy;
            change(changed);
            QVERIFY(version(changed) != loaded && version(changed) != version(m));
        }
    }

    // A string given again is found by where its characters lie; once no
    // cell holds them, other characters in that place are another text
    // (among many texts, some of which share their places).
    void charactersInAFreedPlaceAreANewText() {
        constexpr int Texts = 300;
        GridModel m;
        m.setCols(1);
        m.setRows(2 * Texts + 1);
        for (int round = 0; round < 40; ++round) {
            {
                std::vector<QString> a;
                for (int i = 0; i < Texts; ++i)
                    a.push_back(QString::number(100000 + round * Texts + i));
                for (int r = 1; r <= 2 * Texts; ++r)
                    m.setText(r, 0, a[static_cast<size_t>((r - 1) / 2)]);
            }
            for (int r = 1; r <= 2 * Texts; ++r)
                m.setText(r, 0, QStringLiteral("x"));
            // most likely where the texts before were
            std::vector<QString> b;
            for (int i = 0; i < Texts; ++i)
                b.push_back(QString::number(900000 + round * Texts + i));
            for (int r = 1; r < 2 * Texts; ++r)
                m.setText(r, 0, b[static_cast<size_t>((r - 1) / 2)]);
            for (int r = 1; r < 2 * Texts; ++r)
                if (m.text(r, 0) != b[static_cast<size_t>((r - 1) / 2)])
                    QFAIL(qPrintable(
                        QString("round %1, row %2: %3").arg(round).arg(r).arg(m.text(r, 0))));
            QCOMPARE(m.text(2 * Texts, 0), QStringLiteral("x"));
        }
    }
};

QTEST_GUILESS_MAIN(TestGridModel)
#include "tst_gridmodel.moc"
