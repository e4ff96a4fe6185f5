#include "GridModel.h"

#include <QStringList>
#include <algorithm>
#include <numeric>

namespace {
// A text's value for a numeric sort: texts that are not numbers rank as zero.
double numberOf(const QString& t) {
    bool ok = false;
    double v = static_cast<double>(t.toLongLong(&ok));
    if (!ok) v = t.trimmed().toDouble(&ok);
    return ok && v == v ? v : 0.0;
}
} // namespace

GridModel::GridModel() {
    setCols(2);
    setRows(2);
    setFixedRows(1);
    setFixedCols(1);
}

GridModel::~GridModel() {
    fendra::TextColumn::clearTogether(mColumns);
}

void GridModel::checkRow(int r) const {
    if (r < 0 || r >= mRows) throw GridError("Subscript out of range (row)");
}

void GridModel::checkCol(int c) const {
    if (c < 0 || c >= mCols) throw GridError("Subscript out of range (column)");
}

void GridModel::clampCursor() {
    auto clampTo = [](int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); };
    const int lastR = std::max(mRows - 1, 0), lastC = std::max(mCols - 1, 0);
    mRow = clampTo(mRow, std::min(mFixedRows, lastR), lastR);
    mRowSel = clampTo(mRowSel, std::min(mFixedRows, lastR), lastR);
    mCol = clampTo(mCol, std::min(mFixedCols, lastC), lastC);
    mColSel = clampTo(mColSel, std::min(mFixedCols, lastC), lastC);
    mTopRow = clampTo(mTopRow, std::min(mFixedRows, lastR), lastR);
    mLeftCol = clampTo(mLeftCol, std::min(mFixedCols, lastC), lastC);
}

void GridModel::setRows(int n) {
    if (n < 0) throw GridError("Invalid row count");
    if (n < mFixedRows) mFixedRows = n;
    for (fendra::TextColumn& col : mColumns)
        col.resize(static_cast<size_t>(n));
    if (!mColors.empty()) mColors.resize(static_cast<size_t>(n) * mCols, NoColor);
    mRowHeights.resize(n, mDefaultRowHeight);
    const size_t had = mRowIds.size();
    mRowIds.resize(n);
    for (size_t i = had; i < mRowIds.size(); ++i)
        mRowIds[i] = mNextRowId++;
    mRows = n;
    clampCursor();
}

void GridModel::reserveRows(int n) {
    if (n <= mRows) return;
    const auto rows = static_cast<size_t>(n);
    for (fendra::TextColumn& col : mColumns)
        col.reserve(rows);
    if (!mColors.empty()) mColors.reserve(rows * mCols);
    mRowHeights.reserve(rows);
    mRowIds.reserve(rows);
}

void GridModel::setCols(int n) {
    if (n < 0) throw GridError("Invalid column count");
    if (n == mCols) return;
    mColumns.resize(n);
    for (fendra::TextColumn& col : mColumns)
        col.resize(static_cast<size_t>(mRows));
    if (!mColors.empty()) {
        std::vector<quint32> colors(static_cast<size_t>(mRows) * n, NoColor);
        const int keep = std::min(n, mCols);
        for (int r = 0; r < mRows; ++r)
            for (int c = 0; c < keep; ++c)
                colors[static_cast<size_t>(r) * n + c] =
                    mColors[static_cast<size_t>(r) * mCols + c];
        mColors.swap(colors);
    }
    mColWidths.resize(n, mDefaultColWidth);
    mColAligns.resize(n, Qt::AlignLeft);
    mCols = n;
    if (n < mFixedCols) mFixedCols = n;
    clampCursor();
}

void GridModel::setFixedRows(int n) {
    if (n < 0 || n > mRows) throw GridError("Invalid fixed row count");
    const bool fewer = n < mFixedRows;
    mFixedRows = n;
    clampCursor();
    if (fewer) mTopRow = std::min(n, std::max(mRows - 1, 0));
    if (mRow < mFixedRows && mRows > mFixedRows) mRow = mRowSel = mFixedRows;
    if (mTopRow < mFixedRows && mRows > mFixedRows) mTopRow = mFixedRows;
}

void GridModel::setFixedCols(int n) {
    if (n < 0 || n > mCols) throw GridError("Invalid fixed column count");
    const bool fewer = n < mFixedCols;
    mFixedCols = n;
    clampCursor();
    if (fewer) mLeftCol = n; // columns that stop being fixed show from the left again
    if (mCol < mFixedCols && mCols > mFixedCols) mCol = mColSel = mFixedCols;
    if (mLeftCol < mFixedCols && mCols > mFixedCols) mLeftCol = mFixedCols;
}

