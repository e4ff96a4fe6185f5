// The edit session: loading a table into the grid model, the checks of every
// cell and the numbering of new rows. Saving is in EditSessionSave.cpp.
#include "EditSession.h"
#include "CellValues.h"
#include "GridModel.h"
#include "PerText.h"
#include "TamrocError.h"
#include "clsDBRecord.h"
#include "clsRellmark.h"

#include <QSet>
#include <limits>

EditSession::EditSession(GridModel& model, clsRellmark* db, SetMaxRow setMaxRow)
    : mModel(model), mDb(db), mSetMaxRow(std::move(setMaxRow)) {}

EditSession::~EditSession() {
    close();
}

void EditSession::close() {
    if (mRecordSet && mRecordSet->IsOpen()) mRecordSet->CloseRecordSet();
    mRecordSet.reset();
    mRecordSetIsBaseline = false;
}

void EditSession::setTable(const QString& section, ColumnDefs cols, ColumnDefs foreign) {
    mSection = section;
    mCols = std::move(cols);
    mForeign = std::move(foreign);
    mState = State::Empty;
}

const QString& EditSession::cell(int row, int col) const {
    return mModel.text(row, col);
}

void EditSession::setCell(int row, int col, const QString& text) {
    mModel.setText(row, col, text);
}

int EditSession::maxRow() const {
    return mModel.isPlaceholder() ? mModel.rows() - 1 : mModel.rows();
}

void EditSession::resize(int maxRow) {
    if (mSetMaxRow) {
        mSetMaxRow(maxRow);
        return;
    }
    // Without a grid: the model alone, by the grid's rule.
    const int fr = mModel.fixedRows();
    if (maxRow <= fr) {
        mModel.setRows(fr + 1);
        for (int c = 0; c < mModel.cols(); ++c)
            mModel.setText(fr, c, QString());
        mModel.setRowHeight(fr, 0);
        return;
    }
    if (mModel.isPlaceholder()) mModel.setRowHeight(fr, mModel.defaultRowHeight());
    mModel.setRows(maxRow);
}

int EditSession::firstKeyColumn() const {
    for (int i = 1; i <= numberCount(); ++i)
        if (mCols[i].MainKey) return i;
    return 0;
}

int EditSession::lastKeyColumn() const {
    for (int i = numberCount(); i >= 1; --i)
        if (mCols[i].MainKey) return i;
    return 0;
}

QString EditSession::keyLabel(const std::function<QString(int)>& textOf) const {
    QStringList parts;
    for (int i = 1; i <= numberCount(); ++i)
        if (mCols[i].MainKey)
            parts << mCols[i].JPName + QStringLiteral("「") + textOf(i) + QStringLiteral("」");
    return parts.join(QStringLiteral("・"));
}

// A key in a number column is joined by its value; anything else (a text
// stored in a number column) as it stands, so that it matches nothing
// instead of stopping the load.
void EditSession::ShownTexts::insert(const QString& key, const QString& text) {
    qint64 v;
    if (mNumeric && parsePlainInteger(key, v)) {
        if (v >= 0 && v < Dense) {
            // the small keys of a lookup table: found by position
            if (mDense.size() <= static_cast<size_t>(v)) {
                mDense.resize(static_cast<size_t>(v) + 1);
                mHas.resize(static_cast<size_t>(v) + 1);
            }
            if (!mHas[static_cast<size_t>(v)]) {
                mHas[static_cast<size_t>(v)] = 1;
                mDense[static_cast<size_t>(v)] = text;
            }
        } else if (!mNumbers.contains(v)) {
            mNumbers.insert(v, text);
        }
    } else if (!mTexts.contains(key)) {
        mTexts.insert(key, text);
    }
}

const QString* EditSession::ShownTexts::findNumber(qint64 key) const {
    if (!mNumeric) return find(QString::number(key));
    if (key >= 0 && static_cast<size_t>(key) < mHas.size())
        return mHas[static_cast<size_t>(key)] ? &mDense[static_cast<size_t>(key)] : nullptr;
    if (key >= 0 && key < Dense) return nullptr;
    const auto it = mNumbers.constFind(key);
    return it == mNumbers.constEnd() ? nullptr : &*it;
}

const QString& EditSession::NumberTexts::text(qint64 v) {
    if (v < 0 || v >= Cached) {
        mOther = QString::number(v);
        return mOther;
    }
    if (mTexts.empty()) mTexts.resize(Cached);
    QString& t = mTexts[static_cast<size_t>(v)];
    if (t.isNull()) t = QString::number(v);
    return t;
}

