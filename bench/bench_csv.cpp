// Exporting 100,000 rows of 12 columns to CSV against a bare QFile loop that
// writes the same texts, in the same run.
#include "BenchUtil.h"
#include "CsvWriter.h"
#include "GridModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {
const QStringList names{"牛乳",     "食パン",     "電気代", "お弁当,大盛", "トイレットペーパー",
                        "回転寿司", "\"特売\"品", "定期券"};
QString cellText(int r, int c) {
    switch (c % 4) {
    case 0:
        return QString::number(r * 12 + c);
    case 1:
        return names[(r + c) % names.size()];
    case 2:
        return QStringLiteral("スーパーまるや");
    default:
        return QString::number((r * 37 + c * 11) % 100000);
    }
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int rows = 100000, cols = 12;
    GridModel grid;
    grid.setCols(cols);
    grid.setRows(rows + 1);
    grid.setFixedCols(0);
    for (int c = 0; c < cols; ++c)
        grid.setText(0, c, QStringLiteral("項目%1").arg(c));
    for (int r = 1; r <= rows; ++r)
        for (int c = 0; c < cols; ++c)
            grid.setText(r, c, cellText(r, c));

    QTemporaryDir dir;
    const QString barePath = dir.filePath(QStringLiteral("bare.csv"));
    const QString csvPath = dir.filePath(QStringLiteral("export.csv"));
    qint64 bareSize = 0;
    const double bare = bestOf(3, [&] {
        // the same texts, each converted and written, without quoting, byte
        // order mark or an atomic replacement
        QFile f(barePath);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        for (int r = 0; r <= rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                if (c > 0) f.write(",", 1);
                f.write(grid.text(r, c).toUtf8());
            }
            f.write("\r\n", 2);
        }
        f.close();
        bareSize = QFile(barePath).size();
    });
    qint64 csvSize = 0;
    const double csv = bestOf(3, [&] {
        CsvWriter w;
        w.addShownGrid(grid);
        if (!w.save(csvPath)) std::abort();
        csvSize = QFile(csvPath).size();
    });

    std::printf("CSV of %d rows x %d columns (%lld bytes; bare loop %lld bytes)\n", rows, cols,
                static_cast<long long>(csvSize), static_cast<long long>(bareSize));
    report("bare QFile loop of the same texts (baseline)", bare, bare);
    report("CsvWriter: shown grid, quoting, atomic save", csv, bare);
    return 0;
}