const QString& GridModel::text(int r, int c) const {
    checkRow(r);
    checkCol(c);
    return mColumns[c].at(static_cast<size_t>(r));
}

const fendra::TextColumn& GridModel::column(int c) const {
    checkCol(c);
    return mColumns[c];
}

void GridModel::setText(int r, int c, const QString& s) {
    checkRow(r);
    checkCol(c);
    mColumns[c].set(static_cast<size_t>(r), s);
}

QString GridModel::exchangeText(int r, int c, QString s) {
    checkRow(r);
    checkCol(c);
    return mColumns[c].exchange(static_cast<size_t>(r), s);
}

const QString& GridModel::textArray(qint64 index) const {
    if (index < 0 || index >= static_cast<qint64>(cellCount()))
        throw GridError("Subscript out of range (index)");
    return mColumns[index % mCols].at(static_cast<size_t>(index / mCols));
}

void GridModel::setTextArray(qint64 index, const QString& s) {
    if (index < 0 || index >= static_cast<qint64>(cellCount()))
        throw GridError("Subscript out of range (index)");
    mColumns[index % mCols].set(static_cast<size_t>(index / mCols), s);
}

size_t GridModel::storeBytes() const {
    size_t n = mColumns.capacity() * sizeof(fendra::TextColumn);
    for (const fendra::TextColumn& col : mColumns)
        n += col.bytes();
    return n;
}

Qt::Alignment GridModel::colAlignment(int c) const {
    checkCol(c);
    return mColAligns[c];
}

void GridModel::setColAlignment(int c, Qt::Alignment a) {
    checkCol(c);
    mColAligns[c] = a & Qt::AlignRight     ? Qt::AlignRight
                    : a & Qt::AlignHCenter ? Qt::AlignHCenter
                                           : Qt::AlignLeft;
}

int GridModel::colWidth(int c) const {
    checkCol(c);
    return mColWidths[c];
}

void GridModel::setColWidth(int c, int twips) {
    checkCol(c);
    if (twips < -1) throw GridError("Invalid column width");
    mColWidths[c] = twips < 0 ? mDefaultColWidth : twips;
}

int GridModel::rowHeight(int r) const {
    checkRow(r);
    return mRowHeights[r];
}

void GridModel::setRowHeight(int r, int twips) {
    checkRow(r);
    if (twips < -1) throw GridError("Invalid row height");
    mRowHeights[r] = twips < 0 ? mDefaultRowHeight : twips;
}

quint32 GridModel::cellColor(int r, int c) const {
    checkRow(r);
    checkCol(c);
    return mColors.empty() ? NoColor : mColors[static_cast<size_t>(r) * mCols + c];
}

void GridModel::setCellColor(int r, int c, quint32 color) {
    checkRow(r);
    checkCol(c);
    if (mColors.empty()) {
        if (color == NoColor) return;
        mColors.assign(cellCount(), NoColor);
    }
    mColors[static_cast<size_t>(r) * mCols + c] = color;
}

void GridModel::setRow(int r) {
    checkRow(r);
    mRow = mRowSel = r;
}

void GridModel::setCol(int c) {
    checkCol(c);
    mCol = mColSel = c;
}

void GridModel::setRowSel(int r) {
    checkRow(r);
    mRowSel = r;
}

void GridModel::setColSel(int c) {
    checkCol(c);
    mColSel = c;
}

void GridModel::setTopRow(int r) {
    checkRow(r);
    mTopRow = std::max(r, std::min(mFixedRows, mRows - 1));
}

void GridModel::setLeftCol(int c) {
    checkCol(c);
    mLeftCol = std::max(c, std::min(mFixedCols, mCols - 1));
}

void GridModel::insertRows(int at, int n, int height) {
    if (at < 0 || at > mRows) throw GridError("Subscript out of range (row)");
    if (n <= 0) return;
    const size_t pos = static_cast<size_t>(at) * mCols;
    for (fendra::TextColumn& col : mColumns)
        col.insert(static_cast<size_t>(at), static_cast<size_t>(n));
    if (!mColors.empty())
        mColors.insert(mColors.begin() + pos, static_cast<size_t>(n) * mCols, NoColor);
    mRowHeights.insert(mRowHeights.begin() + at, n, height < 0 ? mDefaultRowHeight : height);
    mRowIds.insert(mRowIds.begin() + at, n, 0);
    for (int i = 0; i < n; ++i)
        mRowIds[static_cast<size_t>(at + i)] = mNextRowId++;
    mRows += n;
}