const QString* EditSession::ShownTexts::find(const QString& key) const {
    qint64 v;
    if (mNumeric && parsePlainInteger(key, v)) return findNumber(v);
    const auto it = mTexts.constFind(key);
    return it == mTexts.constEnd() ? nullptr : &*it;
}

bool EditSession::keepsLoadedKey(int j, int row) const {
    if (static_cast<size_t>(j) >= mShown.size()) return false;
    const QString& key = cell(row, mCols[mForeign[j].LinkIndex].ipointx);
    if (key.isEmpty()) return false;
    // a key the foreign table did not hold showed the placeholder
    const QString* text = mShown[j].find(key);
    return cell(row, mForeign[j].ipointx) == (text ? *text : NoMatch);
}

// ---- loading ----------------------------------------------------------------

void EditSession::sortAll(int col, int mode) {
    // Sorting for loading always takes every row, never just the rows the
    // user happens to have selected.
    if (maxRow() > mModel.fixedRows()) mModel.setRow(std::max(mModel.row(), mModel.fixedRows()));
    mModel.setCol(col);
    mModel.sort(col, mode);
}

QString EditSession::mainSource() const {
    QStringList keys;
    for (int i = 1; i <= numberCount(); ++i)
        if (mCols[i].MainKey) keys << mCols[i].FieldName;
    return mSection + QStringLiteral(" Order By ") + keys.join(QStringLiteral(" , "));
}

void EditSession::openMainRecordSet() {
    if (mRecordSet && mRecordSet->IsOpen()) mRecordSet->CloseRecordSet();
    mRecordSet = std::make_unique<clsDBRecord>();
    mRecordSet->setParentConnectClass(mDb);
    mRecordSet->GetRecordSet(mainSource());
}

EditSession::LoadResult EditSession::load() {
    LoadStep step = beginLoad(std::numeric_limits<int>::max());
    while (!step.done)
        step = loadMore(std::numeric_limits<int>::max());
    return step.result;
}

EditSession::LoadStep EditSession::failedStep(const QString& error) {
    if (mRecordSet && mRecordSet->IsReading()) mRecordSet->StopReading();
    mState = State::LoadFailed;
    LoadStep step;
    step.done = true;
    step.result = std::move(mPending);
    mPending = {};
    step.result.ok = false;
    step.result.error = error;
    return step;
}

template <typename F> EditSession::LoadStep EditSession::guardedStep(F&& f) {
    try {
        return f();
    } catch (const RellmarkError& e) {
        return failedStep(e.description());
    } catch (const std::exception& e) {
        return failedStep(QString::fromStdString(e.what()));
    }
}

EditSession::LoadStep EditSession::beginLoad(int firstRows) {
    // Whatever fails below, the baseline of the last complete load is gone
    // with the grid it described: nothing is saved until a load succeeds.
    mState = State::LoadFailed;
    mRecordSetIsBaseline = false;
    mLoadedInPlace = false;
    mPending = {};
    return guardedStep([&] {
        resize(0);
        resize(1);
        mColAtStart = mModel.col();
        mFirstLoadedRow = maxRow();
        // The lookup tables first: each row shows its foreign texts as it comes.
        readForeignTexts(1, mPending);
        mLoaded.reset(numberCount(), static_cast<size_t>(mExpected));
        mInKeyOrder = true;
        if (mRecordSet && mRecordSet->IsOpen()) mRecordSet->CloseRecordSet();
        mRecordSet = std::make_unique<clsDBRecord>();
        mRecordSet->setParentConnectClass(mDb);
        mRecordSet->OpenFirstRows(QStringLiteral("select * from ") + mainSource(), firstRows);
        // the count taken above sizes what the steps fill
        mRecordSet->ReserveRows(mExpected);
        mModel.reserveRows(mModel.fixedRows() + mExpected + 1);
        mFields.clear();
        const QStringList names = mRecordSet->fieldNames();
        for (int i = 1; i <= numberCount(); ++i) {
            const int at = fieldOf(names, mCols[i].FieldName);
            if (at < 0)
                throw RellmarkError(
                    RellmarkErr::ItemNotFound,
                    QStringLiteral("要求された名前または序数に対応する項目がありません：%1")
                        .arg(mCols[i].FieldName));
            mFields.push_back(at);
        }
        mState = State::Loading;
        return takeRows(firstRows);
    });
}

