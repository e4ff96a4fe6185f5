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
    // The first field of every row of `statement`, as text (NULL gives "").
    virtual QStringList columnValues(const QString& statement) = 0;
};
