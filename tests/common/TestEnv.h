#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A program folder of its own for one test: db/Tamroc.ini written in CP932
// from the given text, db/Tamroc.mdb built from SQL statements.
//
// With TAMROC_TEST_SERVER set, the same tests run against a PostgreSQL
// server instead (TAMROC_TEST_PG, set by tools/pgcluster.sh, names it): each
// TestEnv gets a database of its own there, dbPath() is its address, and the
// statements are the same SQLite statements, turned into the server's
// dialect where the two differ. Without a server such a run reports itself
// skipped.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;
    QString path() const { return mDir.path(); }
    QString iniPath() const { return path() + QStringLiteral("/db/Tamroc.ini"); }
    // The file, or the address of the test's database on the server.
    QString dbPath() const;

    // Whether this run is against a server.
    static bool onServer();
    // The server's address for a database of the given name.
    static QString serverAddress(const QString& dbname);
    // A statement of the tests in the server's dialect.
    static QString serverSql(const QString& sqliteStatement);

    void writeIni(const QString& utf8Text) const;
    // Runs each statement on the database file (created when missing).
    void runSql(const QStringList& statements) const;
    // One value of a query on a separate connection.
    QVariant scalar(const QString& sql) const;
    QList<QStringList> rows(const QString& sql) const;

    // Sets the program's paths, connection and table list for this folder.
    void startProgram() const;
    void stopProgram() const;

private:
    QTemporaryDir mDir;
    QString mServerDb; // the database's name on the server
};

// For the few tests of what only a file has (its bytes, SQLite's own
// statements and typing).
#define SKIP_ON_SERVER(why)                                                                        \
    do {                                                                                           \
        if (TestEnv::onServer()) QSKIP(why);                                                       \
    } while (false)

// The INI keys of one column, as text for writeIni.
QString iniColumn(int n, const QString& field, const QString& jp, int x, const QString& type,
                  const QString& extra = {});
