// Numbering new rows and checking every cell against the catalog's rules
// before a save.
#include "CellValues.h"
#include "frmInput.h"
#include "usrFlg.h"

#include <QSet>

namespace {
constexpr quint32 White = 0x00FFFFFF;
constexpr quint32 Red = 0x000000FF; // RGB(255, 0, 0): red in the low byte

} // namespace

QString frmInput::checkMessage(int code) {
    switch (code) {
    case 1:
        return QStringLiteral("このフィールドは重複が禁止されています");
    case 2:
        return QStringLiteral("このフィールドは空白が禁止されています");
    case 3:
        return QStringLiteral("このフィールドは文字型のデータが禁止されています");
    case 4:
        return QStringLiteral("保存できる文字の長さを超えました");
    default:
        return {};
    }
}

bool frmInput::AssignNewKeys() {
    mNewKeys.clear();
    if (mGrid->FixedRows() >= mGrid->MaxRow()) return true;
    const int first = firstKeyColumn();
    if (first == 0 || mCols[first].eDataType == eText) return true;
    mGrid->setRedraw(false);
    std::vector<QString> keys;
    keys.reserve(static_cast<size_t>(mGrid->MaxRow()));
    for (int r = 1; r < mGrid->MaxRow(); ++r)
        keys.push_back(cell(r, mCols[first].ipointx));
    const auto numbered = KeyNumbering::numberEmptyKeys(keys, 1, mKeyFloor);
    if (!numbered) {
        mGrid->setRedraw(true);
        return false;
    }
    mNewKeys = *numbered;
    return true;
}

void frmInput::WriteNewKeys(int mode) {
    const int first = firstKeyColumn();
    if (first == 0 || mNewKeys.empty()) return;
    const int x = mCols[first].ipointx;
    if (mode == 0) {
        for (const auto& k : mNewKeys)
            mGrid->setField(k.row, x, QString::number(k.key));
        return;
    }
    // The numbers of this save are all above every key the grid held, so
    // they are found by their value wherever their rows are now; no other
    // cell is ever emptied, and no existing key changes.
    QSet<QString> numbers;
    for (const auto& k : mNewKeys)
        numbers.insert(QString::number(k.key));
    for (int r = 1; r < mGrid->MaxRow(); ++r)
        if (numbers.contains(cell(r, x))) mGrid->setField(r, x, QString());
}

qint16 frmInput::CountDataRows() {
    if (mGrid->MaxRow() == 2) {
        bool blank = true;
        for (int c = 0; c < numberCount() && blank; ++c)
            blank = cell(1, c).isEmpty();
        if (blank) return 0;
    }
    return static_cast<qint16>(std::min(mGrid->MaxRow() - mGrid->FixedRows(), 32767));
}

void frmInput::paintRed(int row, int col) {
    mGrid->setColorSet(row, col, row, col, Red);
    mGrid->setRedraw(true);
    mGrid->setTopRow(row);
    if (!mGrid->ColIsVisible(col)) mGrid->setLeftCol(col);
    mGrid->setRow(row);
    mGrid->setCol(col);
}

// The checks read the rows in the order the user has them and never sort
// them: a failed check leaves every row where it was, so that the next
// value typed lands in the record the user meant.
qint16 frmInput::CheckCells() {
    mGrid->setRedraw(false);
    const int rows = mGrid->MaxRow();
    if (rows > 1) mGrid->setColorSet(1, 0, rows - 1, mGrid->MaxCol() - 1, White);
    if (CountDataRows() == 0) {
        mGrid->setRedraw(true);
        return -1;
    }
    const int n = numberCount(), k = foreignCount();
    auto fail = [&](int row, int col, qint16 code) {
        paintRed(row, col);
        return code;
    };
    // A display cell that still shows the placeholder over the key it was
    // loaded with is no text: it is not checked, and its key stays. The
    // placeholder anywhere else stands for no value at all.

    // 1. repeats, compared as the values will be stored
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c) || !c.Unique) continue;
        // any number of empty cells may stand where the database takes NULL
        const bool emptiesMayRepeat = c.NullPermmit || (c.MainKey && isNumberType(c.eDataType));
        CellValues::Repeats repeats(c.eDataType);
        for (int r = 1; r < rows; ++r) {
            const QString& t = cell(r, c.ipointx);
            if (t.isEmpty() && emptiesMayRepeat) continue;
            if (repeats.seen(t)) return fail(r, c.ipointx, 1);
        }
    }
    // Foreign columns without input choices show no texts: their keys are
    // saved as loaded and there is nothing of them to compare.
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        if (!linked.Unique || !mForeign[j].InputPlus) continue;
        // texts that differ in case name one foreign record
        CellValues::Repeats repeats(mForeign[j].GaibuTableColeDataType, true);
        for (int r = 1; r < rows; ++r) {
            const QString& t = cell(r, mForeign[j].ipointx);
            bool none = t.isEmpty();
            if (t == NoMatch) {
                if (keepsLoadedKey(j, r)) continue;
                none = true;
            }
            if (none && linked.NullPermmit) continue;
            if (repeats.seen(none ? QString() : t)) return fail(r, mForeign[j].ipointx, 1);
        }
    }
    // 2. empty values, and values that are not numbers of the column's type
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c)) continue;
        for (int r = 1; r < rows; ++r) {
            const QString& t = cell(r, c.ipointx);
            if (!c.NullPermmit && t.isEmpty()) return fail(r, c.ipointx, 2);
            if (isNumberType(c.eDataType) && !t.isEmpty() &&
                !CellValues::wholeNumber(t, c.eDataType))
                return fail(r, c.ipointx, 3);
        }
    }
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        const int shown = mForeign[j].ipointx;
        const ColumnDataType textType = mForeign[j].GaibuTableColeDataType;
        for (int r = 1; r < rows; ++r) {
            // A key that stays as loaded must fit its column: a text stored
            // in a number column is shown, and refused here.
            const QString& key = cell(r, linked.ipointx);
            if (isNumberType(linked.eDataType) && !key.isEmpty() &&
                !CellValues::wholeNumber(key, linked.eDataType) &&
                (!mForeign[j].InputPlus || keepsLoadedKey(j, r)))
                return fail(r, shown, 3);
            if (!mForeign[j].InputPlus) continue;
            const QString& t = cell(r, shown);
            if (t == NoMatch) {
                if (!linked.NullPermmit && !keepsLoadedKey(j, r)) return fail(r, shown, 2);
                continue;
            }
            if (!linked.NullPermmit && t.isEmpty()) return fail(r, shown, 2);
            if (isNumberType(textType) && !t.isEmpty() && !CellValues::wholeNumber(t, textType))
                return fail(r, shown, 3);
        }
    }
    // 3. lengths, counted in bytes of UTF-16
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c) || c.eDataType != eText || c.CheckInputTextLength <= 0) continue;
        for (int r = 1; r < rows; ++r)
            if (cell(r, c.ipointx).size() * 2 > c.CheckInputTextLength)
                return fail(r, c.ipointx, 4);
    }
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        if (!mForeign[j].InputPlus || mForeign[j].GaibuTableColeDataType != eText ||
            linked.CheckInputTextLength <= 0)
            continue;
        for (int r = 1; r < rows; ++r) {
            const QString& t = cell(r, mForeign[j].ipointx);
            if (t != NoMatch && t.size() * 2 > linked.CheckInputTextLength)
                return fail(r, mForeign[j].ipointx, 4);
        }
    }
    mGrid->setRedraw(true);
    return 0;
}
