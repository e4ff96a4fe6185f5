#pragma once
#include "ConditionLookup.h"

class clsRellmark;

// The condition editor's lookups on the program's connection: one detached
// record set per query, released before the answer is returned.
class RellmarkConditionLookup final : public ConditionLookup {
public:
    // Without a connection of its own it uses the program's `objDB` at the
    // time of each query.
    explicit RellmarkConditionLookup(clsRellmark* db = nullptr) : mDB(db) {}
    QVariant foreignKey(const ColumnDef& column, const QString& value) override;
    QVariantList foreignKeys(const ColumnDef& column, const QString& value) override;
    QStringList columnValues(const QString& statement) override;
    QString explainFailure(const QString& section, const ColumnDefs& columns, int column) override;

private:
    clsRellmark* connection() const;
    clsRellmark* mDB;
};
