#pragma once
#include <QList>
#include <QString>
#include <QStringList>

// The summary window as its presets window sees it: where the current
// settings are read from when a preset is stored, and where a chosen preset
// is put.
class SumPresetsOwner {
public:
    virtual ~SumPresetsOwner() = default;
    // The further tables of the statement's from part: element k, and the
    // last index (0 with the single empty element that means none).
    virtual QString RetmStrFrTbls_data(int intArg) const = 0;
    virtual int RetmStrFrTbls_ubound() const = 0;
    // The column to total, the condition as typed and as SQL. A condition
    // still being typed in the condition editor is taken over first.
    virtual void ReturnSumSetting(int& intSumCol, QString& strJpSql, QString& strSql) = 0;
    // Puts a whole preset into the window. `intTyps` holding the single -1
    // means no classification; the stored SQL and tables win over the
    // condition editor's own translation of `strJpSql`.
    virtual void SetSumSetting(const QList<int>& intTyps, int intSumCol, const QString& strJpSql,
                               const QString& strSql, const QStringList& strTbls) = 0;
    // The classification columns (indexes into the table's columns) in the
    // order of the window's list.
    virtual QList<int> TypeColumns() const = 0;
};
