#include "CellValues.h"
#include "LoadedTexts.h"

#include <QtTest>

using namespace CellValues;

class TestCellValues : public QObject {
    Q_OBJECT
private slots:
    // What a grid text is stored as; an invalid QVariant marks a text the
    // checks refuse.
    void storedValues_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("stored");
        const QVariant refused;
        const QVariant null = QVariant::fromValue(nullptr);
        QTest::newRow("plain") << "120" << int(eInteger) << QVariant(120);
        QTest::newRow("blanks and sign") << " +7 " << int(eInteger) << QVariant(7);
        QTest::newRow("full width") << "１２０" << int(eInteger) << QVariant(120);
        QTest::newRow("full-width minus") << "－５" << int(eSmallint) << QVariant(-5);
        QTest::newRow("minus sign") << "−５" << int(eInteger) << QVariant(-5);
        QTest::newRow("ideographic blank") << "\u3000８" << int(eInteger) << QVariant(8);
        QTest::newRow("whole number with a point") << "3.0" << int(eInteger) << QVariant(3);
        QTest::newRow("fraction") << "1.5" << int(eInteger) << refused;
        QTest::newRow("full-width fraction") << "０．５" << int(eInteger) << refused;
        QTest::newRow("letters") << "x1" << int(eInteger) << refused;
        QTest::newRow("small integer top") << "32767" << int(eSmallint) << QVariant(32767);
        QTest::newRow("small integer beyond") << "32768" << int(eSmallint) << refused;
        QTest::newRow("small integer bottom") << "-32768" << int(eSmallint) << QVariant(-32768);
        QTest::newRow("integer top") << "2147483647" << int(eInteger) << QVariant(2147483647);
        QTest::newRow("integer beyond") << "2147483648" << int(eInteger) << refused;
        QTest::newRow("huge") << "1e30" << int(eInteger) << refused;
        QTest::newRow("empty integer") << "" << int(eInteger) << null;
        QTest::newRow("empty small integer") << "" << int(eSmallint) << null;
        QTest::newRow("text trimmed") << "  ab " << int(eText) << QVariant("ab");
        QTest::newRow("full-width text kept") << "１２０" << int(eText) << QVariant("１２０");
    }
    void storedValues() {
        QFETCH(QString, text);
        QFETCH(int, type);
        QFETCH(QVariant, stored);
        const auto v = storedValue(text, ColumnDataType(type));
        if (!stored.isValid()) {
            QVERIFY(!v.has_value());
            return;
        }
        QVERIFY(v.has_value());
        if (stored.isNull()) {
            QVERIFY(v->isNull());
            return;
        }
        QVERIFY(!v->isNull());
        QCOMPARE(v->toString(), stored.toString());
    }

    void repeatsAreComparedAsStored() {
        QCOMPARE(comparable("05", eInteger), comparable("５", eInteger));
        QCOMPARE(comparable("食費 ", eText), comparable("食費", eText));
        QVERIFY(comparable("1.5", eInteger) != comparable("2", eInteger));
    }

    // The texts records were loaded with come back as they were, whatever a
    // column turns out to hold, however it is kept.
    void loadedTextsComeBackAsLoaded_data() {
        QTest::addColumn<QVariantList>("values");
        const QVariant null(QMetaType::fromType<qlonglong>());
        QVariantList numbersThenText{qlonglong(-5), null, qlonglong(120), QString("x1")};
        QVariantList manyTexts, numbersPastThePool;
        for (int i = 0; i < 70000; ++i) {
            manyTexts << QString("品%1").arg(i % 3 == 0 ? i : i % 7);
            numbersPastThePool << (i == 69999 ? QVariant(QString("end")) : QVariant(qlonglong(i)));
        }
        QTest::newRow("numbers and empty") << QVariantList{qlonglong(0), null, qlonglong(-42)};
        QTest::newRow("numbers, then a text") << numbersThenText;
        QTest::newRow("few texts, then many") << manyTexts;
        QTest::newRow("many numbers, then a text") << numbersPastThePool;
    }
    void loadedTextsComeBackAsLoaded() {
        QFETCH(QVariantList, values);
        LoadedTexts loaded;
        loaded.reset(1);
        for (const QVariant& v : values)
            loaded.add(0, v, v.isNull() ? QString() : v.toString());
        QCOMPARE(loaded.rows(), size_t(values.size()));
        for (qsizetype r = 0; r < values.size(); ++r) {
            const QString t = values[r].isNull() ? QString() : values[r].toString();
            QCOMPARE(loaded.text(size_t(r), 0), t);
            QVERIFY(loaded.is(size_t(r), 0, t));
            QVERIFY(!loaded.is(size_t(r), 0, t + "0"));
            QVERIFY(t.isEmpty() || !loaded.is(size_t(r), 0, " " + t));
        }
    }
};

QTEST_GUILESS_MAIN(TestCellValues)
#include "tst_cellvalues.moc"
