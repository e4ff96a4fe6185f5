// Preset storage against real files: the demo book that the standard presets
// total.
#include "Catalog.h"
#include "FakeDialogs.h"
#include "TestEnv.h"
#include "modMorvi.h"

#include <QFile>
#include <QtTest>

using namespace modMorvi;

class TestPresetStore : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        fake = std::make_unique<FakeDialogs>();
    }
    void cleanup() {
        fake.reset();
        env.reset();
    }

    // The demo book as it is shipped: every standard preset of the purchase
    // table totals a number column into real groups.
    void standardPresetsTotalTheDemoBook_data() {
        QTest::addColumn<QList<int>>("types");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("minGroups");
        QTest::newRow("年ごとの総額") << QList<int>{2} << QStringList{"年"} << 3;
        QTest::newRow("年ごとで分類した総額")
            << QList<int>{2, 5} << QStringList{"年", "分類"} << 30;
        QTest::newRow("月ごとで分類した総額")
            << QList<int>{2, 3, 5} << QStringList{"年", "購入した月", "分類"} << 300;
    }
    void standardPresetsTotalTheDemoBook() {
        QFETCH(QList<int>, types);
        QFETCH(QStringList, names);
        QFETCH(int, minGroups);
        QFile::remove(env->iniPath());
        QVERIFY(QFile::copy(TAMROC_DEMO_INI, env->iniPath()));
        QVERIFY(QFile::copy(TAMROC_DEMO_DB, env->dbPath()));
        env->startProgram();
        ColumnDefs cols, foreign;
        QCOMPARE(LoadColumnDefs(1, cols, foreign), qint16(0));
        QCOMPARE(GetTableJPName(objPublic->TableSection(1)), QStringLiteral("購入テーブル"));
        env->stopProgram();
        QVERIFY(fake->messages().isEmpty());

        // The presets total column 7, the summary window's default is 8.
        for (int c : {7, 8}) {
            QVERIFY2(isNumberType(cols[c].eDataType) && !IsForeignColumn(cols[c]),
                     qPrintable(cols[c].JPName));
        }
        QStringList jp, fields;
        for (int t : types) {
            jp << cols[t].JPName;
            fields << cols[t].FieldName;
        }
        QCOMPARE(jp, names);
        const auto groups = env->rows("select " + fields.join(',') + ", sum(" + cols[7].FieldName +
                                      ") from buy_tbl group by " + fields.join(','));
        QVERIFY(groups.size() >= minGroups);
        for (const QStringList& g : groups)
            QVERIFY2(g.last().toLongLong() > 0, qPrintable(g.join(' ')));
        // What was paid differs from what was bought where discounts and
        // points came in, and is never more.
        QVERIFY(env->scalar("select count(*) from buy_tbl where " + cols[8].FieldName + " < " +
                            cols[7].FieldName)
                    .toInt() > 0);
        QCOMPARE(env->scalar("select count(*) from buy_tbl where " + cols[8].FieldName + " > " +
                             cols[7].FieldName)
                     .toInt(),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestPresetStore)
#include "tst_presetstore.moc"
