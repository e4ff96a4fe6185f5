#include "RellmarkConditionLookup.h"
#include "ConditionTranslator.h"
#include "clsDBRecord.h"
#include "modMorvi.h"

clsRellmark* RellmarkConditionLookup::connection() const {
    return mDB ? mDB : modMorvi::objDB;
}

QVariant RellmarkConditionLookup::foreignKey(const ColumnDef& column, const QString& value) {
    const QVariantList keys = foreignKeys(column, value);
    return keys.isEmpty() ? QVariant() : keys.first();
}

QVariantList RellmarkConditionLookup::foreignKeys(const ColumnDef& column, const QString& value) {
    const QString sql = foreignKeySql(column, value);
    if (sql.isEmpty()) return {}; // no literal: nothing can match
    clsDBRecord rs;
    rs.setParentConnectClass(connection());
    rs.GetRecordSet_free(sql, false);
    rs.setParentConnectClass(nullptr);
    QVariantList keys;
    if (!(rs.Bof() && rs.Eof())) rs.MoveFirst();
    while (!rs.Bof() && !rs.Eof()) {
        QVariant key = rs.Column(QStringLiteral("RESULT"));
        if (!key.isValid()) key = QVariant(QString()); // a row was found: never "no row"
        if (!keys.contains(key)) keys << key;
        rs.MoveNext();
    }
    rs.CloseRecordSet();
    return keys;
}

QStringList RellmarkConditionLookup::columnValues(const QString& statement) {
    clsDBRecord rs;
    rs.setParentConnectClass(connection());
    rs.GetRecordSet_free(statement, false);
    rs.setParentConnectClass(nullptr);
    QStringList values;
    values.reserve(rs.RowCount());
    if (!(rs.Bof() && rs.Eof())) rs.MoveFirst();
    while (!rs.Eof()) {
        values.append(FieldText(rs.Column_Num(0)));
        rs.MoveNext();
    }
    rs.CloseRecordSet();
    return values;
}

QString RellmarkConditionLookup::explainFailure(const QString& section, const ColumnDefs& columns,
                                                int column) {
    try {
        return CheckForeignColumnInDatabase(section, columns, column);
    } catch (const std::exception&) {
        return QString(); // the failure's own words are all there is
    }
}
