#pragma once
#include "Catalog.h"
#include "KeyNumbering.h"
#include "LoadedTexts.h"
#include "RellmarkError.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class GridModel;
class clsDBRecord;
class clsRellmark;

// One catalog table of the editor: loaded into a grid model, checked,
// numbered and saved back from it in one transaction. It reads and writes
// cells through the model only and shows nothing; the window turns its
// results into messages, red cells and the cursor.
//
// What it holds is the baseline of every save: the texts each record was
// loaded with and the texts its foreign keys showed. The rule that keeps a
// save from writing over what others saved or what the user meant:
//
//   The baseline is replaced only by a complete load or a successful save.
//   A failed load, check or save leaves it as it was; a failed save also
//   puts back every cell it wrote (the numbers of new rows, the keys of
//   foreign texts), so the grid holds exactly what the user typed. After a
//   load that failed, nothing is saved until a load succeeds.
class EditSession {
public:
    // Grows or shrinks the grid to `maxRow` rows, the header included (the
    // grid's own rule: one row means a header over an empty placeholder).
    using SetMaxRow = std::function<void(int maxRow)>;

    EditSession(GridModel& model, clsRellmark* db, SetMaxRow setMaxRow = {});
    ~EditSession();
    EditSession(const EditSession&) = delete;
    EditSession& operator=(const EditSession&) = delete;

    // The table: its INI section, and its columns as the catalog defines them.
    void setTable(const QString& section, ColumnDefs cols, ColumnDefs foreign);
    const QString& section() const { return mSection; }
    const ColumnDefs& columns() const { return mCols; }
    const ColumnDefs& foreignColumns() const { return mForeign; }
    int numberCount() const { return mCols.size() - 1; }
    int foreignCount() const { return mForeign.size() - 1; }
    int firstKeyColumn() const;
    int lastKeyColumn() const;

    // ---- loading ----
    // The choices of one column's completion list.
    struct InputList {
        int col = 0;
        bool on = false;
        int size = 0; // the number of choices the list is sized for
        QStringList values;
    };
    struct LoadResult {
        bool ok = false;
        QString error;        // why the table could not be read
        QStringList warnings; // said to the user, the load goes on
        std::vector<InputList> lists;
    };
    // Reads the table into the model (mode 1) or only the foreign texts of
    // the completion lists (mode 0, the rows stay as they are).
    LoadResult load();
    LoadResult loadForeignValues(int mode);
    // A load in steps, for a window that shows the first rows at once: the
    // lookup tables and the first `firstRows` rows are read into the model,
    // and each loadMore up to `rows` more, until a step is `done` with the
    // load's result. While rows remain the table is not loaded (nothing can
    // be saved) and the database holds its rows as they were when the read
    // began. cancelLoad gives the rest up: the load counts as failed.
    struct LoadStep {
        bool done = false;
        LoadResult result; // when done
    };
    LoadStep beginLoad(int firstRows);
    LoadStep loadMore(int rows);
    void cancelLoad();
    bool isLoading() const { return mState == State::Loading; }
    // The rows in the model so far.
    int rowsRead() const;
    // The table's rows as counted when the load began.
    int rowsExpected() const { return mExpected; }
    // False after a load that failed: the grid may be incomplete.
    bool isLoaded() const { return mState == State::Loaded; }

    // ---- checks and numbering ----
    struct CheckResult {
        qint16 code = 0; // 0 passed, -1 no rows, 1 repeat, 2 empty, 3 not a number, 4 too long
        int row = -1, col = -1;
    };
    CheckResult checkCells() const;
    qint16 countDataRows() const;
    bool assignNewKeys();
    void writeNewKeys(int mode);

    // ---- saving ----
    struct SaveResult {
        enum class Outcome {
            Written,       // committed; the table was read again (see reloadError)
            NotLoaded,     // refused: the last load failed
            KeysExhausted, // no key number left for a new row
            CheckFailed,   // refused by a check: `check` at `row`, `col`
            InUse,         // refused: a deleted record is still referred to (`description`)
            Conflict,      // someone else changed or deleted `rowLabel` since loading
                           // (`description`: the library's words, when it found it)
            Failed,        // the database refused: `description`
        };
        Outcome outcome = Outcome::Written;
        qint16 check = 0;
        int row = -1, col = -1; // the cell to show (-1: none in the grid)
        QString rowLabel;       // 番号「5」, naming the row of a conflict
        // Failed: where (None: before or after writing either table)
        enum class Table { None, Foreign, Main } table = Table::None;
        int errorNumber = 0;
        QString description; // the database's own description, never empty on Failed
        RellmarkError::Kind kind = RellmarkError::Kind::Other; // what failed, on Failed
        bool reconnectMayHelp = false; // the connection opened again might not fail so
        // Written: the table read again (reload.ok false: it could not be)
        LoadResult reload;
    };
    // A save that fails because the connection is gone (or the file could
    // not be written as it was opened) opens the connection again and is
    // tried once more before it is reported.
    SaveResult save();
    // Releases the record set.
    void close();

