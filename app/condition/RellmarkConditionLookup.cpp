#include "RellmarkConditionLookup.h"
#include "ConditionTranslator.h"
#include "clsDBRecord.h"
#include "modMorvi.h"

clsRellmark* RellmarkConditionLookup::connection() const {
    return mDB ? mDB : modMorvi::objDB;
}

QVariant RellmarkConditionLookup::foreignKey(const ColumnDef& column, const QString& value) {
    const QString sql = foreignKeySql(column, value);
    if (sql.isEmpty()) return QVariant(); // no literal: nothing can match
    clsDBRecord rs;
    rs.setParentConnectClass(connection());
    rs.GetRecordSet_free(sql, false);
    rs.setParentConnectClass(nullptr);
    QVariant key;
    if (!(rs.Bof() && rs.Eof())) rs.MoveFirst();
    if (!rs.Bof() && !rs.Eof()) {
        key = rs.Column(QStringLiteral("RESULT"));
        if (!key.isValid()) key = QVariant(QString()); // a row was found: never "no row"
    }
    rs.CloseRecordSet();
    return key;
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
