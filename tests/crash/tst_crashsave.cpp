// Killing the program in the middle of a save must never cost the user data:
// whenever the process dies (SIGKILL, a power cut as far as the process can
// tell), the account book is intact and holds either everything it held
// before the save or everything the save wrote, and an INI file is byte for
// byte either the old or the new file.
//
// Each run starts this program again as a child that performs one save and
// announces its start on stdout; the parent kills it after a random delay
// spread over the whole save and then inspects the files. TAMROC_CRASH_RUNS
// sets the number of runs (20 by default; as many saves again on a small
// disk that runs full at a random byte, where the machine lets the test
// mount one), TAMROC_CRASH_ROWS the size of the purchase table,
// TAMROC_CRASH_SEED the random seed (printed by every run).
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "PresetStore.h"
#include "Profile.h"
#include "SmallDisk.h"
#include "TestEnv.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUuid>
#include <QtTest>
#include <cstdio>
#include <functional>

namespace {

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

// ---- the purchase book ------------------------------------------------------

// Grid columns: 0 番号, 1 品名, 2 分類 (text of cat_id), 3 店 (text of
// shop_id), 4 金額, 5 数量, then the hidden keys and the row flag.
QString catalogText() {
    QString ini = "[AppIni]\nPreset1=kept\n[buy]\nTableJPName=購入\n";
    ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1;Unique=1");
    ini += iniColumn(2, "name", "品名", 1, "eText", "CheckInputTextLength=40");
    ini += iniColumn(3, "cat_id", "分類", 2, "eInteger",
                     "GaibuTableName=cat;GaibuTableColName=cat_name;GaibuTableColKey=cat_id;"
                     "GaibuTableColeDataType=eText;InputPlus=1;NullPermmit=1");
    ini += iniColumn(4, "shop_id", "店", 3, "eInteger",
                     "GaibuTableName=shop;GaibuTableColName=shop_name;GaibuTableColKey=shop_id;"
                     "GaibuTableColeDataType=eText;InputPlus=1;NullPermmit=1");
    ini += iniColumn(5, "price", "金額", 4, "eInteger", "NullPermmit=1");
    ini += iniColumn(6, "qty", "数量", 5, "eSmallint", "NullPermmit=1");
    return ini;
}

QStringList bookSql(int rows) {
    return {"create table buy (id integer primary key, name text not null, cat_id integer, "
            "shop_id integer, price integer, qty smallint)",
            "create table cat (cat_id integer primary key, cat_name text unique)",
            "create table shop (shop_id integer primary key, shop_name text unique)",
            "begin",
            "with recursive s(n) as (select 0 union all select n + 1 from s where n < 29) "
            "insert into cat select n * 2, '分類' || n from s",
            "with recursive s(n) as (select 0 union all select n + 1 from s where n < 199) "
            "insert into shop select n, 'お店' || n from s",
            QStringLiteral(
                "with recursive s(n) as (select 1 union all select n + 1 from s where n < %1) "
                "insert into buy select n, '品名' || n, (n % 30) * 2, n % 200, n * 3 % 5000, "
                "n % 7 from s")
                .arg(rows),
            "commit"};
}

// The save under test: every row's amount changed, rows added with new
// category and shop texts, rows deleted. Deterministic, so that every run
// has the same "after".
constexpr int AddedRows = 50, DeletedRows = 20, NewCategories = 7;

void editBook(frmInput* ed) {
    usrFlg* g = ed->grid();
    for (int r = 1; r < g->MaxRow(); ++r)
        g->setField(r, 4, QString::number(g->Field(r, 4).toInt() + 1));
    for (int r = 1; r <= 70; ++r)
        g->setField(r * 3, 2, QStringLiteral("新分類%1").arg(r % NewCategories));
    for (int i = 0; i < DeletedRows; ++i) {
        const int r = 10 + i * 7;
        g->setRow(r);
        g->setCol(0);
        g->setRowSel(r);
        g->setColSel(g->MaxCol() - 1);
        g->EditRowDelete();
    }
    for (int i = 0; i < AddedRows; ++i) {
        g->RowAddWithNum(1, 1);
        g->setField(1, 1, QStringLiteral("追加%1").arg(i));
        g->setField(1, 2, QStringLiteral("新分類%1").arg(i % NewCategories));
        g->setField(1, 3,
                    i % 2 ? QStringLiteral("新しい店%1").arg(i % 3) : QStringLiteral("お店1"));
        g->setField(1, 4, QString::number(100 + i));
        g->setField(1, 5, QString::number(i % 5));
    }
    g->notifyEdited();
}

// Runs in the child: opens the editor on the folder's book, edits, saves.
int childSave(const QString& folder) {
    FakeDialogs fake;
    modMorvi::InitEnvironmentAt(folder);
    LoadTableList();
    auto* ed = new frmInput;
    ed->mTblNum = 1;
    Forms::setTag(ed, QStringLiteral("1"));
    if (!ed->Form_Load()) return 3;
    ed->finishLoading();
    editBook(ed);
    std::printf("start\n");
    std::fflush(stdout);
    ed->action(QStringLiteral("mnuFileSave"))->trigger();
    // the save is over: what follows (closing, the sanitizer's leak scan) is
    // not part of the span the kills are spread over
    std::printf("saved\n");
    std::fflush(stdout);
    const bool saved = !ed->isModified() && fake.messages().isEmpty();
    for (const QString& m : fake.messages())
        std::fprintf(stderr, "message: %s\n", qPrintable(m));
    ed->setUnloadApproved();
    delete ed;
    modMorvi::setProgramEndHandler([] {});
    modMorvi::EndProgram();
    return saved ? 0 : 4;
}

// ---- INI rewrites -----------------------------------------------------------

// A catalog large enough that its rewrite takes a while: many tables before
// and after the key that changes.
QByteArray largeIni() {
    QString ini = catalogText();
    for (int t = 0; t < 2000; ++t) {
        ini += QStringLiteral("[table%1]\nTableJPName=表%1\n").arg(t);
        ini += iniColumn(1, "id", "番号", 0, "eInteger", "MainKey=1");
    }
    ini.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return Profile::toCp932(ini);
}

// One rewrite of an INI file that the user keeps. `write` runs in the child.
struct Rewrite {
    const char* name;
    std::function<bool(const QString& iniPath)> write;
};

QList<Rewrite> rewrites() {
    return {
        {"profile key",
         [](const QString& path) {
             return Profile::WriteString(QStringLiteral("table1000"), QStringLiteral("TableJPName"),
                                         QStringLiteral("書き換えた名前"), path);
         }},
        {"profile new section",
         [](const QString& path) {
             return Profile::WriteString(QStringLiteral("新しい表"), QStringLiteral("TableJPName"),
                                         QStringLiteral("新"), path);
         }},
        {"profile section removed",
         [](const QString& path) {
             return Profile::WriteString(QStringLiteral("table5"), QString(), QString(), path);
         }},
        {"preset store",
         [](const QString& path) {
             // a preset of the purchase table added through the store: every
             // preset key of the table is written again in one rewrite
             PresetStore store(path, 1, QStringLiteral("購入"));
             if (!store.load().isEmpty()) return false;
             SumPreset p;
             p.Title = QStringLiteral("店ごとの総額");
             p.RCond = {QStringLiteral("3")};
             p.SumColumNumber = QStringLiteral("4");
             return store.add(p).isEmpty();
         }},
    };
}

int childRewrite(const QString& name, const QString& path) {
    for (const Rewrite& r : rewrites())
        if (name == QLatin1String(r.name)) {
            std::printf("start\n");
            std::fflush(stdout);
            const bool ok = r.write(path);
            std::printf("saved\n");
            std::fflush(stdout);
            return ok ? 0 : 4;
        }
    return 2;
}

// ---- inspecting the files -----------------------------------------------------

// The whole content of a database, types included (quote() tells 1 from '1'
// and from 1.0), and whether SQLite finds it intact. Opening it rolls back
// whatever a killed writer left in its journal.
struct DbState {
    QString integrity;
    QString content;
};

DbState inspect(const QString& path) {
    DbState s;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("pragma integrity_check"));
            while (q.next())
                s.integrity += q.value(0).toString() + QLatin1Char('\n');
            QStringList tables;
            q.exec(QStringLiteral("select name, sql from sqlite_master order by name"));
            while (q.next()) {
                s.content += q.value(0).toString() + QLatin1Char(':') + q.value(1).toString() +
                             QLatin1Char('\n');
                if (q.value(1).toString().startsWith(QLatin1String("CREATE TABLE"),
                                                     Qt::CaseInsensitive))
                    tables << q.value(0).toString();
            }
            for (const QString& t : tables) {
                QStringList cols;
                q.exec(QStringLiteral("pragma table_info(%1)").arg(t));
                while (q.next())
                    cols << QStringLiteral("quote(%1)").arg(q.value(1).toString());
                q.exec(QStringLiteral("select %1 from %2 order by rowid")
                           .arg(cols.join(QStringLiteral(" || ',' || ")), t));
                while (q.next())
                    s.content += t + QLatin1Char('|') + q.value(0).toString() + QLatin1Char('\n');
            }
            q.finish();
            db.close();
        } else {
            s.integrity = QStringLiteral("cannot open");
        }
    }
    QSqlDatabase::removeDatabase(name);
    return s;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// ---- running and killing the child ------------------------------------------

