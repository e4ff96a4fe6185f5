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

// Turns an engine error into the library's error type.
int providerNumber(const class QSqlError& e);
