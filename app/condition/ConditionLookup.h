#pragma once
#include "Catalog.h"

#include <QString>
#include <QStringList>
#include <QVariant>

// What the condition editor needs from the database: the key that a foreign
// table holds for a display value, and the values a column offers. The
// program uses the Rellmark connection; tests and benchmarks pass their own.
// Both throw (RellmarkError or TamrocError) when the database fails.
class ConditionLookup {
public:
    virtual ~ConditionLookup() = default;
    // The key of the first row of `column`'s foreign table whose display
    // column equals `value` (a quoted text or a number, as typed); an invalid
    // QVariant when the table has no such row.
    virtual QVariant foreignKey(const ColumnDef& column, const QString& value) = 0;
    // The keys of every row whose display column equals `value`: a lookup
    // table need not hold its texts once. Empty when none does. By default
    // the one key of foreignKey.
    virtual QVariantList foreignKeys(const ColumnDef& column, const QString& value) {
        const QVariant key = foreignKey(column, value);
        return key.isValid() ? QVariantList{key} : QVariantList{};
    }
    // The first field of every row of `statement`, as text (NULL gives "").
    virtual QStringList columnValues(const QString& statement) = 0;
    // After a lookup of foreign column `column` (1..n) of `section` failed:
    // the catalog's account of what the database lacks, naming the section
    // and the key; empty when it has nothing to add.
    virtual QString explainFailure(const QString& section, const ColumnDefs& columns, int column) {
        Q_UNUSED(section);
        Q_UNUSED(columns);
        Q_UNUSED(column);
        return QString();
    }
};