struct ChildRun {
    bool finished = false; // ended by itself before the kill
    int exitCode = -1;
    qint64 elapsedUs = 0; // from the start of its save to the save's end (when finished)
    QByteArray errors;
};

// Starts the child; once it announces the save, waits `killAfterUs` and kills
// it (a negative delay lets it finish).
ChildRun runChild(const QStringList& args, qint64 killAfterUs) {
    ChildRun run;
    QProcess p;
    p.setProgram(QCoreApplication::applicationFilePath());
    p.setArguments(args);
    p.start();
    if (!p.waitForStarted(30000)) qFatal("child did not start");
    QByteArray out;
    while (!out.contains("start\n")) {
        if (!p.waitForReadyRead(120000)) {
            p.kill();
            p.waitForFinished();
            run.errors = p.readAllStandardError();
            qFatal("child did not start its save: %s", run.errors.constData());
        }
        out += p.readAllStandardOutput();
    }
    QElapsedTimer t;
    t.start();
    if (killAfterUs >= 0) {
        QThread::usleep(static_cast<unsigned long>(killAfterUs));
        if (p.state() != QProcess::NotRunning) p.kill();
    } else {
        while (!out.contains("saved\n") && p.waitForReadyRead(120000))
            out += p.readAllStandardOutput();
        run.elapsedUs = t.nsecsElapsed() / 1000;
    }
    p.waitForFinished(-1);
    if (run.elapsedUs == 0) run.elapsedUs = t.nsecsElapsed() / 1000;
    run.finished = p.exitStatus() == QProcess::NormalExit;
    run.exitCode = p.exitCode();
    run.errors = p.readAllStandardError();
    return run;
}