void GridModel::addItem(const QString& tabText, int index) {
    if (index < 0) index = mRows;
    insertRows(index, 1, -1);
    const QStringList fields = tabText.split(QLatin1Char('\t'));
    for (int c = 0; c < mCols && c < fields.size(); ++c)
        mColumns[c].set(static_cast<size_t>(index), fields[c]);
}

void GridModel::removeRows(int at, int n) {
    if (n <= 0) return;
    if (at < 0 || at + n > mRows) throw GridError("Subscript out of range (row)");
    if (mRows - n < mFixedRows) throw GridError("Cannot remove a fixed row");
    const size_t pos = static_cast<size_t>(at) * mCols;
    for (fendra::TextColumn& col : mColumns)
        col.erase(static_cast<size_t>(at), static_cast<size_t>(n));
    if (!mColors.empty())
        mColors.erase(mColors.begin() + pos,
                      mColors.begin() + pos + static_cast<size_t>(n) * mCols);
    mRowHeights.erase(mRowHeights.begin() + at, mRowHeights.begin() + at + n);
    mRowIds.erase(mRowIds.begin() + at, mRowIds.begin() + at + n);
    mRows -= n;
    clampCursor();
}

void GridModel::removeItem(int index) {
    removeRows(index, 1);
}

void GridModel::sort(int c, int mode) {
    checkCol(c);
    int r1 = std::min(mRow, mRowSel), r2 = std::max(mRow, mRowSel);
    if (r1 == r2) {
        r1 = mFixedRows;
        r2 = mRows - 1;
    }
    if (r2 - r1 < 1) return;
    const int n = r2 - r1 + 1;
    const fendra::TextColumn& col = mColumns[c];
    const bool numeric = mode == 3 || mode == 4;
    const bool descending = mode == 4 || mode == 8;
    std::vector<int> order(n);
    if (static_cast<size_t>(n) * 2 >= col.distinct()) {
        // Most of the column: rank the column's distinct texts once, then
        // place the rows by rank (a counting sort, stable).
        const quint32 entries = col.entries();
        std::vector<quint32> rank(entries, 0);
        quint32 ranks = 0;
        if (numeric) {
            std::vector<std::pair<double, quint32>> keyed;
            keyed.reserve(col.distinct());
            for (quint32 e = 0; e < entries; ++e)
                if (col.inUse(e)) keyed.emplace_back(numberOf(col.text(e)), e);
            std::sort(keyed.begin(), keyed.end());
            for (size_t i = 0; i < keyed.size(); ++i) {
                if (i > 0 && keyed[i - 1].first < keyed[i].first) ++ranks;
                rank[keyed[i].second] = ranks;
            }
        } else {
            std::vector<std::pair<QStringView, quint32>> keyed;
            keyed.reserve(col.distinct());
            for (quint32 e = 0; e < entries; ++e)
                if (col.inUse(e)) keyed.emplace_back(col.text(e), e);
            std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
                return a.first.compare(b.first, Qt::CaseSensitive) < 0;
            });
            for (size_t i = 0; i < keyed.size(); ++i) {
                if (i > 0 && keyed[i - 1].first.compare(keyed[i].first, Qt::CaseSensitive) != 0)
                    ++ranks;
                rank[keyed[i].second] = ranks;
            }
        }
        std::vector<quint32> key(n);
        bool inOrder = true;
        for (int i = 0; i < n; ++i) {
            const quint32 k = rank[col.entry(static_cast<size_t>(r1 + i))];
            key[i] = descending ? ranks - k : k;
            if (i > 0 && key[i - 1] > key[i]) inOrder = false;
        }
        if (inOrder) return; // nothing to move
        std::vector<int> start(static_cast<size_t>(ranks) + 2, 0);
        for (quint32 k : key)
            ++start[k + 1];
        std::partial_sum(start.begin(), start.end(), start.begin());
        for (int i = 0; i < n; ++i)
            order[start[key[i]]++] = r1 + i;
    } else {
        // A few rows of a column of many texts: compare their texts alone.
        std::iota(order.begin(), order.end(), r1);
        if (numeric) {
            std::vector<double> key(n);
            bool inOrder = true;
            for (int i = 0; i < n; ++i) {
                key[i] = numberOf(col.at(static_cast<size_t>(r1 + i)));
                if (i > 0 && (descending ? key[i - 1] < key[i] : key[i - 1] > key[i]))
                    inOrder = false;
            }
            if (inOrder) return;
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                return descending ? key[a - r1] > key[b - r1] : key[a - r1] < key[b - r1];
            });
        } else {
            bool inOrder = true;
            for (int i = 1; i < n && inOrder; ++i) {
                const int cmp =
                    QString::compare(col.at(static_cast<size_t>(r1 + i - 1)),
                                     col.at(static_cast<size_t>(r1 + i)), Qt::CaseSensitive);
                inOrder = descending ? cmp >= 0 : cmp <= 0;
            }
            if (inOrder) return;
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                const int cmp = QString::compare(col.at(static_cast<size_t>(a)),
                                                 col.at(static_cast<size_t>(b)), Qt::CaseSensitive);
                return descending ? cmp > 0 : cmp < 0;
            });
        }
    }
    moveRows(r1, order);
}

