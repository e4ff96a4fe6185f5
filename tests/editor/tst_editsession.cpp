// The editor's session without a window: saves compared over the whole
// database, columns outside the catalog included, when someone else writes
// in between, when rows are deleted and added in one save, when a save is
// refused and tried again, and when the table cannot be read.
#include "EditSession.h"
#include "GridModel.h"
#include "PurchaseBook.h"
#include "RellmarkFaults.h"
#include "SmallDisk.h"
#include "modMorvi.h"

#include <QtTest>

using Rows = QList<QStringList>;
using Outcome = EditSession::SaveResult::Outcome;
using Fault = RellmarkFaults::Fault;
using Plan = RellmarkFaults::Plan;
using Kind = RellmarkError::Kind;
Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Plan)

// A table with a text key, beside the purchases.
QString tagCatalog() {
    return "[tag]\nTableJPName=タグ\n" +
           iniColumn(1, "tag", "タグ", 0, "eText", "MainKey=1;Unique=1") +
           iniColumn(2, "label", "名前", 1, "eText", "NullPermmit=1");
}
QStringList memoBook() {
    QStringList sql = purchaseBook(true);
    sql << "update buy set memo = 'm' || id"
        << "update cat set memo = 'c' || cat_id"
        << "create table tag (tag text primary key, label text, memo text)"
        << "insert into tag values ('abc', 'x', 'ma'), ('ABC', 'y', 'mb')";
    return sql;
}

// One save of many kinds of change: an amount, a name, a new category, a
// deleted row and a new row. Its statements: 1 BEGIN, 2 the greatest key,
// 3 categories, 4 the new category, 5 shops, 6 the deletion, 7-9 the
// changes, 10 the new row, 11 COMMIT.
const QStringList many{"2:4=999", "1:1=食パン", "3:2=衣料", "-4", "+", "4:1=卵", "4:3=スーパー"};
const QStringList manyWritten{"update buy set price = 999 where id = 6",
                              "update buy set name = '食パン' where id = 5",
                              "insert into cat (cat_id, cat_name) values (3, '衣料')",
                              "update buy set cat_id = 3 where id = 7",
                              "delete from buy where id = 9",
                              "insert into buy (id, name, shop_id) values (10, '卵', 1)"};

