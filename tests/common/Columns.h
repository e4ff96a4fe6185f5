#pragma once
// Catalog columns built in code, for tests and fuzz targets that need a
// column list without an INI file.
#include "Catalog.h"

inline ColumnDef column(const QString& jp, const QString& field, ColumnDataType type) {
    ColumnDef c;
    c.JPName = jp;
    c.FieldName = field;
    c.eDataType = type;
    c.GaibuTableName = QStringLiteral("Nothing");
    return c;
}

// A foreign-key column whose texts come from `shown` of `table`.
inline ColumnDef foreignColumn(const QString& jp, const QString& field, ColumnDataType keyType,
                               const QString& table, const QString& shown, const QString& key,
                               ColumnDataType shownType) {
    ColumnDef c = column(jp, field, keyType);
    c.GaibuTableName = table;
    c.GaibuTableColName = shown;
    c.GaibuTableColKey = key;
    c.GaibuTableColeDataType = shownType;
    return c;
}
