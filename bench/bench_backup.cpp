// Backing up a 100,000-purchase book while the program has it open, against a
// bare copy of the book's file in the same run; and the editor's first save
// of the day (which waits for the backup) against a later one.
#include "BackupStore.h"
#include "BenchUtil.h"
#include "Catalog.h"
#include "DailyBackup.h"
#include "PurchaseCatalog.h"
#include "frmInput.h"
#include "modMorvi.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {
void sql(QSqlDatabase& db, const QString& s) {
    QSqlQuery q(db);
    if (!q.exec(s)) qFatal("%s", qPrintable(s));
}

void removeBackups(const QString& folder) {
    QDir(folder).removeRecursively();
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("db");
    const QString dbPath = dir.path() + "/db/Tamroc.mdb";
    const int rows = 100000;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "gen");
        db.setDatabaseName(dbPath);
        db.open();
        sql(db, "create table buy (id integer primary key, y text, m integer, d integer, "
                "cat_id integer, shop_id integer, item text, amount integer, memo text)");
        sql(db, "create table cat (cat_id integer primary key, cat_name text unique)");
        sql(db, "create table shop (shop_id integer primary key, shop_name text unique)");
        sql(db, "begin");
        sql(db, "with recursive s(n) as (select 0 union all select n + 1 from s where n < 99) "
                "insert into cat select n, '分類' || n from s");
        sql(db, "with recursive s(n) as (select 0 union all select n + 1 from s where n < 999) "
                "insert into shop select n, 'お店' || n from s");
        sql(db, QString("with recursive s(n) as (select 1 union all select n + 1 from s where "
                        "n < %1) insert into buy select n, cast(2020 + n % 5 as text), "
                        "n % 12 + 1, n % 28 + 1, n % 100, (n * 7) % 1000, '品名' || (n % 500), "
                        "(n * 37) % 5000 + 100, null from s")
                    .arg(rows));
        sql(db, "commit");
        db.close();
    }
    QSqlDatabase::removeDatabase("gen");
    writePurchaseCatalog(dir.path() + "/db/Tamroc.ini");

    // The book open in the program, its editor loaded, as when the day's
    // first save comes.
    modMorvi::InitEnvironmentAt(dir.path());
    LoadTableList();
    auto* ed = new frmInput;
    ed->mTblNum = 1;
    ed->Form_Load();

    // Copy and backup taken in turns, best of ten each: a disturbance of the
    // machine falls on both alike.
    const QString copyPath = dir.path() + "/copy.mdb";
    BackupStore store(dbPath, modMorvi::strIniPath);
    QDateTime when = QDateTime::currentDateTime();
    QString failure;
    double copy = 1e300, backup = 1e300;
    for (int i = 0; i < 10; ++i) {
        QFile::remove(copyPath);
        copy = std::min(copy, bestOf(1, [&] {
                            if (!QFile::copy(dbPath, copyPath)) qFatal("copy failed");
                        }));
        when = when.addSecs(1);
        backup = std::min(backup, bestOf(1, [&] { failure += store.make(when); }));
        if (i == 3) removeBackups(store.folder());
    }
    const BackupEntry made = store.list().value(0);
    // a folder that already holds the thirty kept: the oldest goes as well
    for (int i = 0; i < BackupStore::Kept; ++i)
        store.make(when.addSecs(100 + i));
    const double rotated = bestOf(5, [&] {
        when = when.addSecs(1000);
        failure += store.make(when);
    });
    const int kept = static_cast<int>(store.list().size());

    // What a save waits for: the day's backup before the first save of the
    // day, nothing more before the later ones.
    double first = 1e300, later = 1e300;
    for (int i = 0; i < 3; ++i) {
        removeBackups(store.folder());
        DailyBackup::forget();
        first = std::min(first, bestOf(1, [&] { DailyBackup::beforeSave(ed); }));
        later = std::min(later, bestOf(1, [&] { DailyBackup::beforeSave(ed); }));
    }
    const bool madeToday = store.hasBackupOf(QDate::currentDate());

    std::printf("book: %d purchases, %lld bytes; backup checked: %s, %lld purchases\n", rows,
                static_cast<long long>(QFileInfo(dbPath).size()),
                made.damaged() ? qPrintable(made.damage) : "intact",
                static_cast<long long>(made.tables.value(0).rows));
    report("bare file copy of the book (QFile::copy)", copy, copy);
    report("backup: online copy of the open book and its INI", backup, copy);
    report("backup into a folder of 30, the oldest removed", rotated, copy);
    report("before the day's first save: the day's backup", first, copy);
    std::printf("before a later save of the day: %.4f ms; day's backup made: %s; backups "
                "kept: %d; %s\n",
                later, madeToday ? "yes" : "NO", kept,
                failure.isEmpty() ? "every backup made" : qPrintable(failure));
    delete ed;
    return 0;
}
