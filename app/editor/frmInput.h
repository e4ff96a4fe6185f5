#pragma once
#include "Catalog.h"
#include "Guarded.h"
#include "KeyNumbering.h"

#include <QHash>
#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QToolBar;
class clsDBRecord;
class usrFlg;

// The table editor: one catalog table in the grid, with foreign keys shown
// as their display texts; checked, numbered and saved in one transaction.
// Its work is split by concern: window and loading (frmInput.cpp), checks and
// numbering (frmInputChecks.cpp), saving and closing (frmInputSave.cpp),
// commands (frmInputCommands.cpp).
class frmInput : public QMainWindow {
    Q_OBJECT
public:
    explicit frmInput(QWidget* parent = nullptr);
    ~frmInput() override;

    qint16 mTblNum = 0;

    // Loads the table and shows the window; false when the table cannot be
    // edited (the user has been told why).
    bool Form_Load();
    // The closing question; sets cancel to 1 when the user keeps the window.
    void FrmMeUnload(int& cancel, int iMode);
    // The main menu has already asked: closing must not ask again.
    void setUnloadApproved() { mUnloadApproved = true; }
    // An end of the program was cancelled: closing asks again.
    void clearUnloadApproved() { mUnloadApproved = false; }

    // ---- loading ----
    void SetupGrid();
    void LoadRows();
    void LoadForeignValues(int mode);
    void SetupToolbar();
    void LayoutControls(int mode);
    void ShowRowCount();

    // ---- checks and numbering ----
    bool AssignNewKeys();
    void WriteNewKeys(int mode);
    qint16 CountDataRows();
    qint16 CheckCells();

    // ---- saving ----
    // True when everything was written and the table reloaded.
    bool SaveTable();

    // ---- commands ----
    void mnuFileSave_Click();
    // Asks first when there are unsaved edits.
    void mnuFileReRead_Click();
    void mnuFileFkeyRead_Click();
    // The grid as shown, to a CSV file.
    void mnuFileCsv_Click();
    void mnuFileClose_Click();
    void menuEditSyosai_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuEditCut_Click();
    void mnuEditClear_Click();
    void mnuEditSearch_Click();
    void mnuEditSearchDown_Click();
    void mnuEditSearchUp_Click();
    void mnuEditAddNum_Click();
    void mnuEditSort_Click();
    void FindText(bool forward, const QString& text);

    // For tests and the main menu.
    usrFlg* grid() const { return mGrid; }
    bool isModified() const { return mModified; }
    QString statusText() const;
    const ColumnDefs& columns() const { return mCols; }
    const ColumnDefs& foreignColumns() const { return mForeign; }
    QAction* action(const QString& name) const;

    static QString checkMessage(int code);
    // Shown in place of a foreign key that its table does not hold.
    static inline const QString NoMatch = QStringLiteral("外部キー該当なし");

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class MainSave { Written, Failed, Conflict };

    void Form_QueryUnload(int& cancel, int unloadMode);
    // Reads the table again, dropping whatever the grid holds.
    void reloadTable();
    void buildMenus();
    // Runs a command so that no failure escapes the event loop; the user is
    // told what went wrong and the grid keeps what it holds.
    template <typename F> void command(F&& f) { guarded(this, std::forward<F>(f)); }
    void sortAll(int col, int mode);
    int numberCount() const { return mCols.size() - 1; }
    int foreignCount() const { return mForeign.size() - 1; }
    int firstKeyColumn() const;
    int lastKeyColumn() const;
    void paintRed(int row, int col);
    // Whether the display cell of foreign entry j in `row` still shows what
    // its key showed at loading (the placeholder included): such a row keeps
    // its key, whatever the foreign table calls that key by now.
    bool keepsLoadedKey(int j, int row) const;
    // "番号「5」" for the row's key cells, to name a row in a message.
    QString keyLabel(const std::function<QString(int column)>& textOf) const;
    // A cell's text without a copy, for the passes over every row.
    const QString& cell(int row, int col) const;
    void openMainRecordSet();
    QString mainSource() const;
    bool saveForeignTables();
    MainSave saveMainTable();
    // One attempt of SaveTable; `retry` is set when a shared book refused
    // numbers that another program took at the same moment.
    bool saveOnce(bool& retry);
    // On a shared book: the greatest whole-number key the table holds now.
    qint64 keyFloorOnServer();

    usrFlg* mGrid = nullptr;
    QToolBar* Toolbar1 = nullptr;
    QLabel* mStatusPanel = nullptr;
    QWidget* mDetail = nullptr;
    ColumnDefs mCols;
    ColumnDefs mForeign;
    std::unique_ptr<clsDBRecord> mRecordSet;
    // The record set no longer holds exactly what was loaded (a save that
    // failed has changed it); the next save reads the table afresh.
    bool mRecordSetTouched = false;
    bool mModified = false;
    bool mUnloadApproved = false;
    bool mLoading = false;
    QString mSearchText;
    std::vector<KeyNumbering::NewKey> mNewKeys;
    // New keys are numbered past this as well (0: past the grid's keys only).
    qint64 mKeyFloor = 0;
    // The baseline of every save: the texts each record was loaded with (n per
    // record, in load order), sharing their data with the grid's cells. A save
    // writes only the rows whose texts differ from their record's, and only
    // over a record that still holds these texts. Replaced by each load.
    std::vector<QString> mLoaded;
    // The texts that the keys of one foreign column showed at loading; a key
    // in a number column by its value.
    class ShownTexts {
    public:
        explicit ShownTexts(bool numeric = false) : mNumeric(numeric) {}
        void insert(const QString& key, const QString& text); // the first text stays
        // nullptr for a key the foreign table did not hold
        const QString* find(const QString& key) const;

    private:
        bool mNumeric;
        QHash<qint64, QString> mNumbers;
        QHash<QString, QString> mTexts;
    };
    std::vector<ShownTexts> mShown; // per foreign entry (index j)
    // Where the last save found a row changed or deleted by someone else.
    int mConflictRow = -1;
    QString mConflictKey;
};
