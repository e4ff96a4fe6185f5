#include "SumSql.h"
#include "CsvWriter.h"
#include "TamrocError.h"
#include "clsDBRecord.h"
#include "clsRellmark.h"
#include "usrFlg.h"

#include <QtNumeric>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

QString SumMessages::missingColumn(int column) {
    return QStringLiteral("列番号 %1 の項目はこのテーブルにありません。").arg(column);
}

SumStatement MakeSumSql(const SumSettings& s) {
    if (s.sumCol == 0) return {SumStatement::NoColumn, SumMessages::NoNumericColumn};
    if (!s.hasColumn(s.sumCol))
        return {SumStatement::NoColumn, SumMessages::missingColumn(s.sumCol)};
    for (int c : s.types)
        if (!s.hasColumn(c)) return {SumStatement::NoColumn, SumMessages::missingColumn(c)};
    const ColumnDefs& cols = *s.columns;
    const QString& t = s.table;
    const ColumnDef& sum = cols[s.sumCol];
    if (!isNumberType(sum.eDataType)) return {SumStatement::NotNumeric, SumMessages::NotNumeric};

    QString q;
    q.reserve(160 + 120 * s.types.size() + s.sql.size());
    q += QStringLiteral("select sum( ") + t + QLatin1Char('.') + sum.FieldName +
         QStringLiteral(" ) as SUM");
    for (int i : s.types) {
        const ColumnDef& c = cols[i];
        if (IsForeignColumn(c)) {
            const QString& g = c.GaibuTableName;
            q += QStringLiteral(", (select ") + g + QLatin1Char('.') + c.GaibuTableColName +
                 QStringLiteral(" from ") + g + QStringLiteral(" where ") + g + QLatin1Char('.') +
                 c.GaibuTableColKey + QStringLiteral(" = ") + t + QLatin1Char('.') + c.FieldName +
                 QStringLiteral(" ) AS ") + g + c.GaibuTableColName;
        } else {
            q += QStringLiteral(" , ") + t + QLatin1Char('.') + c.FieldName +
                 QStringLiteral(" as ") + t + c.FieldName;
        }
    }
    q += QStringLiteral(" from ") + t;
    if (!s.tables.isEmpty() && !s.tables.first().isEmpty())
        for (const QString& more : s.tables)
            q += QStringLiteral(", ") + more;
    if (!s.sql.isEmpty()) q += QStringLiteral(" where ") + s.sql;
    if (!s.types.isEmpty()) {
        q += QStringLiteral(" group by");
        bool first = true;
        for (int i : s.types) {
            if (!first) q += QLatin1Char(',');
            first = false;
            // a foreign-key column is grouped by its key, not by the text shown
            q += QLatin1Char(' ') + t + QLatin1Char('.') + cols[i].FieldName;
        }
    }
    return {SumStatement::Built, q};
}

int defaultSumColumn(const QString& section, const ColumnDefs& columns) {
    const int n = static_cast<int>(columns.size()) - 1;
    // The purchase table totals its amount. A catalog whose purchase table
    // is shorter falls back on the rule for every other table.
    if (section.toLower() == QLatin1String("buy_tbl") && n >= 8) return 8;
    for (int i = 1; i <= n; ++i)
        if (isNumberType(columns[i].eDataType)) return i;
    return 0;
}

QString formatTotal(qint64 value) {
    // the magnitude as unsigned: the most negative value has no positive twin
    const bool negative = value < 0;
    quint64 m = negative ? quint64(0) - static_cast<quint64>(value) : static_cast<quint64>(value);
    QString digits = QString::number(m);
    QString out;
    out.reserve(digits.size() + digits.size() / 3 + 1);
    if (negative) out += QLatin1Char('-');
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += QLatin1Char(',');
        out += digits[i];
    }
    return out;
}

namespace {
// A whole number too large for 64 bits, written out and grouped.
QString formatLarge(double d) {
    QString digits = QString::number(std::fabs(d), 'f', 0);
    QString out;
    if (d < 0) out += QLatin1Char('-');
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += QLatin1Char(',');
        out += digits[i];
    }
    return out;
}

QString formatDouble(double d) {
    if (!std::isfinite(d)) return QString::number(d);
    const double r = std::round(d); // halves away from zero, as the format pattern rounds
    if (r >= -9.2e18 && r <= 9.2e18) return formatTotal(static_cast<qint64>(r));
    return formatLarge(r);
}
} // namespace

