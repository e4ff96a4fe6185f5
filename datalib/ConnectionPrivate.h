#pragma once
#include <QList>
#include <QSqlDatabase>
#include <QString>

// One provider error of the last batch operation.
struct RellmarkProviderError {
    int number;
    QString description;
};

struct RellmarkConnection {
    QString name; // Qt SQL connection name, unique per object
    bool open = false;
    bool inTransaction = false;
    // A PostgreSQL server rather than a file: a failed statement spoils the
    // whole transaction there, unquoted names are folded to lower case, and
    // no row id exists to find a row by.
    bool server = false;
    QList<RellmarkProviderError> errors;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
};

// Keeps the connection's idea of the tables' columns in step with the file
// while one statement is prepared and read.
//
// Qt's SQLite driver sizes a result row from the statement as prepared, then
// takes the first step. When another program has changed a table's columns
// since this connection last read the database's schema, SQLite notices only
// in that step, prepares the statement again with the new columns and the
// driver writes past the row it sized (memory corruption, a crash). Reading
// the schema table first lets SQLite notice the change and reload the schema
// before the real statement is prepared; the savepoint holds the read lock
// (or, in WAL mode, the snapshot) from that read until the result has been
// read, so no change can slip in between. A statement that may itself end
// or begin a transaction (ExecQry's) runs without the savepoint. Other
// drivers need nothing.
class SchemaGuard {
public:
    enum Hold { HoldUntilRead, CheckOnly };
    SchemaGuard(const QSqlDatabase& db, Hold hold);
    ~SchemaGuard();
    SchemaGuard(const SchemaGuard&) = delete;
    SchemaGuard& operator=(const SchemaGuard&) = delete;

private:
    QSqlDatabase mDb;
    bool mActive = false;
};

// On a server, a statement that fails inside a transaction leaves the
// transaction unusable until it is rolled back. A statement that may fail
// without failing the caller's transaction (a record set's open, ExecQry) runs
// inside a savepoint of its own there; a failure rolls back to it, and the
// transaction goes on as it would on a file. Elsewhere it does nothing.
class StatementSavepoint {
public:
    explicit StatementSavepoint(const RellmarkConnection& conn);
    ~StatementSavepoint();
    void failed() { mFailed = true; }
    StatementSavepoint(const StatementSavepoint&) = delete;
    StatementSavepoint& operator=(const StatementSavepoint&) = delete;

private:
    QSqlDatabase mDb;
    bool mActive = false;
    bool mFailed = false;
};

// Turns an engine error into the library's error type.
int providerNumber(const class QSqlError& e);
