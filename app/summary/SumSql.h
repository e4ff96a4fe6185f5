#pragma once
#include "Catalog.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class clsRellmark;
class usrFlg;

// The settings of one summary: what is totalled, how it is split into groups
// and which rows take part.
struct SumSettings {
    QString table;                       // the table's section name, its name in the database
    const ColumnDefs* columns = nullptr; // indexed from 1; not owned
    int sumCol = 0;                      // the column to total; 0 = none (no numeric column)
    QList<int> types;                    // classification columns, in list order
    QString sql;                         // the condition as SQL; empty = none
    QStringList tables;                  // further tables; one empty entry = none

    int columnCount() const { return columns ? static_cast<int>(columns->size()) - 1 : 0; }
    bool hasColumn(int i) const { return i >= 1 && i <= columnCount(); }
};

// What building the statement gave.
struct SumStatement {
    enum Status {
        Built,      // `text` is the statement
        NotNumeric, // the column to total holds text: `text` is the message, keep the old one
        NoColumn,   // nothing to total (or a column the table lacks): `text` is the message
    };
    Status status = Built;
    QString text;
};

namespace SumMessages {
inline const QString NotNumeric = QStringLiteral("合計を求める項目が数字ではありません。");
inline const QString NoNumericColumn =
    QStringLiteral("このテーブルには合計を求められる数字の項目がありません。");
QString missingColumn(int column);
} // namespace SumMessages

// The SELECT with SUM and GROUP BY for `s`. A function of the settings
// alone: the window shows the text and decides what to do with a message.
SumStatement MakeSumSql(const SumSettings& s);

// The default column to total of a table: the purchase table's amount
// (column 8) where it has one, else its first numeric column; 0 when the
// table has no numeric column.
int defaultSumColumn(const QString& section, const ColumnDefs& columns);

// A total as the grid shows it: digit groups of three, "0" for zero,
// without decimals.
QString formatTotal(qint64 value);
// The same for a value as the database returns it (an integer of any
// width, a floating point number rounded to a whole one, a numeric text).
QString totalText(const QVariant& value);

// One group of a summary's result: its total as the database returned it
// (Null when no row took part) and its classification values as shown.
struct SumRow {
    QVariant total;
    QStringList classes;
};

// A summary's result as plain values: what the grid shows, the chart draws
// and the export writes.
struct SumRows {
    QString totalName = QStringLiteral("合計");
    QStringList typeNames;    // the classification columns' Japanese names
    QList<bool> numericTypes; // per classification column: its shown values are numbers
    bool numericTotal = true; // the totalled column holds numbers
    QList<SumRow> rows;
    // The sum of the shown totals, as a total of its own (Null without rows).
    QVariant grandTotal() const;
};

// A total as a plain number for a file ("18738"): no digit groups, the same
// rounding as the grid.
QString plainTotalText(const QVariant& value);

class CsvWriter;
// The result as a CSV file's rows: the headers, then per group its total as
// a plain number and its classification values (numbers as numbers).
void addSumRows(CsvWriter& csv, const SumRows& rows);

// Runs `statement` on `db` and reads one row per group. Throws RellmarkError
// when the database rejects the statement or the result cannot be read.
SumRows ExecSumSql(clsRellmark* db, const QString& statement, const SumSettings& s);
// Shows `rows` in `grid`: the totals under "合計", then the classification
// columns under their Japanese names, each as wide as the catalog says.
void fillSumGrid(const SumRows& rows, const SumSettings& s, usrFlg& grid);
// Both at once; the grid keeps what it showed when the statement fails.
void ExecSumSql(clsRellmark* db, const QString& statement, const SumSettings& s, usrFlg& grid);