// Rows r1, r1 + 1, ... take what rows order[0], order[1], ... held.
void GridModel::moveRows(int r1, const std::vector<int>& order) {
    const size_t n = order.size();
    for (fendra::TextColumn& col : mColumns)
        col.reorder(static_cast<size_t>(r1), order);
    if (!mColors.empty()) {
        std::vector<quint32> colors(n * mCols);
        for (size_t i = 0; i < n; ++i)
            std::copy_n(mColors.begin() + static_cast<std::ptrdiff_t>(order[i]) * mCols, mCols,
                        colors.begin() + static_cast<std::ptrdiff_t>(i * mCols));
        std::copy(colors.begin(), colors.end(), mColors.begin() + static_cast<size_t>(r1) * mCols);
    }
    std::vector<int> heights(n);
    std::vector<quint64> ids(n);
    for (size_t i = 0; i < n; ++i) {
        heights[i] = mRowHeights[order[i]];
        ids[i] = mRowIds[order[i]];
    }
    std::copy(heights.begin(), heights.end(), mRowHeights.begin() + r1);
    std::copy(ids.begin(), ids.end(), mRowIds.begin() + r1);
}

quint64 GridModel::rowId(int r) const {
    checkRow(r);
    return mRowIds[r];
}

int GridModel::rowOfId(quint64 id, int hint) const {
    if (id == 0) return -1;
    if (hint >= 0 && hint < mRows && mRowIds[hint] == id) return hint;
    const auto it = std::find(mRowIds.begin(), mRowIds.end(), id);
    return it == mRowIds.end() ? -1 : static_cast<int>(it - mRowIds.begin());
}

GridModel::RowBlock GridModel::takeRows(std::vector<int> indexes) {
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (int r : indexes)
        checkRow(r);
    if (mRows - static_cast<int>(indexes.size()) < mFixedRows)
        throw GridError("Cannot remove a fixed row");
    RowBlock b;
    b.cols = mCols;
    b.cells.reserve(indexes.size() * static_cast<size_t>(mCols));
    for (int r : indexes) {
        const size_t from = static_cast<size_t>(r) * mCols;
        for (int c = 0; c < mCols; ++c)
            b.cells.push_back(mColumns[c].at(static_cast<size_t>(r)));
        if (!mColors.empty())
            b.colors.insert(b.colors.end(), mColors.begin() + from, mColors.begin() + from + mCols);
        b.heights.push_back(mRowHeights[r]);
        b.ids.push_back(mRowIds[r]);
    }
    // runs of neighbouring rows go at once, from the bottom up
    for (size_t i = indexes.size(); i > 0;) {
        size_t j = i - 1;
        while (j > 0 && indexes[j - 1] == indexes[j] - 1)
            --j;
        removeRows(indexes[j], static_cast<int>(i - j));
        i = j;
    }
    return b;
}

void GridModel::putRows(int at, const RowBlock& b) {
    if (b.cols != mCols) throw GridError("Rows of another shape");
    const int n = b.count();
    insertRows(at, n, -1);
    const size_t pos = static_cast<size_t>(at) * mCols;
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < mCols; ++c)
            mColumns[c].set(static_cast<size_t>(at + i),
                            b.cells[static_cast<size_t>(i) * mCols + c]);
    if (!b.colors.empty()) {
        if (mColors.empty()) mColors.assign(cellCount(), NoColor);
        std::copy(b.colors.begin(), b.colors.end(), mColors.begin() + pos);
    }
    std::copy(b.heights.begin(), b.heights.end(), mRowHeights.begin() + at);
    std::copy(b.ids.begin(), b.ids.end(), mRowIds.begin() + at);
}