EditSession::LoadStep EditSession::loadMore(int rows) {
    if (mState != State::Loading) {
        LoadStep step;
        step.done = true;
        step.result.ok = mState == State::Loaded;
        return step;
    }
    return guardedStep([&] {
        if (mRecordSet->IsReading() && mRecordSet->Eof()) mRecordSet->ReadMore(rows);
        return takeRows(rows);
    });
}

void EditSession::cancelLoad() {
    if (mState != State::Loading) return;
    failedStep(QString());
}

int EditSession::rowsRead() const {
    return std::max(0, maxRow() - mModel.fixedRows());
}

EditSession::LoadStep EditSession::takeRows(int limit) {
    clsDBRecord& rs = *mRecordSet;
    const int n = numberCount();
    const int from = maxRow(); // the first row not yet filled
    // rows read and not yet in the grid (a server's come all at once)
    const int taken = std::min(rs.RowCount() - (from - 1), limit);
    if (taken > 0) {
        resize(from + taken);
        // Column by column: one column's cells, values and texts at a time
        // stay at hand. A foreign key read as a number finds its text by
        // that number.
        const int k = foreignCount();
        const int lastKey = lastKeyColumn();
        const bool numberKey = isNumberType(mCols[lastKey].eDataType);
        std::vector<int> links;
        for (int i = 1; i <= n; ++i) {
            const int field = mFields[static_cast<size_t>(i - 1)];
            const int x = mCols[i].ipointx;
            const bool keyOrder = i == lastKey && mInKeyOrder;
            links.clear();
            for (int j = 1; j <= k; ++j)
                if (mForeign[j].InputPlus && mForeign[j].LinkIndex == i) links.push_back(j);
            rs.Column_PeekRows(
                field, taken,
                [&](int offset, clsDBRecord::FieldKind kind, qint64 number, const QString* text,
                    const QVariant* other) {
                    const int r = from + offset;
                    switch (kind) {
                    case clsDBRecord::FieldKind::Number: {
                        const QString& t = mNumberTexts.text(number);
                        setCell(r, x, t);
                        mLoaded.addNumber(i - 1, number, t);
                        break;
                    }
                    case clsDBRecord::FieldKind::Text:
                        setCell(r, x, *text);
                        mLoaded.addOther(i - 1, *text);
                        break;
                    case clsDBRecord::FieldKind::Null:
                        mLoaded.addOther(i - 1, QString()); // a new row's cell is empty already
                        break;
                    case clsDBRecord::FieldKind::Other: {
                        const QString t = FieldText(*other);
                        setCell(r, x, t);
                        mLoaded.add(i - 1, *other, t);
                        break;
                    }
                    }
                    const bool isNumber = kind == clsDBRecord::FieldKind::Number;
                    // Whole numbers rising strictly in the last key column are in
                    // the order a numeric sort by it gives.
                    if (keyOrder && mInKeyOrder) {
                        mInKeyOrder = numberKey && isNumber && (r == 1 || number > mLastKey);
                        mLastKey = number;
                    }
                    for (int j : links)
                        showForeignText(j, r, isNumber ? &number : nullptr);
                });
        }
        for (int r = 0; r < taken; ++r)
            rs.MoveNext();
    }
    LoadStep step;
    if (rs.IsReading() || !rs.Eof()) return step;
    // The whole table is in: the lists of ordinary columns come from its rows.
    step.done = true;
    step.result = std::move(mPending);
    mPending = {};
    std::vector<InputList> lists = ordinaryLists();
    for (auto& l : step.result.lists)
        lists.push_back(std::move(l));
    step.result.lists = std::move(lists);
    const ColumnDef& last = mCols[lastKeyColumn()];
    if (mInKeyOrder) {
        // the rows came in the order the sort would give them: nothing moves
        if (maxRow() > mModel.fixedRows())
            mModel.setRow(std::max(mModel.row(), mModel.fixedRows()));
        // (a column the user went to while the rows came stays the current one)
        if (mModel.col() == mColAtStart) mModel.setCol(last.ipointx);
    } else {
        sortAll(last.ipointx, isNumberType(last.eDataType) ? 3 : 7);
    }
    mLoadedInPlace = mInKeyOrder;
    mLoadedVersions.assign(static_cast<size_t>(n + 1), 0);
    for (int i = 1; i <= n; ++i)
        mLoadedVersions[static_cast<size_t>(i)] = mModel.column(mCols[i].ipointx).version();
    mRecordSetIsBaseline = true;
    mState = State::Loaded;
    step.result.ok = true;
    return step;
}

