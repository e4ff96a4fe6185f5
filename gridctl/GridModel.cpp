#include "GridModel.h"

#include <QStringList>
#include <algorithm>
#include <numeric>

namespace {
const QString emptyText;
}

GridModel::GridModel() {
    setCols(2);
    setRows(2);
    setFixedRows(1);
    setFixedCols(1);
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
    mCells.resize(static_cast<size_t>(n) * mCols);
    if (!mColors.empty()) mColors.resize(static_cast<size_t>(n) * mCols, NoColor);
    mRowHeights.resize(n, mDefaultRowHeight);
    const size_t had = mRowIds.size();
    mRowIds.resize(n);
    for (size_t i = had; i < mRowIds.size(); ++i)
        mRowIds[i] = mNextRowId++;
    mRows = n;
    clampCursor();
}

void GridModel::setCols(int n) {
    if (n < 0) throw GridError("Invalid column count");
    if (n == mCols) return;
    std::vector<QString> cells(static_cast<size_t>(mRows) * n);
    std::vector<quint32> colors;
    if (!mColors.empty()) colors.assign(static_cast<size_t>(mRows) * n, NoColor);
    const int keep = std::min(n, mCols);
    for (int r = 0; r < mRows; ++r)
        for (int c = 0; c < keep; ++c) {
            cells[static_cast<size_t>(r) * n + c] =
                std::move(mCells[static_cast<size_t>(r) * mCols + c]);
            if (!colors.empty())
                colors[static_cast<size_t>(r) * n + c] =
                    mColors[static_cast<size_t>(r) * mCols + c];
        }
    mCells.swap(cells);
    mColors.swap(colors);
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
    return mCells[static_cast<size_t>(r) * mCols + c];
}

void GridModel::setText(int r, int c, const QString& s) {
    checkRow(r);
    checkCol(c);
    mCells[static_cast<size_t>(r) * mCols + c] = s;
}

QString GridModel::exchangeText(int r, int c, QString s) {
    checkRow(r);
    checkCol(c);
    std::swap(mCells[static_cast<size_t>(r) * mCols + c], s);
    return s;
}

const QString& GridModel::textArray(qint64 index) const {
    if (index < 0 || index >= static_cast<qint64>(mCells.size()))
        throw GridError("Subscript out of range (index)");
    return mCells[static_cast<size_t>(index)];
}

void GridModel::setTextArray(qint64 index, const QString& s) {
    if (index < 0 || index >= static_cast<qint64>(mCells.size()))
        throw GridError("Subscript out of range (index)");
    mCells[static_cast<size_t>(index)] = s;
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
        mColors.assign(mCells.size(), NoColor);
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
    mCells.insert(mCells.begin() + pos, static_cast<size_t>(n) * mCols, QString());
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
        mCells[static_cast<size_t>(index) * mCols + c] = fields[c];
}

void GridModel::removeRows(int at, int n) {
    if (n <= 0) return;
    if (at < 0 || at + n > mRows) throw GridError("Subscript out of range (row)");
    if (mRows - n < mFixedRows) throw GridError("Cannot remove a fixed row");
    const size_t pos = static_cast<size_t>(at) * mCols;
    mCells.erase(mCells.begin() + pos, mCells.begin() + pos + static_cast<size_t>(n) * mCols);
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
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), r1);
    const bool numeric = mode == 3 || mode == 4;
    const bool descending = mode == 4 || mode == 8;
    if (numeric) {
        std::vector<double> key(n);
        bool inOrder = true;
        for (int i = 0; i < n; ++i) {
            const QString& t = mCells[static_cast<size_t>(r1 + i) * mCols + c];
            bool ok = false;
            double v = static_cast<double>(t.toLongLong(&ok));
            if (!ok) v = t.trimmed().toDouble(&ok);
            key[i] = ok ? v : 0.0; // texts that are not numbers rank as zero
            if (i > 0 && (descending ? key[i - 1] < key[i] : key[i - 1] > key[i])) inOrder = false;
        }
        if (inOrder) return; // nothing to move
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return descending ? key[a - r1] > key[b - r1] : key[a - r1] < key[b - r1];
        });
    } else {
        bool inOrder = true;
        for (int i = 1; i < n && inOrder; ++i) {
            const int cmp = QString::compare(mCells[static_cast<size_t>(r1 + i - 1) * mCols + c],
                                             mCells[static_cast<size_t>(r1 + i) * mCols + c],
                                             Qt::CaseSensitive);
            inOrder = descending ? cmp >= 0 : cmp <= 0;
        }
        if (inOrder) return;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const QString& x = mCells[static_cast<size_t>(a) * mCols + c];
            const QString& y = mCells[static_cast<size_t>(b) * mCols + c];
            const int cmp = QString::compare(x, y, Qt::CaseSensitive);
            return descending ? cmp > 0 : cmp < 0;
        });
    }
    // Move whole rows into their new places.
    std::vector<QString> cells(static_cast<size_t>(n) * mCols);
    std::vector<quint32> colors;
    if (!mColors.empty()) colors.resize(static_cast<size_t>(n) * mCols);
    std::vector<int> heights(n);
    std::vector<quint64> ids(n);
    for (int i = 0; i < n; ++i) {
        ids[i] = mRowIds[order[i]];
        const size_t from = static_cast<size_t>(order[i]) * mCols;
        for (int k = 0; k < mCols; ++k) {
            cells[static_cast<size_t>(i) * mCols + k] = std::move(mCells[from + k]);
            if (!colors.empty()) colors[static_cast<size_t>(i) * mCols + k] = mColors[from + k];
        }
        heights[i] = mRowHeights[order[i]];
    }
    std::move(cells.begin(), cells.end(), mCells.begin() + static_cast<size_t>(r1) * mCols);
    if (!colors.empty())
        std::copy(colors.begin(), colors.end(), mColors.begin() + static_cast<size_t>(r1) * mCols);
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
            b.cells.push_back(std::move(mCells[from + c]));
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
    std::copy(b.cells.begin(), b.cells.end(), mCells.begin() + pos);
    if (!b.colors.empty()) {
        if (mColors.empty()) mColors.assign(mCells.size(), NoColor);
        std::copy(b.colors.begin(), b.colors.end(), mColors.begin() + pos);
    }
    std::copy(b.heights.begin(), b.heights.end(), mRowHeights.begin() + at);
    std::copy(b.ids.begin(), b.ids.end(), mRowIds.begin() + at);
}
