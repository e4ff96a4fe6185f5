// The chart of a 200-row summary result, from the result to the painted
// window, against a bare chart of the same bars in the same run.
#include "BenchUtil.h"
#include "SumChart.h"
#include "frmSumChart.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QValueAxis>

namespace {
SumResult resultOf(int rows, int types) {
    SumResult r;
    r.totalName = QStringLiteral("合計");
    for (int t = 0; t < types; ++t)
        r.typeNames << QStringLiteral("分類%1").arg(t);
    for (int i = 0; i < rows; ++i) {
        SumResultRow row;
        row.total = (i * 7919) % 100000 + 100;
        if (types == 1) row.classes << QStringLiteral("品目%1").arg(i);
        if (types == 2)
            row.classes << QStringLiteral("%1月").arg(i % 12 + 1)
                        << QStringLiteral("店%1").arg(i / 12);
        r.rows << row;
    }
    return r;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int rows = 200;
    const SumResult flat = resultOf(rows, 1);
    const SumResult stacked = resultOf(rows, 2);

    const double bare = bestOf(5, [&] {
        // the same bars and labels, without the result's reading, the yen
        // axis or the window around them
        auto* set = new QBarSet(QStringLiteral("合計"));
        QStringList labels;
        for (const SumResultRow& r : flat.rows) {
            *set << r.total;
            labels << r.classes.value(0);
        }
        auto* series = new QBarSeries;
        series->append(set);
        auto* chart = new QChart;
        chart->addSeries(series);
        auto* x = new QBarCategoryAxis;
        x->append(labels);
        chart->addAxis(x, Qt::AlignBottom);
        series->attachAxis(x);
        auto* y = new QValueAxis;
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(y);
        QChartView view(chart);
        view.resize(900, 520);
        view.show();
        view.grab();
    });
    auto timeChart = [&](const SumResult& result) {
        return bestOf(5, [&] {
            frmSumChart w(nullptr);
            w.ShowChart(buildSumChart(result, QStringLiteral("購入：購入金額の合計")));
            w.show();
            w.grab();
        });
    };
    const double flatMs = timeChart(flat);
    const double stackedMs = timeChart(stacked);

    std::printf("chart of a %d-row result (target: under 300 ms)\n", rows);
    report("bare QChartView of the same 200 bars (baseline)", bare, bare);
    report("summary chart, one classification, 200 bars", flatMs, bare);
    report("summary chart, two classifications, 12 x 17 stacked", stackedMs, bare);
    return 0;
}
