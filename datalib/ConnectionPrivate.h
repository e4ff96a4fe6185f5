#pragma once
#include <atomic>
#include "RellmarkError.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <optional>

class QSqlQuery;

// One provider error of the last batch operation.
struct RellmarkProviderError {
    int number;
    QString description;
    RellmarkError::Kind kind = RellmarkError::Kind::Other;
    bool reconnect = false;
    RellmarkProviderError() = default;
    RellmarkProviderError(int n, const QString& d,
                          RellmarkError::Kind k = RellmarkError::Kind::Other)
        : number(n), description(d), kind(k) {}
    explicit RellmarkProviderError(const RellmarkError& e)
        : number(e.number()), description(e.description()), kind(e.kind()),
          reconnect(e.reconnectMayHelp()) {}
};

struct RellmarkConnection {
    QString name; // Qt SQL connection name, unique per object
    // Which opening of the program's connections this is: a reader that
    // outlives one call finds by it that the connection was opened again.
    quint64 opening = nextOpening();
    static quint64 nextOpening() {
        static std::atomic<quint64> n{0};
        return ++n;
    }
    bool open = false;
    bool inTransaction = false;
    // A PostgreSQL server rather than a file: a failed statement spoils the
    // whole transaction there, unquoted names are folded to lower case, and
    // no row id exists to find a row by.
    bool server = false;
    QList<RellmarkProviderError> errors;
    // On a server: how long a statement may go without an answer before the
    // connection is given up (the statement time-out and a margin; 0: never).
    int answerLimitMs = 0;

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
// What kind of failure the driver's error is, from the engine's own codes
// (SQLite's result codes, PostgreSQL's SQLSTATE) and the connection's state.
// `reconnect` (optional) tells whether opening the connection again may help.
RellmarkError::Kind errorKind(const RellmarkConnection& conn, const QSqlError& e,
                              bool* reconnect = nullptr);
RellmarkError errorOf(const RellmarkConnection& conn, const QSqlError& e);
// Whether the database still holds a transaction open on this connection
// (one that a failed statement spoiled on a server counts as open: it is
// still to be rolled back). A database ends one by itself on a full disk, an
// I/O error or a lost connection.
bool transactionOpen(const RellmarkConnection& conn);
// Runs one statement of a read or a write: `sql`, or the prepared statement
// without it. It is counted (see RellmarkFaults), it runs only while the
// transaction it belongs to is open (`inTransaction`), and on a server it is
// given up when the server does not answer in time. Returns the error, with
// text, of a statement that did not run or failed.
std::optional<RellmarkError> runStatement(RellmarkConnection& conn, QSqlQuery& q,
                                          const QString* sql, bool inTransaction);
// runStatement in two halves, for a statement that needs something between
// the check and the statement itself.
std::optional<RellmarkError> beforeStatement(RellmarkConnection& conn, bool inTransaction);
std::optional<RellmarkError> execWatched(RellmarkConnection& conn, QSqlQuery& q,
                                         const QString* sql);
// Whether the connection is gone (closed, or a server's connection broken).
bool connectionGone(const RellmarkConnection& conn);
RellmarkError connectionLost();
// Keeps a server's answer watched while internal statements run as well.
class AnswerWatch {
public:
    explicit AnswerWatch(const RellmarkConnection& conn);
    ~AnswerWatch();
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;

private:
    quint64 mToken = 0;
};
