#pragma once
#include <QString>
#include <QStringList>

// What a SELECT statement reads, as far as writing back is concerned: the one
// base table and whether its result columns are that table's own columns.
struct StatementInfo {
    bool updatable = false;
    QString table;  // the base table as written in the statement
    QString reason; // why it is not updatable
};

StatementInfo analyseSelect(const QString& sql);

// A statement as a PostgreSQL server must be given it to answer as SQLite
// does. SQLite puts NULL before every value and returns groups in the order
// of their values; a server puts NULL last and returns groups as they come.
// So each item of the outer ORDER BY gets NULLS FIRST (ascending) or NULLS
// LAST (descending) unless it says otherwise, and an outer GROUP BY without
// ORDER BY gets one by the same items.
//
// SQLite runs only the first statement of a text; a server would run them
// all. A text holding a second statement, or none, is refused: the result
// is empty and *refusal says why.
QString serverStatement(const QString& sql, QString* refusal);
