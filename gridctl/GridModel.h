#pragma once
#include "GridTextColumn.h"
#include "fendra_global.h"

#include <QRgb>
#include <QString>
#include <qnamespace.h>
#include <stdexcept>
#include <vector>

// The grid's failure for an argument outside it (a row, column or index that
// does not exist, a negative size). The host decides what to do with it.
class FENDRA_EXPORT GridError : public std::out_of_range {
public:
    explicit GridError(const char* what) : std::out_of_range(what) {}
};

// Everything a grid holds, without any widget: cell texts (row-major, linear
// index = row * cols + col), sizes in twips (0 hides), colours, fixed rows and
// columns, current cell and selection, first visible row and column, sorting.
class FENDRA_EXPORT GridModel {
public:
    static constexpr quint32 NoColor = 0xFFFFFFFFu; // the cell uses the grid's default

    GridModel();
    ~GridModel();
    GridModel(const GridModel&) = default;
    GridModel& operator=(const GridModel&) = default;
    GridModel(GridModel&&) noexcept = default;
    GridModel& operator=(GridModel&&) noexcept = default;

    int rows() const { return mRows; }
    int cols() const { return mCols; }
    void setRows(int n);
    // Room for `n` rows: a grid filled in steps up to them moves nothing.
    void reserveRows(int n);
    void setCols(int n);
    int fixedRows() const { return mFixedRows; }
    int fixedCols() const { return mFixedCols; }
    void setFixedRows(int n);
    void setFixedCols(int n);
    // An empty grid keeps one hidden row after its fixed rows.
    bool isPlaceholder() const { return mRows == mFixedRows + 1 && mRowHeights[mFixedRows] == 0; }

    const QString& text(int r, int c) const;
    // Column c's texts as its cells' entries of distinct texts: a pass that
    // asks the same of every cell asks it once for each entry. Holds while
    // no cell of the column changes.
    const fendra::TextColumn& column(int c) const;
    void setText(int r, int c, const QString& s);
    // Stores `s` and hands back the text it replaces.
    QString exchangeText(int r, int c, QString s);
    // The current cell's text (the grid's Text).
    const QString& currentText() const { return text(mRow, mCol); }
    void setCurrentText(const QString& s) { setText(mRow, mCol, s); }
    const QString& textArray(qint64 index) const;
    void setTextArray(qint64 index, const QString& s);

    // Qt::AlignLeft, Qt::AlignRight or Qt::AlignHCenter.
    Qt::Alignment colAlignment(int c) const;
    void setColAlignment(int c, Qt::Alignment a);
    int colWidth(int c) const;
    void setColWidth(int c, int twips);
    int rowHeight(int r) const;
    void setRowHeight(int r, int twips);
    int defaultColWidth() const { return mDefaultColWidth; }
    int defaultRowHeight() const { return mDefaultRowHeight; }
    void setDefaultRowHeight(int twips) { mDefaultRowHeight = twips; }

    // Colours are 0x00BBGGRR values (red in the low byte); NoColor = default.
    quint32 cellColor(int r, int c) const;
    void setCellColor(int r, int c, quint32 color);
    bool hasColors() const { return !mColors.empty(); }

    int row() const { return mRow; }
    int col() const { return mCol; }
    int rowSel() const { return mRowSel; }
    int colSel() const { return mColSel; }
    void setRow(int r); // also collapses the selection to the new current cell
    void setCol(int c);
    void setRowSel(int r);
    void setColSel(int c);
    int topRow() const { return mTopRow; }
    int leftCol() const { return mLeftCol; }
    void setTopRow(int r);
    void setLeftCol(int c);

    // Inserts one row at `index` whose cells are the TAB-separated fields of
    // `tabText`, or appends it when index is -1.
    void addItem(const QString& tabText, int index = -1);
    void removeItem(int index);
    void insertRows(int at, int n, int height);
    void removeRows(int at, int n);

    // Sorts whole rows by column `c`: the rows from row() to rowSel(), or all
    // non-fixed rows when those are the same. Modes: 3/4 numeric ascending /
    // descending, 7/8 string (case-sensitive) ascending / descending; other
    // modes sort ascending as strings.
    void sort(int c, int mode);

    // Every row has an identity of its own that stays with it when rows are
    // sorted, inserted or removed around it (0 is no row).
    quint64 rowId(int r) const;
    // The row of an identity, looked for at `hint` first; -1 when gone.
    int rowOfId(quint64 id, int hint = -1) const;

    // Whole rows taken out of the grid and put back, identities included.
    struct RowBlock {
        int cols = 0;
        std::vector<QString> cells;  // row-major
        std::vector<quint32> colors; // empty when the grid had no colours
        std::vector<int> heights;
        std::vector<quint64> ids;
        int count() const { return static_cast<int>(ids.size()); }
    };
    // Removes the rows of the given indexes (any order) and returns them in
    // the order they stood.
    RowBlock takeRows(std::vector<int> indexes);
    // Inserts the block's rows at `at`, one after the other.
    void putRows(int at, const RowBlock& block);

    // Cells held, for measuring.
    size_t cellCount() const { return static_cast<size_t>(mRows) * mCols; }
    // Bytes of the cell store itself (indexes, pools; not the texts' data).
    size_t storeBytes() const;

private:
    void checkRow(int r) const;
    void checkCol(int c) const;
    void clampCursor();
    void moveRows(int r1, const std::vector<int>& order);

    int mRows = 0, mCols = 0;
    int mFixedRows = 0, mFixedCols = 0;
    std::vector<fendra::TextColumn> mColumns; // the texts, column by column
    std::vector<quint32> mColors;             // empty until a cell gets a colour of its own
    std::vector<int> mRowHeights;
    std::vector<quint64> mRowIds;
    quint64 mNextRowId = 1;
    std::vector<int> mColWidths;
    std::vector<Qt::Alignment> mColAligns;
    int mDefaultRowHeight = 285;
    int mDefaultColWidth = 960;
    int mRow = 0, mCol = 0, mRowSel = 0, mColSel = 0;
    int mTopRow = 0, mLeftCol = 0;
};
