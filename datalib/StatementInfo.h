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