EditSession::LoadResult EditSession::loadForeignValues(int mode) {
    LoadResult result;
    readForeignTexts(mode, result);
    std::vector<InputList> lists = ordinaryLists();
    for (auto& l : result.lists)
        lists.push_back(std::move(l));
    result.lists = std::move(lists);
    if (mode == 1) showForeignTexts(1, maxRow());
    result.ok = true;
    return result;
}

std::vector<EditSession::InputList> EditSession::ordinaryLists() const {
    std::vector<InputList> lists;
    // An ordinary column with input choices is sized by the values it really holds.
    for (int i = 1; i <= numberCount(); ++i) {
        const ColumnDef& c = mCols[i];
        InputList list{c.ipointx, c.InputPlus != 0, 0, {}};
        if (c.InputPlus) {
            // each text in the order of the rows, each cell's entry looked at once
            QSet<QString> seen;
            PerText note(mModel.column(c.ipointx), [&](const QString& t) {
                if (!t.isEmpty() && !seen.contains(t)) {
                    seen.insert(t);
                    list.values << t;
                }
                return true;
            });
            for (int r = 1; r < maxRow(); ++r)
                note(r);
            list.size = list.values.size();
        }
        lists.push_back(std::move(list));
    }
    return lists;
}

void EditSession::readForeignTexts(int mode, LoadResult& result) {
    const int k = foreignCount();
    if (mode == 1) {
        mShown.assign(static_cast<size_t>(k + 1), ShownTexts());
        for (int j = 1; j <= k; ++j)
            mShown[j] = ShownTexts(isNumberType(mCols[mForeign[j].LinkIndex].eDataType));
    }
    QString sql =
        QStringLiteral("Select all Count(*) as Count , 0 as TableNumber From ") + mSection;
    for (int j = 1; j <= k; ++j)
        if (mForeign[j].InputPlus)
            sql += QStringLiteral(" union all select all Count(*) as Count , ") +
                   QString::number(j) + QStringLiteral(" as TableNumber from ") +
                   mCols[mForeign[j].LinkIndex].GaibuTableName;
    clsDBRecord counts;
    counts.setParentConnectClass(mDb);
    counts.GetRecordSet_free(sql, true, QStringLiteral("aa"));
    auto countOf = [&](int table) -> int {
        if (counts.RowCount() > 0)
            for (counts.MoveFirst(); !counts.Eof(); counts.MoveNext())
                if (counts.Column(QStringLiteral("TableNumber")).toInt() == table)
                    return counts.Column(QStringLiteral("Count")).toInt();
        result.warnings << QStringLiteral("メインテーブルの数が見つからない！！");
        return 0;
    };
    // The main table's count sizes the load and tells its progress.
    mExpected = countOf(0);

    for (int j = 1; j <= k; ++j) {
        const int shown = mForeign[j].ipointx;
        InputList list{shown, mForeign[j].InputPlus != 0, 0, {}};
        if (!mForeign[j].InputPlus) {
            result.lists.push_back(std::move(list));
            continue;
        }
        const int counted = countOf(j);
        const ColumnDef& c = mCols[mForeign[j].LinkIndex];
        clsDBRecord f;
        f.setParentConnectClass(mDb);
        f.GetRecordSet_free(QStringLiteral("Select ") + c.GaibuTableColName +
                                QStringLiteral(" , ") + c.GaibuTableColKey +
                                QStringLiteral(" From ") + c.GaibuTableName +
                                QStringLiteral(" order by ") + c.GaibuTableColKey,
                            true, QStringLiteral("aa"));
        ShownTexts& textOf = mShown[j];
        if (f.RowCount() > 0)
            for (f.MoveFirst(); !f.Eof(); f.MoveNext()) {
                const QString text = FieldText(f.Column(c.GaibuTableColName));
                list.values << text;
                if (mode == 1) textOf.insert(FieldText(f.Column(c.GaibuTableColKey)), text);
            }
        f.CloseRecordSet();
        // a record added since the count is still offered
        list.size = std::max(counted, static_cast<int>(list.values.size()));
        result.lists.push_back(std::move(list));
    }
    counts.CloseRecordSet();
}

void EditSession::showForeignTexts(int from, int to) {
    for (int j = 1; j <= foreignCount(); ++j)
        if (mForeign[j].InputPlus && static_cast<size_t>(j) < mShown.size())
            for (int g = from; g < to; ++g)
                showForeignText(j, g, nullptr);
}

