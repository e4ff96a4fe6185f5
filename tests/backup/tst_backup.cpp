// Backups of the purchase book: what is kept, what is offered, and putting
// one back, from the main menu with editors open.
#include "clsRellmark.h"
#include "BackupStore.h"
#include "DailyBackup.h"
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "Profile.h"
#include "PurchaseBook.h"
#include "frmInput.h"
#include "frmRestore.h"
#include "frmSelect.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QtTest>
#include <csignal>
#if defined(Q_OS_LINUX)
#include <sys/resource.h>
#endif

using namespace modMorvi;

namespace {
QByteArray bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QDateTime Morning(QDate(2026, 1, 1), QTime(9, 0));
} // namespace

class TestBackup : public QObject {
    Q_OBJECT
    std::unique_ptr<FakeDialogs> fake;
    std::unique_ptr<TestEnv> env;
    frmSelect* menu = nullptr;

    BackupStore store() const { return BackupStore(env->dbPath(), env->iniPath()); }
    frmInput* openEditor() {
        menu->cmbTbl->setCurrentIndex(1);
        QTest::mouseClick(menu->cmdShow, Qt::LeftButton);
        return qobject_cast<frmInput*>(Forms::findByTag(QStringLiteral("1")));
    }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        env->writeIni(purchaseCatalog());
        env->runSql(purchaseBook());
        env->startProgram();
        setProgramEndHandler([] {});
        DailyBackup::forget();
        menu = new frmSelect;
    }
    void cleanup() {
        for (QWidget* w : Forms::all())
            delete w;
        env->stopProgram();
        env.reset();
        fake.reset();
    }

    void keepsTheNewestThirty() {
        BackupStore s = store();
        for (int i = 0; i < 32; ++i)
            QCOMPARE(s.make(Morning.addDays(i)), QString());
        QString again;
        QCOMPARE(s.make(Morning.addDays(31), &again), QString());
        QCOMPARE(again, QStringLiteral("Tamroc-20260201-090001")); // a second later
        const QList<BackupEntry> all = s.list();
        QCOMPARE(all.size(), 30);
        QCOMPARE(all.first().stem, again);
        QCOMPARE(all.last().stem, QStringLiteral("Tamroc-20260104-090000"));
        QCOMPARE(QDir(s.folder()).entryList(QDir::Files).size(), 60); // each with its INI
        QCOMPARE(all.first().tables.value(1).jpName + QString::number(all.first().tables[1].rows),
                 QStringLiteral("分類4"));
    }

    void damagedBackupIsListedNotChosen_data() {
        QTest::addColumn<int>("damage");
        QTest::newRow("pages overwritten") << 0;
        QTest::newRow("cut short") << 1;
        QTest::newRow("catalog table missing") << 2;
    }
    void damagedBackupIsListedNotChosen() {
        QFETCH(int, damage);
        BackupStore s = store();
        QCOMPARE(s.make(Morning), QString());
        QString stem;
        QCOMPARE(s.make(Morning.addDays(1), &stem), QString());
        const QString path = s.folder() + "/" + stem + ".mdb";
        if (damage == 2) { // the catalog taken with it names a table the copy lacks
            QVERIFY(Profile::WriteString("gone", "TableJPName", "無い表",
                                         s.folder() + "/" + stem + ".ini"));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (damage == 0) {
                f.seek(4096);
                f.write(QByteArray(8192, '\x55'));
            } else {
                f.resize(f.size() / 2 + 100);
            }
        }
        const QList<BackupEntry> all = s.list();
        QCOMPARE(all.size(), 2);
        QVERIFY2(all[0].damaged(), "the damaged copy passed its check");
        QVERIFY(!all[1].damaged());
        if (damage == 2) QCOMPARE(all[0].damage, QStringLiteral("テーブル gone がありません"));

        frmRestore w(env->dbPath(), env->iniPath(), {}, nullptr);
        QTreeWidgetItem* item = w.lstBackups->topLevelItem(0);
        QCOMPARE(item->flags(), Qt::NoItemFlags);
        QVERIFY(item->text(2).startsWith(QStringLiteral("壊れています：")));
        w.lstBackups->setCurrentItem(w.lstBackups->topLevelItem(1));
        QVERIFY(w.cmdRestore->isEnabled());
        const QByteArray book = bytes(env->dbPath());
        QVERIFY(s.restore(all[0], false, {}).startsWith(QStringLiteral("このバックアップは壊れ")));
        QCOMPARE(bytes(env->dbPath()), book);
    }

    // Restoring from the main menu with an editor open: the editor is asked
    // first, and keeping it open keeps the book as it is.
    void restoreFromTheMenu_data() {
        QTest::addColumn<bool>("withIni");
        QTest::addColumn<bool>("keepEditor");
        QTest::newRow("book only") << false << false;
        QTest::newRow("settings too") << true << false;
        QTest::newRow("editor kept open") << true << true;
    }
    void restoreFromTheMenu() {
        QFETCH(bool, withIni);
        QFETCH(bool, keepEditor);
        QCOMPARE(store().make(Morning), QString());
        const QByteArray oldIni = bytes(env->iniPath());
        env->runSql({"delete from buy where id = 9"});
        QVERIFY(Profile::WriteString("buy", "TableJPName", "買い物", env->iniPath()));
        const QByteArray newIni = bytes(env->iniPath());
        const QByteArray book = bytes(env->dbPath());
        frmInput* ed = openEditor();
        QVERIFY(ed);
        ed->grid()->setField(1, 1, QStringLiteral("食パン"));
        ed->grid()->notifyEdited();

        QTest::mouseClick(menu->cmdRestore, Qt::LeftButton);
        auto* w = menu->findChild<frmRestore*>();
        QVERIFY(w && w->isVisible());
        w->lstBackups->setCurrentItem(w->lstBackups->topLevelItem(0));
        w->chkSettings->setChecked(withIni);
        fake->clear();
        fake->questionAnswers = {Dialogs::Answer::Yes,
                                 keepEditor ? Dialogs::Answer::Cancel : Dialogs::Answer::No};
        QTest::mouseClick(w->cmdRestore, Qt::LeftButton);
        QCOMPARE(fake->shown.size(), 3); // the confirmation, the editor's question, the outcome
        QCOMPARE(fake->shown[1].text, QStringLiteral("保存しますか？？"));
        if (keepEditor) {
            QCOMPARE(fake->shown[2].text,
                     QStringLiteral("閉じられなかった画面があるため、バックアップから戻すのを"
                                    "取りやめました。"));
            QCOMPARE(Forms::findByTag("1"), ed);
            QVERIFY(ed->isModified());
            QCOMPARE(bytes(env->dbPath()), book);
            QCOMPARE(bytes(env->iniPath()), newIni);
            QCOMPARE(store().list().size(), 1);
            return;
        }
        QVERIFY2(fake->shown[2].text.endsWith(QStringLiteral("のバックアップに戻しました。")),
                 qPrintable(fake->shown[2].text));
        QCOMPARE(bytes(env->iniPath()), withIni ? oldIni : newIni);
        QCOMPARE(menu->cmbTbl->itemText(1),
                 withIni ? QStringLiteral("購入") : QStringLiteral("買い物"));
        // the book as it was before is the newest backup now
        const QList<BackupEntry> all = store().list();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all[0].tables[0].rows, 3);
        // the program works on the restored book
        ed = openEditor();
        QVERIFY(ed);
        QCOMPARE(ed->CountDataRows(), 4);
    }

    // The disk fills while the new book is written beside the old one.
    void failedRestoreLeavesTheBookAsItWas() {
#if defined(Q_OS_LINUX)
        BackupStore s = store();
        QCOMPARE(s.make(Morning), QString());
        env->runSql({"delete from buy"});
        QVERIFY(Profile::WriteString("buy", "TableJPName", "買い物", env->iniPath()));
        const QByteArray book = bytes(env->dbPath()), ini = bytes(env->iniPath());
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = old;
        tight.rlim_cur = 6000; // any file written now is cut at 6000 bytes
        setrlimit(RLIMIT_FSIZE, &tight);
        bool released = false;
        const QString why = s.restore(s.list().first(), true, [&] { released = true; });
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!why.isEmpty());
        QVERIFY(!released);
        QCOMPARE(bytes(env->dbPath()), book);
        QCOMPARE(bytes(env->iniPath()), ini);
        QCOMPARE(QDir(env->path() + "/db").entryList(QDir::Files).size(), 2);