    // A cell's text without a copy.
    const QString& cell(int row, int col) const;
    int maxRow() const;
    // "番号「5」" for the row's key cells, to name a row in a message.
    QString keyLabel(const std::function<QString(int column)>& textOf) const;

    // Shown in place of a foreign key that its table does not hold.
    static inline const QString NoMatch = QStringLiteral("外部キー該当なし");

private:
    enum class State { Empty, Loading, Loaded, LoadFailed };
    enum class MainSave { Written, Failed, Conflict, InUse };

    void setCell(int row, int col, const QString& text);
    void resize(int maxRow);
    void sortAll(int col, int mode);
    // Up to `limit` of the rows the record set has read and the model does
    // not hold yet, into the model.
    LoadStep takeRows(int limit);
    LoadStep failedStep(const QString& error);
    template <typename F> LoadStep guardedStep(F&& f);
    // The lookup tables: their counts and texts (the lists of foreign
    // columns, and with mode 1 what each key shows), and the foreign texts
    // of rows [from, to).
    void readForeignTexts(int mode, LoadResult& result);
    void showForeignTexts(int from, int to);
    // The text foreign entry j shows in `row` for its key (given as a
    // number when it was read as one).
    void showForeignText(int j, int row, const qint64* number);
    // Where a record set of these field names finds `name`: as it is, else
    // without regard to case; -1 when it has none.
    static int fieldOf(const QStringList& names, const QString& name);
    std::vector<InputList> ordinaryLists() const;
    // Whether the display cell of foreign entry j in `row` still shows what
    // its key showed at loading (the placeholder included): such a row keeps
    // its key, whatever the foreign table calls that key by now.
    bool keepsLoadedKey(int j, int row) const;
    // Whether `row` holds in number column i what its record was loaded with.
    bool loadedAsIs(int row, int i) const;
    // Of a repeated value found at `row`, the row to name: the one the user
    // changed or added rather than the record it repeats.
    int changedOfRepeat(int row, int col, ColumnDataType type, bool ignoreCase,
                        const std::function<bool(int)>& asLoaded) const;
    QString mainSource() const;
    void openMainRecordSet();
    bool saveForeignTables(const std::function<void(int row, int col)>& writing);
    MainSave saveMainTable(SaveResult& result);
    SaveResult saveOnce(bool& retry);
    // Why a loaded record (its texts by column) may not be deleted: the
    // rows of other catalog tables that still refer to it ("" when none).
    QString stillReferredTo(const std::function<QString(int column)>& loaded);
    // The greatest whole-number key the table holds now.
    qint64 keyFloorInTable();

    GridModel& mModel;
    clsRellmark* mDb;
    SetMaxRow mSetMaxRow;
    QString mSection;
    ColumnDefs mCols;
    ColumnDefs mForeign;
    State mState = State::Empty;
    std::unique_ptr<clsDBRecord> mRecordSet;
    // While loading: what the load has gathered for its result, the count
    // the table had, and the record set's field of each number column.
    LoadResult mPending;
    int mExpected = 0;
    std::vector<int> mFields;
    // Whether the rows so far came in the order of the final sort, and the
    // last key they came with.
    bool mInKeyOrder = true;
    qint64 mLastKey = 0;
    int mColAtStart = 0; // the current column as a load began
    // The grid's columns as the last load left them, where it left each
    // record in the row after its place in the load (no sort moved them):
    // a column of the same version holds what was loaded, record by record.
    bool mLoadedInPlace = false;
    int mFirstLoadedRow = 1; // the row of the load's first record
    std::vector<quint64> mLoadedVersions;
    // The record set holds exactly what was loaded: a save may write it
    // directly, and the library refuses any row someone else changed since.
    // Any save attempt uses it up; after a failed one the table is read again
    // and every row compared with its baseline.
    bool mRecordSetIsBaseline = false;
    std::vector<KeyNumbering::NewKey> mNewKeys;
    // New keys are numbered past this as well (0: past the grid's keys only).
    qint64 mKeyFloor = 0;
    // The texts each record was loaded with (n per record, in load order),
    // sharing their data with the grid's cells.
    LoadedTexts mLoaded;
    // The texts that the keys of one foreign column showed at loading; a key
    // in a number column by its value.
    class ShownTexts {
    public:
        explicit ShownTexts(bool numeric = false) : mNumeric(numeric) {}
        void insert(const QString& key, const QString& text); // the first text stays
        // nullptr for a key the foreign table did not hold
        const QString* find(const QString& key) const;
        const QString* findNumber(qint64 key) const;

    private:
        static constexpr qint64 Dense = 65536;
        bool mNumeric;
        std::vector<QString> mDense; // keys below Dense, by key
        std::vector<char> mHas;
        QHash<qint64, QString> mNumbers;
        QHash<QString, QString> mTexts;
    };
    std::vector<ShownTexts> mShown; // per foreign entry (index j)
    // The texts of small whole numbers, made once: the months, days, keys
    // and amounts of a large table share them instead of a text per cell.
    class NumberTexts {
    public:
        const QString& text(qint64 v);

    private:
        static constexpr qint64 Cached = 65536;
        std::vector<QString> mTexts;
        QString mOther;
    };
    NumberTexts mNumberTexts;
};