void EditSession::showForeignText(int j, int row, const qint64* number) {
    // a key that the foreign table does not hold shows as such
    const QString* text = nullptr;
    if (number) {
        text = mShown[j].findNumber(*number);
    } else {
        const QString& keyText = cell(row, mCols[mForeign[j].LinkIndex].ipointx);
        if (keyText.isEmpty()) {
            setCell(row, mForeign[j].ipointx, QString());
            return;
        }
        text = mShown[j].find(keyText);
    }
    setCell(row, mForeign[j].ipointx, text ? *text : NoMatch);
}

int EditSession::fieldOf(const QStringList& names, const QString& name) {
    const int exact = static_cast<int>(names.indexOf(name));
    if (exact >= 0) return exact;
    const QString folded = name.toCaseFolded();
    for (int f = 0; f < names.size(); ++f)
        if (names[f].toCaseFolded() == folded) return f;
    return -1;
}

// ---- checks and numbering ------------------------------------------------------

namespace {
// What the check of empty values and numbers finds of one text of a
// column: nothing (0), a missing value (2) or a text that is no whole number
// of the column's type (3).
auto valueCheck(ColumnDataType type, bool emptyAllowed) {
    return [type, emptyAllowed](const QString& t) -> qint16 {
        if (t.isEmpty()) return emptyAllowed ? 0 : 2;
        return isNumberType(type) && !CellValues::wholeNumber(t, type) ? 3 : 0;
    };
}

// The greatest key a column's type can hold.
qint64 keyLimit(ColumnDataType type) {
    return type == eSmallint ? 32767 : std::numeric_limits<qint32>::max();
}
} // namespace

bool EditSession::assignNewKeys() {
    mNewKeys.clear();
    if (mModel.fixedRows() >= maxRow()) return true;
    const int first = firstKeyColumn();
    if (first == 0 || mCols[first].eDataType == eText) return true;
    // a grid without new rows has nothing to number
    const fendra::TextColumn& column = mModel.column(mCols[first].ipointx);
    bool anyEmpty = false;
    for (int r = 1; r < maxRow() && !anyEmpty; ++r)
        anyEmpty = column.at(static_cast<size_t>(r)).isEmpty();
    if (!anyEmpty) return true;
    std::vector<QString> keys;
    keys.reserve(static_cast<size_t>(maxRow()));
    for (int r = 1; r < maxRow(); ++r)
        keys.push_back(cell(r, mCols[first].ipointx));
    const auto numbered =
        KeyNumbering::numberEmptyKeys(keys, 1, mKeyFloor, keyLimit(mCols[first].eDataType));
    if (!numbered) return false;
    mNewKeys = *numbered;
    return true;
}

void EditSession::writeNewKeys(int mode) {
    const int first = firstKeyColumn();
    if (first == 0 || mNewKeys.empty()) return;
    const int x = mCols[first].ipointx;
    if (mode == 0) {
        for (const auto& k : mNewKeys)
            setCell(k.row, x, QString::number(k.key));
        return;
    }
    // The numbers of this save are all above every key the grid held, so
    // they are found by their value wherever their rows are now; no other
    // cell is ever emptied, and no existing key changes.
    QSet<QString> numbers;
    for (const auto& k : mNewKeys)
        numbers.insert(QString::number(k.key));
    for (int r = 1; r < maxRow(); ++r)
        if (numbers.contains(cell(r, x))) setCell(r, x, QString());
}

qint16 EditSession::countDataRows() const {
    if (maxRow() == 2) {
        bool blank = true;
        for (int c = 0; c < numberCount() && blank; ++c)
            blank = cell(1, c).isEmpty();
        if (blank) return 0;
    }
    return static_cast<qint16>(std::min(maxRow() - mModel.fixedRows(), 32767));
}

// The checks read the rows in the order the user has them and never sort
// them: a failed check leaves every row where it was, so that the next
// value typed lands in the record the user meant.
bool EditSession::loadedAsIs(int row, int i) const {
    const int n = numberCount(), k = firstKeyColumn();
    if (n == 0 || k == 0) return false;
    const QString& key = cell(row, mCols[k].ipointx);
    if (key.isEmpty()) return false; // a new row
    for (size_t b = 0; b < mLoaded.rows(); ++b)
        if (mLoaded.is(b, k - 1, key)) return mLoaded.is(b, i - 1, cell(row, mCols[i].ipointx));
    return false;
}