// Kill moments spread over the whole of a save (and a little beyond it):
// one random moment in each of `runs` equal slices.
QList<qint64> killMoments(int runs, qint64 saveUs, QRandomGenerator& random) {
    QList<qint64> moments;
    const double span = saveUs * 1.2;
    for (int i = 0; i < runs; ++i)
        moments << static_cast<qint64>(span * (i + random.generateDouble()) / runs);
    return moments;
}

} // namespace

class TestCrashSave : public QObject {
    Q_OBJECT
    int runs = 20;
    int rows = 5000;
    quint32 seed = 0;

private slots:
    void initTestCase() {
        runs = envNumber("TAMROC_CRASH_RUNS", 20);
        rows = envNumber("TAMROC_CRASH_ROWS", 5000);
        seed = qEnvironmentVariable("TAMROC_CRASH_SEED").toUInt();
        if (seed == 0) seed = QRandomGenerator::global()->generate() | 1u;
        qInfo("runs %d, rows %d, seed %u", runs, rows, seed);
    }

    void editorSaveIsAllOrNothing() {
        TestEnv base;
        base.writeIni(catalogText());
        base.runSql(bookSql(rows));
        const DbState before = inspect(base.dbPath());
        QCOMPARE(before.integrity, QStringLiteral("ok\n"));

        // The save left to finish gives the state after it.
        TestEnv done;
        QVERIFY(QFile::copy(base.iniPath(), done.iniPath()));
        QVERIFY(QFile::copy(base.dbPath(), done.dbPath()));
        const ChildRun full = runChild({QStringLiteral("--child-save"), done.path()}, -1);
        QVERIFY2(full.finished && full.exitCode == 0, full.errors.constData());
        const DbState after = inspect(done.dbPath());
        QCOMPARE(after.integrity, QStringLiteral("ok\n"));
        QVERIFY(after.content != before.content);
        QCOMPARE(done.scalar("select count(*) from buy").toInt(), rows + AddedRows - DeletedRows);
        QCOMPARE(done.scalar("select count(*) from cat where cat_name like '新分類%'").toInt(),
                 NewCategories);
        QCOMPARE(done.scalar("select count(*) from buy where id <= 9 and price = id * 3 % 5000 + 1")
                     .toInt(),
                 9);

        QRandomGenerator random(seed);
        int asBefore = 0, asAfter = 0, finishedFirst = 0;
        for (qint64 moment : killMoments(runs, full.elapsedUs, random)) {
            TestEnv env;
            QVERIFY(QFile::copy(base.iniPath(), env.iniPath()));
            QVERIFY(QFile::copy(base.dbPath(), env.dbPath()));
            const ChildRun run = runChild({QStringLiteral("--child-save"), env.path()}, moment);
            if (run.finished) {
                QVERIFY2(run.exitCode == 0, run.errors.constData());
                ++finishedFirst;
            }
            const DbState s = inspect(env.dbPath());
            const QString where =
                QStringLiteral("killed %1 us into the save (seed %2)").arg(moment).arg(seed);
            QVERIFY2(s.integrity == QLatin1String("ok\n"), qPrintable(s.integrity + where));
            if (s.content == before.content)
                ++asBefore;
            else if (s.content == after.content)
                ++asAfter;
            else
                QFAIL(qPrintable(QStringLiteral("neither before nor after: ") + where));
        }
        qInfo("save of %d rows killed %d times: %d as before, %d as after (%d of them had "
              "finished), 0 mixed, 0 corrupt; the whole save took %lld ms",
              rows, runs, asBefore, asAfter, finishedFirst, full.elapsedUs / 1000);
    }

