// Numbering new rows and checking every cell against the catalog's rules
// before a save.
#include "frmInput.h"
#include "usrFlg.h"

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
    const auto numbered = KeyNumbering::numberEmptyKeys(keys, 1);
    if (!numbered) {
        mGrid->setRedraw(true);
        return false;
    }
    mNewKeys = *numbered;
    return true;
}

void frmInput::WriteNewKeys(int mode) {
    const int first = firstKeyColumn();
    if (first == 0) return;
    for (const auto& k : mNewKeys)
        mGrid->setField(k.row, mCols[first].ipointx,
                        mode == 0 ? QString::number(k.key) : QString());
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

    // 1. repeats
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c) || !c.Unique) continue;
        sortAll(c.ipointx, isNumberType(c.eDataType) ? 3 : 7);
        const bool emptyKeysMayRepeat = c.MainKey && isNumberType(c.eDataType);
        for (int r = 1; r <= rows - 2; ++r) {
            const QString& a = cell(r, c.ipointx);
            const QString& b = cell(r + 1, c.ipointx);
            if (emptyKeysMayRepeat && (a.isEmpty() || b.isEmpty())) continue;
            if (a == b) return fail(r + 1, c.ipointx, 1);
        }
    }
    // Foreign columns without input choices show no texts: their keys are
    // saved as loaded and there is nothing of them to check.
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        if (!linked.Unique || !mForeign[j].InputPlus) continue;
        sortAll(mForeign[j].ipointx, isNumberType(linked.eDataType) ? 3 : 7);
        for (int r = 1; r <= rows - 2; ++r)
            if (cell(r, mForeign[j].ipointx) == cell(r + 1, mForeign[j].ipointx))
                return fail(r + 1, mForeign[j].ipointx, 1);
    }
    // 2. empty and non-numeric values
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c)) continue;
        for (int r = 1; r < rows; ++r) {
            const QString& t = cell(r, c.ipointx);
            if (!c.NullPermmit && t.isEmpty()) return fail(r, c.ipointx, 2);
            if (isNumberType(c.eDataType) && !t.isEmpty() && !isNumericText(t))
                return fail(r, c.ipointx, 3);
        }
    }
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        if (!mForeign[j].InputPlus) continue;
        for (int r = 1; r < rows; ++r) {
            const QString& t = cell(r, mForeign[j].ipointx);
            if (!linked.NullPermmit && t.isEmpty()) return fail(r, mForeign[j].ipointx, 2);
            if (isNumberType(mForeign[j].GaibuTableColeDataType) && !t.isEmpty() &&
                !isNumericText(t))
                return fail(r, mForeign[j].ipointx, 3);
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
        for (int r = 1; r < rows; ++r)
            if (cell(r, mForeign[j].ipointx).size() * 2 > linked.CheckInputTextLength)
                return fail(r, mForeign[j].ipointx, 4);
    }
    mGrid->setRedraw(true);
    return 0;
}
