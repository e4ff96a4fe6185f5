#pragma once
#include <QList>
#include <QString>
#include <QStringList>

// SQLite's own means on files of the book, through connections of their own
// (never the program's): the online backup, the integrity check, counting.
namespace SqliteCopy {

// Fast: the copy is left to the system's cache to write out (a backup that
// a power cut spoils fails its check and is never offered). Synced: the
// copy is on the disk when copy returns (a file that is to replace the book).
enum class Durability { Fast, Synced };

// Copies the database `source`, read through a connection that only reads,
// consistently even while others have it open, to the new file `target`.
// Returns the empty string, or why not (the target may then be left half
// written: the caller removes it).
QString copy(const QString& source, const QString& target, Durability durability);

// The empty string when SQLite finds the file intact, else what it found.
QString integrity(const QString& path);

struct Counts {
    QString error;      // the file could not be read
    QList<qint64> rows; // per table asked for; -1 for a table that is missing
};
Counts rowCounts(const QString& path, const QStringList& tables);

} // namespace SqliteCopy