    // The same save on a real small disk that runs full at a random byte:
    // the book is intact and holds all of the save or none of it, and the
    // program said that it saved exactly when it did.
    void editorSaveOnAFullDisk() {
        TestEnv base;
        base.writeIni(catalogText());
        base.runSql(bookSql(rows));
        const qint64 bookSize = QFileInfo(base.dbPath()).size();
        SmallDisk probe(3 * bookSize + 2 * 1024 * 1024);
        if (!probe.mounted()) QSKIP("this machine does not let the test mount a small disk");
        const DbState before = inspect(base.dbPath());
        TestEnv done;
        QVERIFY(QFile::copy(base.iniPath(), done.iniPath()));
        QVERIFY(QFile::copy(base.dbPath(), done.dbPath()));
        QVERIFY(runChild({QStringLiteral("--child-save"), done.path()}, -1).exitCode == 0);
        const DbState after = inspect(done.dbPath());

        QRandomGenerator random(seed);
        int asBefore = 0, asAfter = 0;
        for (int i = 0; i < runs; ++i) {
            SmallDisk disk(3 * bookSize + 2 * 1024 * 1024);
            TestEnv env;
            QVERIFY(QFile::copy(base.iniPath(), env.iniPath()));
            const QString onDisk = disk.path() + QStringLiteral("/Tamroc.mdb");
            QVERIFY(QFile::copy(base.dbPath(), onDisk));
            QVERIFY(QFile::link(onDisk, env.dbPath()));
            const qint64 left = random.bounded(2 * bookSize);
            disk.fill(left);
            const ChildRun run = runChild({QStringLiteral("--child-save"), env.path()}, -1);
            const QString where = QStringLiteral("%1 bytes left (seed %2)").arg(left).arg(seed);
            QVERIFY2(run.finished, qPrintable(where));
            disk.release();
            const DbState s = inspect(onDisk);
            QVERIFY2(s.integrity == QLatin1String("ok\n"), qPrintable(s.integrity + where));
            if (s.content == before.content) {
                ++asBefore;
                QVERIFY2(run.exitCode == 4, qPrintable("not saved, yet no word: " + where));
            } else if (s.content == after.content) {
                ++asAfter;
                QVERIFY2(run.exitCode == 0, qPrintable("saved, yet a message: " + where));
            } else {
                QFAIL(qPrintable(QStringLiteral("neither before nor after: ") + where));
            }
        }
        qInfo("save of %d rows on a full disk %d times: %d as before, %d as after", rows, runs,
              asBefore, asAfter);
    }

