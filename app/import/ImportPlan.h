#pragma once
#include "CsvReader.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// How the records of a statement become rows of a table's grid. No widgets:
// the import window shows what this builds.

// A shown column of the table as the import fills it.
struct ImportColumn {
    QString jpName;
    int gridCol = 0;      // the grid column that takes the text
    bool number = false;  // an integer column (not a foreign one)
    bool foreign = false; // takes the text of the foreign table (a shop's name)
};

// Which field of the file fills a column; a date field can fill a year, a
// month and a day column at once.
struct ColumnSource {
    enum class Part { Whole, Year, Month, Day };
    int field = -1; // from 0; -1 = none
    Part part = Part::Whole;
    bool operator==(const ColumnSource&) const = default;
};

struct ImportSettings {
    QString encoding;
    QChar separator = QLatin1Char(',');
    int skip = 0;       // lines above the data
    bool header = true; // the first line kept names the fields
    QList<ColumnSource> sources; // one per ImportColumn

    // As kept in the INI file, and back; nullopt for a value this program
    // did not write for `columns` columns.
    QString toText() const;
    static std::optional<ImportSettings> fromText(const QString& text, int columns);
};

// A row as it would enter the grid.
struct PlannedRow {
    int line = 0;       // the file's record number, from 1
    QStringList texts;  // one per ImportColumn
    QList<int> bad;     // the columns whose field could not be read
    QString problem;    // why the row cannot be taken whole ("" when it can)
    bool present = false; // the grid holds the same values already
    bool chosen = true;   // taken by 取り込む
};

namespace ImportPlan {

// The field names the file gives (the header line after the skipped ones),
// else 列1, 列2 ...
QStringList fieldNames(const CsvReader::File& file, const ImportSettings& s);
// Settings found from the file: header names equal to the columns' names fill
// them; a field of dates fills the columns whose names speak of a year, a
// month or a day.
ImportSettings guess(const CsvReader::File& file, const QList<ImportColumn>& columns);
// The rows of the file. `present` holds keyOf() of every row already in the
// grid; such rows are marked and not chosen.
QList<PlannedRow> rows(const CsvReader::File& file, const ImportSettings& s,
                       const QList<ImportColumn>& columns, const QSet<QString>& present);
// What two rows must share to be the same purchase: the texts of the
// mapped columns.
QString keyOf(const QStringList& texts, const ImportSettings& s);

// The INI key of a table's settings for files of `fields` fields.
QString settingsKey(int tableNum, int fields);

} // namespace ImportPlan

// The settings last used for a table and a number of fields, kept in the
// AppIni section of the INI file; nullopt when there are none to use.
namespace ImportSettingsStore {
std::optional<ImportSettings> load(const QString& iniPath, int tableNum, int fields, int columns);
// "" when written, else why not (the file is then as it was).
QString save(const QString& iniPath, int tableNum, int fields, const ImportSettings& s);
} // namespace ImportSettingsStore