int EditSession::changedOfRepeat(int row, int col, ColumnDataType type, bool ignoreCase,
                                 const std::function<bool(int)>& asLoaded) const {
    // the earlier row holding the same value
    int first = -1;
    for (int q = 1; q < row && first < 0; ++q) {
        CellValues::Repeats pair(type, ignoreCase);
        if (cell(q, col).isEmpty()) continue;
        pair.seen(cell(q, col));
        if (pair.seen(cell(row, col))) first = q;
    }
    // the user's row is the one that was not loaded as it stands
    return first >= 0 && asLoaded(row) && !asLoaded(first) ? first : row;
}

EditSession::CheckResult EditSession::checkCells() const {
    const int rows = maxRow();
    if (countDataRows() == 0) return {-1, -1, -1};
    const int n = numberCount(), k = foreignCount();
    auto fail = [](int row, int col, qint16 code) { return CheckResult{code, row, col}; };
    // A display cell that still shows the placeholder over the key it was
    // loaded with is no text: it is not checked, and its key stays. The
    // placeholder anywhere else stands for no value at all.

    // 1. repeats, compared as the values will be stored; an empty cell is
    // never a repeat (where the column takes none, the next pass names it)
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c) || !c.Unique) continue;
        CellValues::Repeats repeats(c.eDataType);
        if (c.eDataType != eText) repeats.reserve(static_cast<size_t>(rows));
        for (int r = 1; r < rows; ++r) {
            const QString& t = cell(r, c.ipointx);
            if (t.isEmpty()) continue;
            if (repeats.seen(t))
                return fail(changedOfRepeat(r, c.ipointx, c.eDataType, false,
                                            [&](int row) { return loadedAsIs(row, i); }),
                            c.ipointx, 1);
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
            if (t.isEmpty() || t == NoMatch) continue;
            if (repeats.seen(t))
                return fail(changedOfRepeat(r, mForeign[j].ipointx,
                                            mForeign[j].GaibuTableColeDataType, true,
                                            [&](int row) { return keepsLoadedKey(j, row); }),
                            mForeign[j].ipointx, 1);
        }
    }
    // 2. empty values, and values that are not numbers of the column's type
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c)) continue;
        PerText check(mModel.column(c.ipointx), valueCheck(c.eDataType, c.NullPermmit));
        for (int r = 1; r < rows; ++r)
            if (const qint16 code = check(r)) return fail(r, c.ipointx, code);
    }
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        const int shown = mForeign[j].ipointx;
        const ColumnDataType textType = mForeign[j].GaibuTableColeDataType;
        PerText keys(mModel.column(linked.ipointx), valueCheck(linked.eDataType, true));
        // the placeholder is no value (-1)
        PerText texts(mModel.column(shown), [&](const QString& t) -> qint16 {
            return t == NoMatch ? -1 : valueCheck(textType, linked.NullPermmit)(t);
        });
        for (int r = 1; r < rows; ++r) {
            // A key that stays as loaded must fit its column: a text stored
            // in a number column is shown, and refused here.
            if (keys(r) == 3 && (!mForeign[j].InputPlus || keepsLoadedKey(j, r)))
                return fail(r, shown, 3);
            if (!mForeign[j].InputPlus) continue;
            const qint16 code = texts(r);
            if (code == -1) {
                if (!linked.NullPermmit && !keepsLoadedKey(j, r)) return fail(r, shown, 2);
                continue;
            }
            if (code) return fail(r, shown, code);
        }
    }
    // 3. lengths, counted in bytes of UTF-16
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (IsForeignColumn(c) || c.eDataType != eText || c.CheckInputTextLength <= 0) continue;
        const qsizetype limit = c.CheckInputTextLength;
        PerText tooLong(mModel.column(c.ipointx),
                        [limit](const QString& t) { return t.size() * 2 > limit; });
        for (int r = 1; r < rows; ++r)
            if (tooLong(r)) return fail(r, c.ipointx, 4);
    }
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        if (!mForeign[j].InputPlus || mForeign[j].GaibuTableColeDataType != eText ||
            linked.CheckInputTextLength <= 0)
            continue;
        const qsizetype limit = linked.CheckInputTextLength;
        PerText tooLong(mModel.column(mForeign[j].ipointx),
                        [limit](const QString& t) { return t != NoMatch && t.size() * 2 > limit; });
        for (int r = 1; r < rows; ++r)
            if (tooLong(r)) return fail(r, mForeign[j].ipointx, 4);
    }
    return {};
}