#else
        QSKIP("needs a file size limit");
#endif
    }

    // A book SQLite can no longer read is what a restore is for: it goes
    // back, and the damaged file is kept whole in the folder.
    void damagedBookIsRestoredAndKept() {
        BackupStore s = store();
        QCOMPARE(s.make(Morning), QString());
        const QByteArray junk = QByteArray("not a book ").repeated(500);
        {
            QFile f(env->dbPath());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(junk);
        }
        QCOMPARE(s.restore(s.list().last(), false, [] { objDB->DisConnect(); }), QString());
        QCOMPARE(env->rows("select count(*) from buy"), (QList<QStringList>{{"4"}}));
        bool kept = false;
        for (const QFileInfo& f : QDir(s.folder()).entryInfoList({"*.mdb"}, QDir::Files))
            kept = kept || bytes(f.filePath()) == junk;
        QVERIFY(kept);
    }

    void dayBackupBeforeTheFirstSave_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("folder writable") << true;
        QTest::newRow("folder cannot be made") << false;
    }
    void dayBackupBeforeTheFirstSave() {
        QFETCH(bool, writable);
        if (!writable) {
            QFile blocker(store().folder()); // a file where the folder goes
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        frmInput* ed = openEditor();
        for (int i = 0; i < 2; ++i) {
            ed->grid()->setField(1, 4, QString::number(160 + i));
            ed->grid()->notifyEdited();
            QVERIFY(ed->SaveTable());
        }
        QCOMPARE(env->scalar("select price from buy where id = 5").toInt(), 161);
        // the book as it was before the day's first save
        QCOMPARE(store().list().value(0).tables.value(0).rows, writable ? 4 : -1);
        const QStringList messages = fake->messages();
        QCOMPARE(messages.size(), writable ? 0 : 1);
        if (!writable)
            QVERIFY(messages[0].startsWith(QStringLiteral("バックアップを作成できませんでした。")));
    }

    void serverBookIsBackedUpByItsAdministrator() {
        strDbPath = QStringLiteral("postgresql://localhost/tamroc");
        QTest::mouseClick(menu->cmdRestore, Qt::LeftButton);
        QVERIFY(!menu->findChild<frmRestore*>());
        QCOMPARE(fake->messages().size(), 1);
        QVERIFY(fake->messages()[0].contains(QStringLiteral("サーバーの管理者")));
    }

    // A program killed while it makes a backup leaves the book as it was and
    // nothing half written on offer.
    void killedDuringBackup() {
        env->runSql(
            {"with recursive s(n) as (select 10 union all select n + 1 from s where "
             "n < 60000) insert into buy (id, name, price) select n, '品名' || n, n from s"});
        const QByteArray book = bytes(env->dbPath());
        qint64 spanUs = 0;
        int complete = 0, unfinished = 0;
        for (int run = 0; run < 13; ++run) {
            QDir(store().folder()).removeRecursively();
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {"--child-backup", env->path()});
            QVERIFY(child.waitForReadyRead(30000));
            QElapsedTimer t;
            t.start();
            if (run == 0) { // the first run times a whole backup
                QByteArray out = child.readAllStandardOutput();
                while (!out.contains("saved") && child.waitForReadyRead(30000))
                    out += child.readAllStandardOutput();
                spanUs = t.nsecsElapsed() / 1000;
                QVERIFY(child.waitForFinished(30000));
                QCOMPARE(child.exitCode(), 0);
            } else {
                QThread::usleep(static_cast<unsigned long>(spanUs * 1.2 * run / 12));
                child.kill();
                child.waitForFinished();
            }
            QCOMPARE(QCryptographicHash::hash(bytes(env->dbPath()), QCryptographicHash::Sha1),
                     QCryptographicHash::hash(book, QCryptographicHash::Sha1));
            const QList<BackupEntry> offered = store().list();
            for (const BackupEntry& e : offered) {
                QVERIFY2(!e.damaged(), qPrintable(e.damage));
                QCOMPARE(e.tables.value(0).rows, 60000 - 10 + 1 + 4);
            }
            offered.isEmpty() ? ++unfinished : ++complete;
        }
        qInfo("backup of %lld us killed 12 times: %d complete, %d left nothing on offer", spanUs,
              complete - 1, unfinished);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--child-backup")) {
        // the program with its book open, at the day's first save
        FakeDialogs fake;
        InitEnvironmentAt(args[2]);
        std::printf("start\n");
        std::fflush(stdout);
        DailyBackup::beforeSave(nullptr);
        std::printf("saved\n");
        std::fflush(stdout);
        return fake.messages().isEmpty() ? 0 : 4;
    }
    TestBackup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backup.moc"
