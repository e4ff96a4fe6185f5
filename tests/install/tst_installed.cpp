// The program as `cmake --install` lays it out, started from a program folder
// it cannot write to, with a home folder of its own.
#include "BookLocation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestInstalled : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    const QString prefix = QStringLiteral(TAMROC_INSTALLED);
    QString userBook() const { return home.path() + "/.local/share/Tamroc/db/Tamroc.mdb"; }

    // Starts the installed program and ends it once it holds the user's book
    // open; false when it never did.
    bool startAndFindBookOpen() {
        QProcess tamroc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.remove("XDG_DATA_HOME");
        env.remove("TAMROC_DATABASE");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        tamroc.setProcessEnvironment(env);
        tamroc.start(prefix + "/bin/Tamroc", {});
        if (!tamroc.waitForStarted()) return false;
        const QString fds = QStringLiteral("/proc/%1/fd").arg(tamroc.processId());
        bool open = false;
        for (int tries = 0; tries < 200 && !open; ++tries) {
            QTest::qWait(50);
            for (const QFileInfo& fd : QDir(fds).entryInfoList(QDir::Files | QDir::System))
                open = open || fd.symLinkTarget() == userBook();
        }
        tamroc.kill();
        tamroc.waitForFinished();
        return open;
    }

    QString firstMemo() const {
        QSqlDatabase db = QSqlDatabase::database("book");
        QSqlQuery q(db);
        q.exec("select memo from buy_tbl order by buy_id limit 1");
        return q.next() ? q.value(0).toString() : QStringLiteral("(no row)");
    }

private slots:
    void theBookLivesInTheUsersFolder() {
        QVERIFY(QFile::exists(prefix + "/bin/Tamroc"));
        QVERIFY(!QFile::exists(prefix + "/bin/db"));
        QVERIFY(startAndFindBookOpen());
        QVERIFY(QFile::exists(home.path() + "/.local/share/Tamroc/db/Tamroc.ini"));

        // an edit saved in the user's book is there at the next start
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "book");
            db.setDatabaseName(userBook());
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(
                "update buy_tbl set memo = '自分の記録' where buy_id = (select min(buy_id) from buy_tbl)"));
            QCOMPARE(firstMemo(), QStringLiteral("自分の記録"));
            db.close();
        }
        QVERIFY(startAndFindBookOpen());
        QSqlDatabase::database("book").open();
        QCOMPARE(firstMemo(), QStringLiteral("自分の記録"));
        QSqlDatabase::database("book").close();

        // what the location says the first time, and never again
        const QString user = home.path() + "/.local/share/Tamroc";
        QFile::remove(userBook());
        const BookLocation first = locateBook(prefix + "/bin", user);
        QCOMPARE(first.dataDir, user);
        QCOMPARE(first.iconDir, prefix + "/share/tamroc/Icons/");
        QVERIFY(first.notice.contains(QDir::toNativeSeparators(userBook())));
        QVERIFY(locateBook(prefix + "/bin", user).notice.isEmpty());
    }

    // A program folder with a writable db/ keeps everything beside it.
    void aProgramFolderWithItsOwnBookKeepsIt() {
        QTemporaryDir folder;
        QDir(folder.path()).mkpath("db");
        const BookLocation here = locateBook(folder.path(), home.path() + "/unused");
        QCOMPARE(here.dataDir, folder.path());
        QCOMPARE(here.iconDir, folder.path() + "/Icons/");
        QVERIFY(here.notice.isEmpty());
        QVERIFY(!QFile::exists(home.path() + "/unused"));
    }
};

QTEST_MAIN(TestInstalled)
#include "tst_installed.moc"
