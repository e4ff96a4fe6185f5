#pragma once
#include <QList>
#include <QString>
#include <QStringList>

class GridModel;

// One row of a summary's result: its classification values and its total.
struct SumResultRow {
    QStringList classes;
    double total = 0;
};

// A summary's result as its grid shows it.
struct SumResult {
    QString totalName;     // the header of the totals ("合計")
    QStringList typeNames; // the classification columns' headers, in order
    QList<SumResultRow> rows;
};

// The result in a summary grid: totals in column 0 (digit groups of three,
// an empty total counting as 0), the classification values after it.
SumResult sumResultFromGrid(const GridModel& grid);
struct SumRows;
// The same from the result's plain values.
SumResult sumResultFromRows(const SumRows& rows);

// What a bar chart of a result shows. Without classification columns or
// with one: one bar per row, labelled with its value (values of several
// columns joined by " / "). With two or more: the first column's values
// along the x axis, one stacked series per combination of the others.
struct SumChartData {
    struct Series {
        QString name;
        QList<double> values; // one per category
    };
    QString name;           // the title asked for
    QString title;          // with the cut told
    QStringList categories; // the x axis, each label once
    QList<Series> series;
    bool stacked = false;
    int shownRows = 0; // rows in the chart
    int allRows = 0;   // rows in the result
    double low = 0;    // the lowest and highest point any bar reaches, 0 included
    double high = 0;
    QString valueName; // the totalled column's name, on the value axis
    bool yen = true;   // the totals are amounts of money
};

constexpr int MaxChartRows = 200;

// The chart of `result`, titled `title`. A result of more than `maxRows` rows
// shows the rows with the largest totals (in the result's order) and says so
// in the title.
SumChartData buildSumChart(const SumResult& result, const QString& title,
                           int maxRows = MaxChartRows);

// Round steps for a money axis from `low` to `high`: 1, 2 or 5 times a power
// of ten, at most about `count` of them, 0 among them.
QList<double> yenTicks(double low, double high, int count = 8);
// An amount on the axis: "12,000円".
QString yenLabel(double value);
// A total on the axis: with 円 for an amount, else the grouped number alone.
QString valueLabel(double value, bool yen);
// Whether a column of this name holds amounts of money (金額, 額, 円).
bool isAmountName(const QString& columnName);
