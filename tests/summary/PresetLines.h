#pragma once
#include "PresetStore.h"
#include "Profile.h"

#include <QString>
#include <QStringList>

// The keys of one preset as the program writes them, for building and
// comparing INI files in tests.
inline QString presetLines(int table, int p, const QString& title, const QStringList& rcond,
                           const QString& sum, const QString& jp = {}, const QString& sql = {},
                           const QStringList& tables = {QString()}) {
    const QString k = presetKeyPrefix(table, p);
    QString s = k + "Title=\"" + title + "\"\n";
    for (int m = 0; m < rcond.size(); ++m)
        s += k + "RCond( " + HexNum(m) + " )=\"" + rcond[m] + "\"\n";
    s += k + "SumColumNumber=\"" + sum + "\"\n";
    s += k + "JpSql=\"" + jp + "\"\n";
    s += k + "Sql=\"" + sql + "\"\n";
    for (int m = 0; m < tables.size(); ++m)
        s += k + "Tables( " + HexNum(m) + " )=\"" + tables[m] + "\"\n";
    return s;
}

// Text with LF line ends as the CP932 bytes of a file with CR LF.
inline QByteArray cp932File(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return Profile::toCp932(t);
}

// One line per preset: title|classification|total|condition|SQL|tables.
inline QStringList describePresets(const QList<SumPreset>& list) {
    QStringList out;
    for (const SumPreset& p : list)
        out << QStringList{p.Title, p.RCond.join(','), p.SumColumNumber, p.JpSql,
                           p.Sql,   p.Tables.join(',')}
                   .join(QLatin1Char('|'));
    return out;
}