    void iniRewriteIsAllOrNothing_data() {
        QTest::addColumn<QString>("rewrite");
        for (const Rewrite& r : rewrites())
            QTest::newRow(r.name) << QString::fromLatin1(r.name);
    }
    void iniRewriteIsAllOrNothing() {
        QFETCH(QString, rewrite);
        TestEnv base;
        QFile f(base.iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(largeIni());
        f.close();
        {
            // presets already stored, which a preset rewrite writes again
            PresetStore store(base.iniPath(), 1, QStringLiteral("購入"));
            QCOMPARE(store.load(), QString());
            for (int i = 0; i < 20; ++i) {
                SumPreset p;
                p.Title = QStringLiteral("集計%1").arg(i);
                p.RCond = {QString::number(i % 4), QStringLiteral("2")};
                p.SumColumNumber = QStringLiteral("4");
                p.JpSql = QStringLiteral("金額 > %1").arg(i * 100);
                p.Sql = QStringLiteral("price > %1").arg(i * 100);
                QCOMPARE(store.add(p), QString());
            }
        }
        const QByteArray old = readAll(base.iniPath());

        TestEnv done;
        QVERIFY(QFile::copy(base.iniPath(), done.iniPath()));
        const ChildRun full =
            runChild({QStringLiteral("--child-ini"), rewrite, done.iniPath()}, -1);
        QVERIFY2(full.finished && full.exitCode == 0, full.errors.constData());
        const QByteArray fresh = readAll(done.iniPath());
        QVERIFY(fresh != old);

        QRandomGenerator random(seed);
        int asOld = 0, asNew = 0;
        for (qint64 moment : killMoments(runs, full.elapsedUs, random)) {
            TestEnv env;
            QVERIFY(QFile::copy(base.iniPath(), env.iniPath()));
            runChild({QStringLiteral("--child-ini"), rewrite, env.iniPath()}, moment);
            const QByteArray now = readAll(env.iniPath());
            if (now == old)
                ++asOld;
            else if (now == fresh)
                ++asNew;
            else
                QFAIL(qPrintable(QStringLiteral("INI file neither old nor new: killed %1 us "
                                                "into the rewrite (seed %2)")
                                     .arg(moment)
                                     .arg(seed)));
        }
        qInfo("%s killed %d times: %d old, %d new, 0 other", qPrintable(rewrite), runs, asOld,
              asNew);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--child-save")) return childSave(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("--child-ini"))
        return childRewrite(args[2], args[3]);
    // A long run outlasts the test library's watchdog of five minutes per test.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT",
                QByteArray::number(300000 + envNumber("TAMROC_CRASH_RUNS", 20) * 60000));
    TestCrashSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsave.moc"
