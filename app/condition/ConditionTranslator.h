#pragma once
#include "Catalog.h"

#include <QString>
#include <QStringList>

class ConditionLookup;

// What the reader of a condition text finds at a position.
enum ConditionTokenKind : int {
    tkEnd = 1,      // only blanks, CR and LF remain
    tkToken = 2,    // operator, parenthesis, keyword or word
    tkQuoted = 3,   // from one "'" to the next, both included
    tkUnclosed = 4, // a "'" that no other "'" closes
};

// Positions count from 1, as the excerpts in the messages do.
struct ConditionToken {
    qsizetype start = 1;
    QString text;
    int kind = tkEnd;
    qsizetype end() const { return start + text.size(); } // the position behind it
};

ConditionToken GetNextToken(const QString& text, qsizetype start);

// Whether an unquoted value is one number as SQL reads it: an optional sign,
// ASCII digits with an optional decimal part, an optional exponent. Nothing
// else may reach a statement unquoted.
bool isConditionNumber(const QString& text);

// The statement that lists the values a column offers: the foreign display
// texts for a foreign-key column, else the column's own values.
QString columnValuesSql(const ColumnDef& column, const QString& section);
// The statement that finds the foreign key of a display value. The value is
// rewritten as a literal of its own (a quoted text with its quotes doubled,
// or a number), so that no typed text can change the statement's meaning;
// empty when the value is neither.
QString foreignKeySql(const ColumnDef& column, const QString& value);

struct ConditionColumn {
    int column = 0; // 1..n
    bool foreign = false;
    bool found = false;
};

struct SqlWhere {
    QString sql;        // empty, or beginning with one blank
    QStringList tables; // further tables for the statement: always one empty entry
    QString message;    // the first error; empty when the condition is valid
};

// Turns a condition written with the Japanese column names of one table into
// the text of an SQL condition over that table, or finds its first error.
class ConditionTranslator {
public:
    // `columns` are indexed from 1 as LoadColumnDefs gives them; the lookup
    // is not owned.
    ConditionTranslator(const QString& section, const ColumnDefs& columns, ConditionLookup* lookup);

    SqlWhere MakeSqlWhere(const QString& text);
    // Reads one condition from `position`, appends its SQL to `sql` and
    // returns the first error, or ")" when the condition stops in front of a
    // closing parenthesis. Errors of the lookup are thrown.
    QString ParseCondition(const QString& text, qsizetype& position, QString& sql,
                           QStringList& tables);
    ConditionColumn FindConditionColumn(const QString& token) const;
    // The foreign key of a display value as it goes into the statement, or
    // empty when the foreign table does not hold the value.
    QString GetForeignKey(int column, const QString& value);
    // Every key that holds the display value, each as it goes into the
    // statement; empty when the foreign table does not hold the value.
    QStringList GetForeignKeys(int column, const QString& value);

    const QString& section() const { return mSection; }
    const ColumnDefs& columns() const { return mColumns; }

private:
    QString parseComparison(const QString& text, const ConditionToken& t1, qsizetype& position,
                            QString& sql, bool& more);

    QString mSection;
    ColumnDefs mColumns;
    ConditionLookup* mLookup;
};