class TestEditSession : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    GridModel model;
    std::unique_ptr<EditSession> session;

    static bool openInto(int table, GridModel& m, std::unique_ptr<EditSession>& s) {
        ColumnDefs cols, foreign;
        if (LoadColumnDefs(static_cast<qint16>(table), cols, foreign) != 0) return false;
        m = GridModel();
        m.setFixedCols(0);
        m.setCols(cols.size() + foreign.size() - 1);
        s = std::make_unique<EditSession>(m, modMorvi::objDB);
        s->setTable(modMorvi::objPublic->TableSection(static_cast<qint16>(table)), cols, foreign);
        return s->load().ok;
    }
    bool open(int table) { return openInto(table, model, session); }
    int maxRow() const { return session->maxRow(); }
    // Edits written "row:col=text"; "+" adds an empty row at the end, "-row"
    // deletes that row.
    void apply(const QStringList& edits) {
        for (const QString& e : edits) {
            if (e == "+") {
                model.setRows(model.rows() + 1);
            } else if (e.startsWith('-')) {
                model.removeRows(e.mid(1).toInt(), 1);
            } else {
                const int colon = e.indexOf(':'), eq = e.indexOf('=');
                model.setText(e.left(colon).toInt(), e.mid(colon + 1, eq - colon - 1).toInt(),
                              e.mid(eq + 1));
            }
        }
    }
    Rows book() {
        Rows all = env->rows("select * from buy order by id");
        all += env->rows("select * from cat order by cat_id");
        return all + env->rows("select * from tag order by tag");
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        env->writeIni(purchaseCatalog() + tagCatalog());
        env->runSql(memoBook());
        env->startProgram();
    }
    void cleanup() {
        session.reset();
        env->stopProgram();
        env.reset();
    }

    void saves_data() {
        QTest::addColumn<int>("table");
        QTest::addColumn<QStringList>("setup"); // before loading
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QStringList>("elsewhere"); // after loading
        QTest::addColumn<Outcome>("outcome");       // of every one of five attempts
        QTest::addColumn<QStringList>("changes");   // sql making the expected book from the setup
        // With a fault planned, the outcome is that of the save it hits; a
        // failed one must write nothing, and the next save, without the
        // fault, writes the edits it kept.
        QTest::addColumn<Plan>("fault");
        QTest::addColumn<Kind>("kind"); // of the failure
        const QStringList none;
        QTest::newRow("changed elsewhere")
            << 1 << none << QStringList{"1:5=3"}
            << QStringList{"update buy set price = 999 where id = 5"} << Outcome::Conflict
            << QStringList{"update buy set price = 999 where id = 5"} << Plan{} << Kind::Other;
        QTest::newRow("deleted elsewhere")
            << 1 << none << QStringList{"1:4=151"} << QStringList{"delete from buy where id = 5"}
            << Outcome::Conflict << QStringList{"delete from buy where id = 5"} << Plan{}
            << Kind::Other;
        const QStringList deletedAndAdded{
            "delete from buy where id = 7",
            "insert into buy (id, name, shop_id) values (20, 'よそ', 1)"};
        QTest::newRow("deleted and added elsewhere")
            << 1 << none << QStringList{"3:4=50"} << deletedAndAdded << Outcome::Conflict
            << deletedAndAdded << Plan{} << Kind::Other;
        QTest::newRow("greatest key deleted, a row added")
            << 1 << QStringList{"update buy set id = 8 where id = 9"}
            << QStringList{"-4", "+", "4:1=卵", "4:3=スーパー"} << none << Outcome::Written
            << QStringList{"delete from buy where id = 8",
                           "insert into buy (id, name, shop_id) values (9, '卵', 1)"}
            << Plan{} << Kind::Other;
        QTest::newRow("lookup record still in use is kept")
            << 2 << none << QStringList{"-1"} << none << Outcome::InUse << none << Plan{}
            << Kind::Other;
        QTest::newRow("lookup record no purchase uses is deleted")
            << 2 << none << QStringList{"-3"} << none << Outcome::Written
            << QStringList{"delete from cat where cat_id = 2"} << Plan{} << Kind::Other;
        QTest::newRow("number taken meanwhile")
            << 1 << none << QStringList{"+", "5:1=卵", "5:3=スーパー"}
            << QStringList{"insert into buy (id, name, shop_id) values (10, 'よそ', 1)"}
            << Outcome::Written
            << QStringList{"insert into buy (id, name, shop_id) values (10, 'よそ', 1)",
                           "insert into buy (id, name, shop_id) values (11, '卵', 1)"}
            << Plan{} << Kind::Other;
        QTest::newRow("new text does not collect rows of a lost key")
            << 1 << QStringList{"update buy set cat_id = 3 where id = 7"} << QStringList{"1:2=衣料"}
            << none << Outcome::Written
            << QStringList{"insert into cat (cat_id, cat_name) values (5, '衣料')",
                           "update buy set cat_id = 5 where id = 5"}
            << Plan{} << Kind::Other;
        QTest::newRow("text keys differing in case")
            << 3 << none << QStringList{"1:1=z", "2:1=z"} << none << Outcome::Written
            << QStringList{"update tag set label = 'z'"} << Plan{} << Kind::Other;

        QTest::newRow("many changes") << 1 << none << many << none << Outcome::Written
                                      << manyWritten << Plan{} << Kind::Other;
        // a full disk: the database ends the transaction, at any statement
        for (int at : {2, 3, 4, 6, 8, 10, 11})
            QTest::addRow("disk full at statement %d", at)
                << 1 << none << many << none << Outcome::Failed << manyWritten
                << Plan{Fault::Fail, at, 1, Kind::DiskFull, true} << Kind::DiskFull;
        // ...or silently, with no statement failing
        for (int at : {4, 7, 11})
            QTest::addRow("transaction ended before statement %d", at)
                << 1 << none << many << none << Outcome::Failed << manyWritten
                << Plan{Fault::EndTransaction, at} << Kind::Other;
        QTest::newRow("locked at a change")
            << 1 << none << many << none << Outcome::Failed << manyWritten
            << Plan{Fault::Fail, 7, 1, Kind::Busy} << Kind::Busy;
        QTest::newRow("a unique value refused")
            << 1 << none << many << none << Outcome::Failed << manyWritten
            << Plan{Fault::Fail, 9, 1, Kind::Constraint} << Kind::Constraint;
        // a connection that drops is opened again and the save tried once more
        for (int at : {1, 6, 11})
            QTest::addRow("connection dropped at statement %d", at)
                << 1 << none << many << none << Outcome::Written << manyWritten
                << Plan{Fault::DropConnection, at} << Kind::Other;
        QTest::newRow("file writable again")
            << 1 << none << many << none << Outcome::Written << manyWritten
            << Plan{Fault::Fail, 7, 1, Kind::DiskFull, false, true} << Kind::Other;
        // "@replace": another program puts a copy of the file in its place
        QTest::newRow("file replaced while open")
            << 1 << none << many << QStringList{"@replace"} << Outcome::Written << manyWritten
            << Plan{} << Kind::Other;
        QTest::newRow("connection lost for good")
            << 1 << none << many << none << Outcome::Failed << manyWritten
            << Plan{Fault::Fail, 6, 1000, Kind::ConnectionLost} << Kind::ConnectionLost;
    }

    void saves() {
        QFETCH(int, table);
        QFETCH(QStringList, setup);
        QFETCH(QStringList, edits);
        QFETCH(QStringList, elsewhere);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, changes);
        QFETCH(Plan, fault);
        QFETCH(Kind, kind);
        if (!setup.isEmpty()) env->runSql(setup);
        // the expected book: the same statements on a copy made now
        TestEnv expected;
        expected.runSql(memoBook());
        if (!setup.isEmpty()) expected.runSql(setup);
        expected.runSql(changes);

        QVERIFY(open(table));
        apply(edits);
        if (elsewhere == QStringList{"@replace"}) {
            SKIP_ON_SERVER("a file");
            QVERIFY(QFile::rename(env->dbPath(), env->dbPath() + ".old"));
            QVERIFY(QFile::copy(env->dbPath() + ".old", env->dbPath()));
        } else if (!elsewhere.isEmpty()) {
            env->runSql(elsewhere);
        }
        if (fault.fault != Fault::None) {
            const Rows untouched = book();
            RellmarkFaults::arm(fault);
            const auto result = session->save();
            const int statements = RellmarkFaults::statements();
            RellmarkFaults::disarm();
            QCOMPARE(result.outcome, outcome);
            if (outcome == Outcome::Failed) {
                QCOMPARE(result.kind, kind);
                QVERIFY(!result.description.isEmpty());
                QCOMPARE(book(), untouched);
                outcome = Outcome::Written;
            } else {
                QVERIFY(statements > fault.at); // tried again
            }
        }
        const int attempts = outcome == Outcome::Written ? 1 : 5;
        for (int a = 0; a < attempts; ++a) {
            const auto result = session->save();
            QCOMPARE(result.outcome, outcome);
            if (outcome == Outcome::InUse)
                QCOMPARE(result.description,
                         QStringLiteral("「食費」は購入の2件で使われているため削除できません。"));
        }
        const Rows want = expected.rows("select * from buy order by id") +
                          expected.rows("select * from cat order by cat_id") +
                          expected.rows("select * from tag order by tag");
        QCOMPARE(book(), want);
    }

    // A save the database refused, then another program's change, then the
    // retry: it writes the user's edits and nothing of the other's undone.
    void retryAfterARefusalWritesOnlyTheUsersChanges_data() {
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<QStringList>("userEdits");
        QTest::addColumn<bool>("saves");
        QTest::addColumn<Rows>("endRows");
        const QStringList none;
        QTest::newRow("changed elsewhere")
            << "update buy set price = 999 where id = 9" << none << true
            << Rows{{"5", "食パン", "150"},
                    {"6", "お弁当", "500"},
                    {"7", "電車", "<null>"},
                    {"9", "牛乳", "999"}};
        QTest::newRow("added elsewhere")
            << "insert into buy (id, name, shop_id, price) values (20, 'よそ', 1, 10)" << none << true
            << Rows{{"5", "食パン", "150"},
                    {"6", "お弁当", "500"},
                    {"7", "電車", "<null>"},
                    {"9", "牛乳", "200"},
                    {"20", "よそ", "10"}};
        QTest::newRow("deleted elsewhere")
            << "delete from buy where id = 6" << none << true
            << Rows{{"5", "食パン", "150"}, {"7", "電車", "<null>"}, {"9", "牛乳", "200"}};
        QTest::newRow("changed in both places")
            << "update buy set price = 999 where id = 9" << QStringList{"4:4=300"} << false
            << Rows{{"5", "パン", "150"},
                    {"6", "お弁当", "500"},
                    {"7", "電車", "<null>"},
                    {"9", "牛乳", "999"}};
        QTest::newRow("deleted elsewhere, changed here")
            << "delete from buy where id = 7" << QStringList{"3:4=50"} << false
            << Rows{{"5", "パン", "150"}, {"6", "お弁当", "500"}, {"9", "牛乳", "200"}};
        QTest::newRow("changed elsewhere, deleted here")
            << "update buy set price = 1 where id = 6" << QStringList{"-2"} << false
            << Rows{{"5", "パン", "150"},
                    {"6", "お弁当", "1"},
                    {"7", "電車", "<null>"},
                    {"9", "牛乳", "200"}};
    }
    void retryAfterARefusalWritesOnlyTheUsersChanges() {
        QFETCH(QString, elsewhere);
        QFETCH(QStringList, userEdits);
        QFETCH(bool, saves);
        QFETCH(Rows, endRows);
        env->runSql({"create unique index buy_name on buy(name)"});
        QVERIFY(open(1));
        apply({"1:1=牛乳"}); // refused by the database
        QCOMPARE(session->save().outcome, Outcome::Failed);
        env->runSql({elsewhere});
        apply(QStringList{"1:1=食パン"} + userEdits);
        QCOMPARE(session->save().outcome, saves ? Outcome::Written : Outcome::Conflict);
        QCOMPARE(env->rows("select id, name, price from buy order by id"), endRows);
    }

    // Two editors of one book: what the purchases' editor adds to the
    // categories survives a refused and retried save of the categories'
    // editor, and a rename there is not undone by the purchases' editor,
    // which still shows the old text.
    void twoEditorsOfOneBook() {
        GridModel catModel;
        std::unique_ptr<EditSession> cats;
        QVERIFY(openInto(2, catModel, cats));
        QVERIFY(open(1));
        apply({"1:2=衣料"});
        QCOMPARE(session->save().outcome, Outcome::Written);
        catModel.setText(2, 1, "食費"); // the database refuses a second 食費
        QCOMPARE(cats->save().outcome, Outcome::Failed);
        catModel.setText(2, 1, "生活用品");
        QCOMPARE(cats->save().outcome, Outcome::Written);
        QCOMPARE(env->rows("select cat_id, cat_name from cat order by cat_id"),
                 (Rows{{"0", "食費"}, {"1", "生活用品"}, {"2", "外食"}, {"3", "衣料"}, {"4", "交通費"}}));

        catModel.setText(1, 1, "食料品"); // key 0
        QCOMPARE(cats->save().outcome, Outcome::Written);
        apply({"4:4=210"}); // the row of 牛乳 still shows 食費
        QCOMPARE(session->save().outcome, Outcome::Written);
        QCOMPARE(env->rows("select b.id, c.cat_name from buy b join cat c using (cat_id) order by id"),
                 (Rows{{"5", "衣料"}, {"9", "食料品"}}));
        QCOMPARE(env->rows("select cat_name from cat order by cat_id"),
                 (Rows{{"食料品"}, {"生活用品"}, {"外食"}, {"衣料"}, {"交通費"}}));
    }

    // A real disk that is full, whatever room is left: a save writes all or
    // nothing, and once there is room again the edits it kept are written.
    void fullDisk() {
        SKIP_ON_SERVER("a file's disk");
        TestEnv expected;
        expected.runSql(memoBook());
        expected.runSql(manyWritten);
        const Rows want = expected.rows("select * from buy order by id") +
                          expected.rows("select * from cat order by cat_id") +
                          expected.rows("select * from tag order by tag");
        int failed = 0;
        for (qint64 left = 0; left <= 48 * 1024; left += 4096) {
            cleanup();
            init();
            SmallDisk disk;
            if (!disk.mounted()) QSKIP("this machine does not let the test mount a small disk");
            env->stopProgram();
            const QString onDisk = disk.path() + "/Tamroc.mdb";
            QVERIFY(QFile::copy(env->dbPath(), onDisk));
            QVERIFY(QFile::remove(env->dbPath()));
            QVERIFY(QFile::link(onDisk, env->dbPath()));
            env->startProgram();
            QVERIFY(open(1));
            apply(many);
            const Rows before = book();
            disk.fill(left);
            const auto result = session->save();
            if (result.outcome == Outcome::Failed) {
                ++failed;
                QVERIFY2(result.kind == Kind::DiskFull, qPrintable(result.description));
                disk.release();
                QCOMPARE(book(), before);
                QCOMPARE(session->save().outcome, Outcome::Written);
            } else {
                QCOMPARE(result.outcome, Outcome::Written);
            }
            QCOMPARE(book(), want);
            session.reset();
            env->stopProgram();
        }
        QVERIFY(failed > 0); // the disk was full for some of them
    }

    // A table that could not be read is never saved from, until a load
    // succeeds; a refused save takes back the numbers it gave.
    // Each key finds its lookup text, wherever it lies: small keys by
    // position, others by number, a stored text as it stands.
    void everyKeyShowsItsText_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("shown");
        QTest::newRow("largest by position") << "65535" << "店65535";
        QTest::newRow("just past it") << "65536" << "店65536";
        QTest::newRow("large") << "2000000000" << "店2000000000";
        QTest::newRow("negative") << "-3" << "店-3";
        QTest::newRow("not in the table") << "70000" << EditSession::NoMatch;
        QTest::newRow("past the table's keys") << "9" << EditSession::NoMatch;
    }
    void everyKeyShowsItsText() {
        QFETCH(QString, key);
        QFETCH(QString, shown);
        env->runSql({"insert into shop (shop_id, shop_name) values (65535, '店65535'), "
                     "(65536, '店65536'), (2000000000, '店2000000000'), (-3, '店-3')",
                     "update buy set shop_id = " + key + " where id = 7"});
        QVERIFY(open(1));
        QCOMPARE(session->cell(3, 8), key);
        QCOMPARE(session->cell(3, 3), shown);
    }

    void failedLoadRefusesSaves() {
        QVERIFY(open(1));
        apply({"+", "5:1=卵", "5:3=スーパー"});
        env->runSql({"alter table shop rename to shop_gone"});
        QVERIFY(!session->load().ok);
        QCOMPARE(session->save().outcome, Outcome::NotLoaded);
        env->runSql({"alter table shop_gone rename to shop"});
        const Rows before = book();
        QCOMPARE(session->save().outcome, Outcome::NotLoaded);
        QCOMPARE(book(), before);
        QVERIFY(session->load().ok);
        QCOMPARE(maxRow(), 5);
    }
};

QTEST_GUILESS_MAIN(TestEditSession)
#include "tst_editsession.moc"
