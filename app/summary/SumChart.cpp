#include "SumChart.h"
#include "GridModel.h"
#include "SumSql.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace {
const QString Joint = QStringLiteral(" / ");
const QString Blank = QStringLiteral("（空欄）");

// A label as the axis can show it: an empty value is named, and a label that
// is already taken (two values that print alike) gets a number.
QString uniqueLabel(const QString& wanted, QHash<QString, int>& taken) {
    const QString base = wanted.isEmpty() ? Blank : wanted;
    QString label = base;
    for (int n = 2; taken.contains(label); ++n)
        label = base + QStringLiteral(" (%1)").arg(n);
    taken.insert(label, 0);
    return label;
}
} // namespace

SumResult sumResultFromGrid(const GridModel& grid) {
    SumResult out;
    if (grid.rows() == 0 || grid.cols() == 0) return out;
    out.totalName = grid.text(0, 0);
    for (int c = 1; c < grid.cols(); ++c)
        out.typeNames << grid.text(0, c);
    out.rows.reserve(grid.rows());
    for (int r = grid.fixedRows(); r < grid.rows(); ++r) {
        if (grid.rowHeight(r) == 0) continue; // an empty result's placeholder
        SumResultRow row;
        QString t = grid.text(r, 0);
        t.remove(QLatin1Char(','));
        bool ok = false;
        const double v = t.toDouble(&ok);
        row.total = ok ? v : 0;
        for (int c = 1; c < grid.cols(); ++c)
            row.classes << grid.text(r, c);
        out.rows << row;
    }
    return out;
}

SumResult sumResultFromRows(const SumRows& rows) {
    SumResult out;
    out.totalName = rows.totalName;
    out.typeNames = rows.typeNames;
    out.rows.reserve(rows.rows.size());
    for (const SumRow& r : rows.rows) {
        // as the grid shows it: rounded to a whole number, an empty total as 0
        bool ok = false;
        const double v = plainTotalText(r.total).toDouble(&ok);
        out.rows << SumResultRow{r.classes, ok ? v : 0};
    }
    return out;
}

SumChartData buildSumChart(const SumResult& result, const QString& title, int maxRows) {
    SumChartData d;
    d.allRows = static_cast<int>(result.rows.size());
    // the rows kept: the largest totals, in the result's order
    std::vector<int> kept(result.rows.size());
    std::iota(kept.begin(), kept.end(), 0);
    if (maxRows >= 0 && d.allRows > maxRows) {
        std::stable_sort(kept.begin(), kept.end(),
                         [&](int a, int b) { return result.rows[a].total > result.rows[b].total; });
        kept.resize(maxRows);
        std::sort(kept.begin(), kept.end());
    }
    d.shownRows = static_cast<int>(kept.size());
    d.name = title;
    d.title = title;
    if (d.allRows == 0) d.title += QStringLiteral("（該当するデータがありません）");
    if (d.shownRows < d.allRows)
        d.title +=
            QStringLiteral("（合計の大きい%1件を表示／全%2件）").arg(d.shownRows).arg(d.allRows);

    const int n = static_cast<int>(result.typeNames.size());
    d.stacked = n >= 2;
    QHash<QString, int> categoryLabels;
    if (!d.stacked) {
        SumChartData::Series s{result.totalName, {}};
        for (int i : kept) {
            const SumResultRow& row = result.rows[i];
            d.categories << uniqueLabel(n == 0 ? result.totalName : row.classes.join(Joint),
                                        categoryLabels);
            s.values << row.total;
        }
        d.series << s;
    } else {
        QHash<QString, int> categoryAt, seriesAt; // by the values as they stand
        for (int i : kept) {
            const SumResultRow& row = result.rows[i];
            const QString first = row.classes.value(0);
            const QString rest = row.classes.mid(1).join(Joint);
            auto c = categoryAt.constFind(first);
            if (c == categoryAt.constEnd()) {
                c = categoryAt.insert(first, static_cast<int>(d.categories.size()));
                d.categories << uniqueLabel(first, categoryLabels);
                for (SumChartData::Series& s : d.series)
                    s.values << 0;
            }
            auto s = seriesAt.constFind(rest);
            if (s == seriesAt.constEnd()) {
                s = seriesAt.insert(rest, static_cast<int>(d.series.size()));
                QString name = rest;
                if (row.classes.mid(1).join(QString()).isEmpty()) name = Blank;
                d.series << SumChartData::Series{name, QList<double>(d.categories.size(), 0)};
            }
            d.series[*s].values[*c] += row.total;
        }
    }
    // stacks reach up with their positive parts and down with their negative ones
    for (qsizetype c = 0; c < d.categories.size(); ++c) {
        double up = 0, down = 0;
        for (const SumChartData::Series& s : d.series)
            (s.values[c] >= 0 ? up : down) += s.values[c];
        d.high = std::max(d.high, up);
        d.low = std::min(d.low, down);
    }
    return d;
}

QList<double> yenTicks(double low, double high, int count) {
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
    const double span = high - low;
    if (!(span > 0) || !std::isfinite(span)) return {0.0};
    const double rough = span / std::max(count - 1, 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double f : {1.0, 2.0, 5.0, 10.0})
        if (f * power >= rough) {
            step = f * power;
            break;
        }
    step = std::max(step, 1.0); // whole yen
    QList<double> out;
    for (double v = std::floor(low / step) * step; v < high + step * 0.999; v += step)
        out << (std::abs(v) < step / 2 ? 0.0 : v);
    return out;
}

QString yenLabel(double value) {
    return formatTotal(static_cast<qint64>(std::llround(value))) + QStringLiteral("円");
}

QString valueLabel(double value, bool yen) {
    return yen ? yenLabel(value) : formatTotal(static_cast<qint64>(std::llround(value)));
}

bool isAmountName(const QString& name) {
    return name.contains(QStringLiteral("額")) || name.contains(QStringLiteral("円"));
}