QString totalText(const QVariant& value) {
    if (value.isNull() || !value.isValid()) return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
        return formatTotal(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar: {
        const quint64 u = value.toULongLong();
        if (u <= quint64(std::numeric_limits<qint64>::max()))
            return formatTotal(static_cast<qint64>(u));
        return formatLarge(static_cast<double>(u));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return formatDouble(value.toDouble());
    default:
        break;
    }
    // a driver that hands numbers over as text (decimal types)
    const QString text = value.toString();
    qint64 whole = 0;
    if (parsePlainInteger(text, whole)) return formatTotal(whole);
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    return ok ? formatDouble(d) : text;
}

namespace {
// A classification value as the grid shows it. A value its column's type
// cannot hold (a text in a number column, a number beyond its range) is
// shown as the database holds it: one odd row must not stop the summary.
QString classText(const QVariant& v, ColumnDataType type) {
    if (v.isNull() || !v.isValid()) return QString();
    const QString raw = v.toString();
    try {
        return FieldText(ToFieldValue(raw, type));
    } catch (const TamrocError&) {
        return raw;
    }
}

// Turns drawing off for a fill and back on at its end, also after a failure.
struct NoRedraw {
    usrFlg& grid;
    bool was;
    explicit NoRedraw(usrFlg& g) : grid(g), was(g.Redraw()) { grid.setRedraw(false); }
    ~NoRedraw() { grid.setRedraw(was); }
};

qint32 doubledWidth(qint32 w) {
    const qint64 d = qint64(w) * 2;
    return static_cast<qint32>(std::clamp<qint64>(d, 0, std::numeric_limits<qint32>::max()));
}
} // namespace

SumRows ExecSumSql(clsRellmark* db, const QString& statement, const SumSettings& s) {
    for (int c : s.types)
        if (!s.hasColumn(c)) throw TamrocError(SumMessages::missingColumn(c));

    auto objRecord = std::make_unique<clsDBRecord>();
    objRecord->setParentConnectClass(db);
    objRecord->GetRecordSet_free(statement, false, QStringLiteral("aa"));
    objRecord->setParentConnectClass(nullptr);

    const ColumnDefs& cols = *s.columns;
    const int n = static_cast<int>(s.types.size());
    // The values are read by their place in the select list: two columns
    // shown through the same foreign column carry the same alias.
    if (objRecord->ColCount() < n + 1)
        throw RellmarkError(RellmarkErr::ItemNotFound,
                            QStringLiteral("集計結果の項目の数が分類する項目の数と合いません。"));
    SumRows out;
    QList<ColumnDataType> shown; // the type the user sees in each classification column
    shown.reserve(n);
    for (int c : s.types) {
        const ColumnDef& d = cols[c];
        shown.append(IsForeignColumn(d) ? d.GaibuTableColeDataType : d.eDataType);
        out.typeNames << d.JPName;
        out.numericTypes << isNumberType(shown.back());
    }
    out.numericTotal = s.hasColumn(s.sumCol) && isNumberType(cols[s.sumCol].eDataType);

    if (!(objRecord->Bof() && objRecord->Eof())) {
        objRecord->MoveFirst();
        // Without classification, no matching row still gives one row whose
        // total is Null: nothing to show.
        if (objRecord->Column_Num(0).isNull() && n == 0) {
            objRecord->MoveLast();
            objRecord->MoveNext();
        }
    }
    out.rows.reserve(objRecord->RowCount());
    while (!objRecord->Eof()) {
        SumRow row;
        if (out.numericTotal) row.total = objRecord->Column_Num(0);
        row.classes.reserve(n);
        for (int k = 0; k < n; ++k)
            row.classes << classText(objRecord->Column_Num(k + 1), shown[k]);
        out.rows << std::move(row);
        objRecord->MoveNext();
    }
    objRecord->CloseRecordSet();
    return out;
}

void fillSumGrid(const SumRows& rows, const SumSettings& s, usrFlg& grid) {
    const int n = static_cast<int>(rows.typeNames.size());
    NoRedraw quiet(grid);
    grid.setMaxRow(0);
    grid.setMaxRow(static_cast<int>(rows.rows.size()) + 1);
    grid.setMaxCol(0);
    grid.setMaxCol(n + 1);
    grid.setFixedRows(1);
    grid.setFixedCols(0);
    grid.setField(0, 0, rows.totalName);
    grid.setColWidth(0, 1800);
    grid.setColAlignment(0, Qt::AlignRight);
    for (int k = 0; k < n; ++k) {
        grid.setField(0, k + 1, rows.typeNames[k]);
        const int c = k < s.types.size() ? s.types[k] : 0;
        grid.setColWidth(k + 1, s.hasColumn(c) ? doubledWidth((*s.columns)[c].CellHeight) : 1800);
        grid.setColAlignment(k + 1, rows.numericTypes[k] ? Qt::AlignRight : Qt::AlignLeft);
    }
    qint32 r = 1;
    for (const SumRow& row : rows.rows) {
        if (rows.numericTotal) grid.setField(r, 0, totalText(row.total));
        for (int k = 0; k < n && k < row.classes.size(); ++k)
            grid.setField(r, k + 1, row.classes[k]);
        ++r;
    }
}

void ExecSumSql(clsRellmark* db, const QString& statement, const SumSettings& s, usrFlg& grid) {
    // The whole result is read before the grid is touched: a statement the
    // database rejects leaves the last result on screen.
    fillSumGrid(ExecSumSql(db, statement, s), s, grid);
}

QString plainTotalText(const QVariant& value) {
    QString t = totalText(value);
    t.remove(QLatin1Char(','));
    return t;
}

QVariant SumRows::grandTotal() const {
    if (rows.isEmpty() || !numericTotal) return QVariant();
    qint64 whole = 0;
    double real = 0;
    bool exact = true; // every total a whole number, and their sum within 64 bits
    for (const SumRow& r : rows) {
        if (r.total.isNull() || !r.total.isValid()) continue;
        real += r.total.toDouble();
        const int type = r.total.typeId();
        qint64 v = 0;
        if (!exact || type == QMetaType::Double || type == QMetaType::Float ||
            !parsePlainInteger(r.total.toString(), v) || qAddOverflow(whole, v, &whole))
            exact = false;
    }
    return exact ? QVariant(whole) : QVariant(real);
}

void addSumRows(CsvWriter& csv, const SumRows& rows) {
    csv.addField(rows.totalName);
    for (const QString& t : rows.typeNames)
        csv.addField(t);
    csv.endRow();
    for (const SumRow& r : rows.rows) {
        csv.addNumber(rows.numericTotal ? plainTotalText(r.total) : QString());
        for (qsizetype k = 0; k < r.classes.size(); ++k) {
            if (k < rows.numericTypes.size() && rows.numericTypes[k])
                csv.addNumber(r.classes[k]);
            else
                csv.addField(r.classes[k]);
        }
        csv.endRow();
    }
}
