// Grid filling, sorting, painting and memory against bare baselines.
#include "BenchUtil.h"
#include "GridModel.h"
#include "usrFlg.h"

#include <QUndoStack>

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <numeric>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__unix__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {
QString cellText(int r, int c) {
    return QString::number(r * 7 + c * 13 % 1000);
}

// Bytes the allocator has handed out and not yet taken back; 0 where the
// C library does not tell.
size_t heapInUse() {
#if defined(__GLIBC__)
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd; // small blocks, and the large ones mapped on their own
#else
    return 0;
#endif
}

// What `f` leaves allocated, as the allocator counts it.
template <typename F> size_t heapGrowth(F&& f) {
    const size_t before = heapInUse();
    f();
    const size_t after = heapInUse();
    return after > before ? after - before : 0;
}

// Resident memory now and at its highest so far, in MiB; 0 where the
// system does not tell.
double residentMiB() {
#if defined(__linux__)
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
#else
    return 0;
#endif
}

// A purchase book as the editor holds it: a mark column, the number, year,
// month, day, category, shop, item, amount, memo (mostly empty) and the keys
// of category and shop; each value arrives as a text of its own, as a read
// of the table hands them over.
QString purchaseText(int r, int c) {
    switch (c) {
    case 1:
        return QString::number(r);
    case 2:
        return QString::number(2020 + r % 5);
    case 3:
        return QString::number(r % 12 + 1);
    case 4:
        return QString::number(r % 28 + 1);
    case 5:
        return QStringLiteral("分類") + QString::number(r % 100);
    case 6:
        return QStringLiteral("お店") + QString::number(r * 7 % 1000);
    case 7:
        return QStringLiteral("品名") + QString::number(r % 500);
    case 8:
        return QString::number(r * 37 % 5000 + 100);
    case 9:
        return r % 50 ? QString() : QStringLiteral("メモ") + QString::number(r);
    case 10:
        return QString::number(r % 100);
    case 11:
        return QString::number(r * 7 % 1000);
    default:
        return QString();
    }
}

struct MillionFigures {
    double fill = 0, sortNum = 0, sortStr = 0, bareSortNum = 0, bareSortStr = 0;
    double gridResident = 0, gridPeak = 0, bareResident = 0;
};

// A million purchases filled into a grid model and sorted by amount and by
// shop, with the resident memory it takes and the highest it reached; then
// the same texts in a plain vector, and bare sorts of those two columns.
// Run first, while the process's peak is still its own.
MillionFigures millionPurchases() {
    constexpr int n = 1000000, cols = 12;
    MillionFigures f;
    const double before = residentMiB();
    {
        GridModel m;
        m.setCols(cols);
        f.fill = bestOf(1, [&] {
            m.setRows(n + 1);
            for (int r = 1; r <= n; ++r)
                for (int c = 0; c < cols; ++c)
                    m.setText(r, c, purchaseText(r, c));
        });
        m.setRow(1);
        f.sortNum = bestOf(1, [&] { m.sort(8, 3); });
        f.sortStr = bestOf(1, [&] { m.sort(6, 7); });
        f.gridResident = residentMiB() - before;
        f.gridPeak = peakResidentMiB() - before;
    }
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    const double bareBefore = residentMiB();
    std::vector<QString> texts;
    texts.reserve(static_cast<size_t>(n) * cols);
    for (int r = 1; r <= n; ++r)
        for (int c = 0; c < cols; ++c)
            texts.push_back(purchaseText(r, c));
    f.bareResident = residentMiB() - bareBefore;
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::vector<double> key(static_cast<size_t>(n));
    f.bareSortNum = bestOf(1, [&] {
        for (int i = 0; i < n; ++i)
            key[static_cast<size_t>(i)] =
                static_cast<double>(texts[static_cast<size_t>(i) * cols + 8].toLongLong());
        std::sort(order.begin(), order.end(), [&](int a, int b) { return key[a] < key[b]; });
    });
    std::iota(order.begin(), order.end(), 0);
    f.bareSortStr = bestOf(1, [&] {
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return texts[static_cast<size_t>(a) * cols + 6] <
                   texts[static_cast<size_t>(b) * cols + 6];
        });
    });
    return f;
}

