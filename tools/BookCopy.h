#pragma once
#include <QString>
#include <QStringList>
#include <functional>

// Moving an account book between an SQLite file and a PostgreSQL server.
namespace BookCopy {

// Copies every table of the book `source` (a file, or a postgresql://
// address) into `destination`: a file that does not exist yet, or a server
// database that holds none of those tables yet. Columns keep their kinds of
// value (whole number, small whole number, text, floating point, decimal,
// bytes), NOT NULL, the primary key and the unique constraints; every row
// is copied. All in one transaction: on any failure nothing is left behind.
// Returns the empty string, or why the copy was refused or failed. Messages
// name servers without their passwords.
QString copy(const QString& source, const QString& destination,
             const std::function<void(const QString&)>& progress = {});

// On a server: the trigger function that gives a row added without its
// whole-number key the greatest key + 1, as SQLite does for its
// INTEGER PRIMARY KEY.
QString rowIdFunctionSql();
// The trigger of that kind on one table's key column (the function must
// exist).
QStringList rowIdSql(const QString& table, const QString& column);

} // namespace BookCopy
