// Grid filling, sorting, painting and memory against bare baselines.
#include "BenchUtil.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <vector>

namespace {
QString cellText(int r, int c) {
    return QString::number(r * 7 + c * 13 % 1000);
}

size_t heapBytes(const QString& s) {
    // QArrayData header (16 bytes on 64-bit) plus UTF-16 text and its NUL,
    // rounded to malloc's 16-byte granules with its 8-byte size word.
    const size_t raw = 16 + (static_cast<size_t>(s.capacity()) + 1) * 2 + 8;
    return (raw + 15) / 16 * 16;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int rows = 100000, cols = 12;

    volatile size_t sink = 0;
    const double bare = bestOf(3, [&] {
        std::vector<QString> v;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                v.push_back(cellText(r, c));
        sink = sink + v.size();
    });
    auto fillGrid = [&](usrFlg& g, int n) {
        g.setMaxCol(cols);
        g.setMaxRow(1);
        for (int r = 1; r <= n; ++r) {
            g.setMaxRow(r + 1);
            for (int c = 0; c < cols; ++c)
                g.setField(r, c, cellText(r, c));
        }
    };
    const double fill = bestOf(3, [&] {
        usrFlg g;
        fillGrid(g, rows);
    });
    const double fillHalf = bestOf(3, [&] {
        usrFlg g;
        fillGrid(g, rows / 2);
    });

    usrFlg g;
    g.resize(1000, 700);
    fillGrid(g, rows);
    const double sortNum = bestOf(3,
                                  [&] {
                                      g.setRow(1);
                                      g.SortOn(3, 3);
                                      g.SortOn(3, 4);
                                  }) /
                           2;
    const double sortStr = bestOf(3,
                                  [&] {
                                      g.setRow(1);
                                      g.SortOn(5, 7);
                                      g.SortOn(5, 8);
                                  }) /
                           2;

    auto paintOnce = [](usrFlg& grid) {
        QImage img(grid.size(), QImage::Format_ARGB32);
        return bestOf(20, [&] { grid.flgMain()->viewport()->render(&img); });
    };
    usrFlg small;
    small.resize(1000, 700);
    fillGrid(small, 1000);
    small.setTopRow(500);
    usrFlg huge;
    huge.resize(1000, 700);
    huge.setMaxCol(cols);
    huge.setMaxRow(1000001);
    for (int r = 499990; r < 500060; ++r)
        for (int c = 0; c < cols; ++c)
            huge.setField(r, c, cellText(r, c));
    huge.setTopRow(500000);
    QCoreApplication::processEvents();
    const double paintSmall = paintOnce(small);
    const double paintHuge = paintOnce(huge);

    // one cell read through the accessible table (as a screen reader reads
    // the cell under the cursor): its cost must not grow with the rows
    auto readCell = [](usrFlg& grid, int row) {
        QAccessibleInterface* t = QAccessible::queryAccessibleInterface(grid.flgMain());
        volatile qsizetype n = 0;
        return bestOf(5, [&] {
            for (int i = 0; i < 1000; ++i)
                n = n + t->tableInterface()->cellAt(row, 5)->text(QAccessible::Name).size();
        });
    };
    const double cellSmall = readCell(small, 500);
    const double cellHuge = readCell(huge, 500000);

    // memory: the texts themselves against what the grid holds for them
    size_t textBytes = 0, heap = 0;
    for (int r = 1; r < g.MaxRow(); ++r)
        for (int c = 0; c < cols; ++c) {
            const QString s = g.Field(r, c);
            textBytes += static_cast<size_t>(s.size()) * 2;
            heap += heapBytes(s);
        }
    const size_t cells = static_cast<size_t>(rows) * cols;
    const size_t perCell = sizeof(QString) + (heap - textBytes) / cells;

    std::printf("grid of %d x %d\n", rows, cols);
    report("std::vector<QString> of the same texts (baseline)", bare, bare);
    report("fill through MaxRow + Field, 100,000 rows", fill, bare);
    report("fill, 50,000 rows (ratio vs 100,000: linear = 0.5)", fillHalf, fill);
    report("SortOn numeric, 100,000 rows", sortNum, bare);
    report("SortOn string, 100,000 rows", sortStr, bare);
    report("paint one screen, 1,000 rows", paintSmall, paintSmall);
    report("paint one screen, 1,000,000 rows (ratio vs 1,000)", paintHuge, paintSmall);
    report("accessible cell text, 1,000 rows (1,000 reads)", cellSmall, cellSmall);
    report("accessible cell text, 1,000,000 rows (ratio vs 1,000)", cellHuge, cellSmall);
    std::printf("memory: texts %zu bytes (UTF-16); grid holds %zu bytes per cell beyond them "
                "(%zu QString + %zu heap header)\n",
                textBytes, perCell, sizeof(QString), perCell - sizeof(QString));
    return 0;
}