volatile int sortSink = 0;

// A bare sort of one column's keys, ascending then descending, in the
// order the grid holds them: numbers parsed from their texts, texts compared
// as the grid compares them.
double bareSort(usrFlg& g, int col, bool numeric) {
    const int n = g.MaxRow() - 1;
    std::vector<QString> texts(static_cast<size_t>(n));
    for (int r = 1; r <= n; ++r)
        texts[static_cast<size_t>(r - 1)] = g.Field(r, col);
    return bestOf(3,
                  [&] {
                      std::vector<int> order(static_cast<size_t>(n));
                      std::iota(order.begin(), order.end(), 0);
                      if (numeric) {
                          std::vector<double> key(static_cast<size_t>(n));
                          for (int i = 0; i < n; ++i)
                              key[static_cast<size_t>(i)] =
                                  static_cast<double>(texts[static_cast<size_t>(i)].toLongLong());
                          std::sort(order.begin(), order.end(),
                                    [&](int a, int b) { return key[a] < key[b]; });
                          std::sort(order.begin(), order.end(),
                                    [&](int a, int b) { return key[a] > key[b]; });
                      } else {
                          std::sort(order.begin(), order.end(),
                                    [&](int a, int b) { return texts[a] < texts[b]; });
                          std::sort(order.begin(), order.end(),
                                    [&](int a, int b) { return texts[b] < texts[a]; });
                      }
                      sortSink = sortSink + order.front() + order.back();
                  }) /
           2;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const MillionFigures million = millionPurchases();
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

    // memory: what a fill leaves allocated, against a plain vector of the
    // same texts
    size_t bareHeap = 0, gridHeap = 0;
    {
        std::vector<QString> v;
        bareHeap = heapGrowth([&] {
            v.reserve(static_cast<size_t>(rows) * cols);
            for (int r = 1; r <= rows; ++r)
                for (int c = 0; c < cols; ++c)
                    v.push_back(cellText(r, c));
        });
    }
    usrFlg g;
    g.resize(1000, 700);
    gridHeap = heapGrowth([&] { fillGrid(g, rows); });
    const double bareSortNum = bareSort(g, 3, true);
    const double bareSortStr = bareSort(g, 5, false);
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

    // undo: a paste of 100,000 cells (10,000 lines of 10 fields) with its
    // step recorded, against the same paste without
    QString block;
    for (int r = 0; r < 10000; ++r) {
        for (int c = 0; c < 10; ++c) {
            if (c) block += QLatin1Char('\t');
            block += QStringLiteral("p%1").arg(r * 10 + c);
        }
        if (r < 9999) block += QStringLiteral("\r\n");
    }
    auto pasteOnce = [&](bool undo) {
        g.setUndoEnabled(undo); // (switching it off drops the steps: not timed)
        return bestOf(1, [&] {
            g.setRow(20000);
            g.setCol(1);
            g.pasteCells(block);
        });
    };
    // taken in turns, so that a busy moment of the machine hits both alike
    double pasteBare = 1e300, pasteUndo = 1e300;
    for (int i = 0; i < 9; ++i) {
        pasteBare = std::min(pasteBare, pasteOnce(false));
        pasteUndo = std::min(pasteUndo, pasteOnce(true));
    }
    const double pasteUndone = bestOf(5,
                                      [&] {
                                          g.undoStack()->undo();
                                          g.undoStack()->redo();
                                      }) /
                               2;

    // a million rows: growing to them, and one edit and a row deletion taken
    // back there, against the bare model operations
    const double growBare = bestOf(3, [&] {
        std::vector<QString> v(static_cast<size_t>(1000001) * cols);
        sink = sink + v.size();
    });
    const double grow = bestOf(3, [&] {
        usrFlg big;
        big.setMaxCol(cols);
        big.setMaxRow(1000001);
    });
    auto editSteps = [](usrFlg& grid, int from) {
        grid.setUndoEnabled(true);
        return bestOf(5, [&] {
            for (int i = 0; i < 1000; ++i)
                grid.commitCell(from + i % 20, 3, QString::number(i + 1));
            for (int i = 0; i < 1000; ++i)
                grid.undoStack()->undo();
        });
    };
    const double editSmall = editSteps(small, 500);
    const double editHuge = editSteps(huge, 500000);
    const double deleteBare = bestOf(3, [&] {
        huge.model().removeRows(500000, 10);
        huge.model().insertRows(500000, 10, -1);
    });
    const double deleteUndo = bestOf(3, [&] {
        huge.removeRowsAt(500000, 10);
        huge.undoStack()->undo();
    });

    const double cells = static_cast<double>(rows) * cols;

    std::printf("grid of %d x %d\n", rows, cols);
    report("std::vector<QString> of the same texts (baseline)", bare, bare);
    report("fill through MaxRow + Field, 100,000 rows", fill, bare);
    report("fill, 50,000 rows (ratio vs 100,000: linear = 0.5)", fillHalf, fill);
    report("bare std::sort of the numeric keys, up and down", bareSortNum, bareSortNum);
    report("SortOn numeric, 100,000 rows", sortNum, bareSortNum);
    report("bare std::sort of the texts, up and down", bareSortStr, bareSortStr);
    report("SortOn string, 100,000 rows", sortStr, bareSortStr);
    report("paint one screen, 1,000 rows", paintSmall, paintSmall);
    report("paint one screen, 1,000,000 rows (ratio vs 1,000)", paintHuge, paintSmall);
    report("accessible cell text, 1,000 rows (1,000 reads)", cellSmall, cellSmall);
    report("accessible cell text, 1,000,000 rows (ratio vs 1,000)", cellHuge, cellSmall);
    report("paste 100,000 cells, no undo (baseline)", pasteBare, pasteBare);
    report("paste 100,000 cells, its step recorded", pasteUndo, pasteBare);
    report("that paste undone (or redone)", pasteUndone, pasteBare);
    report("bare vector of 1,000,000 x 12 empty texts", growBare, growBare);
    report("grid grown to 1,000,000 rows (row identities included)", grow, growBare);
    report("1,000 cells stored as steps and undone, 1,000 rows", editSmall, editSmall);
    report("the same, 1,000,000 rows (ratio vs 1,000)", editHuge, editSmall);
    report("bare remove and insert of 10 rows at row 500,000", deleteBare, deleteBare);
    report("10 rows deleted as a step and undone at row 500,000", deleteUndo, deleteBare);
    std::printf("a million purchases, 12 columns, in a grid model\n");
    report("bare std::sort of the amounts (numbers parsed)", million.bareSortNum,
           million.bareSortNum);
    report("sort numeric by amount, 1,000,000 rows", million.sortNum, million.bareSortNum);
    report("bare std::sort of the shops' texts", million.bareSortStr, million.bareSortStr);
    report("sort string by shop, 1,000,000 rows", million.sortStr, million.bareSortStr);
    std::printf("%-58s %9.1f ms\n", "fill 1,000,000 purchases (setRows, then setText)",
                million.fill);
    std::printf("resident MiB: vector<QString> of the texts %.0f, grid %.0f (peak while filled "
                "and sorted %.0f)   ratio %5.2f\n",
                million.bareResident, million.gridResident, million.gridPeak,
                million.bareResident > 0 ? million.gridResident / million.bareResident : 0.0);
    if (bareHeap > 0)
        std::printf("memory per cell (mallinfo2 before and after a fill): vector<QString> %.1f "
                    "bytes, grid %.1f bytes   ratio %5.2f\n",
                    bareHeap / cells, gridHeap / cells,
                    static_cast<double>(gridHeap) / static_cast<double>(bareHeap));
    else
        std::printf("memory per cell: the C library gives no allocator statistics\n");
    return 0;
}
