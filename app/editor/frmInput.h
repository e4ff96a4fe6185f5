#pragma once
#include "ImportPlan.h"
#include "Catalog.h"
#include "EditSession.h"
#include "Guarded.h"

#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QTimer;
class QToolBar;
class usrFlg;

// The table editor: one catalog table in the grid, with foreign keys shown
// as their display texts; checked, numbered and saved in one transaction by
// its EditSession. The window shows what the session's results say. Its
// work is split by concern: window and loading (frmInput.cpp), checks,
// saving and closing (frmInputSave.cpp), commands (frmInputCommands.cpp).
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
    // Shows the first rows at once and reads the rest in steps from the
    // event loop; until the whole table is in, the grid is read-only and
    // the commands that change or save it are refused.
    void LoadRows();
    bool isLoadingRows() const;
    // Reads what remains of a load at once, for callers that need the whole
    // table before they go on.
    void finishLoading();
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
    // A bank or card statement (CSV) read into new rows, unsaved.
    void mnuFileImport_Click();
    // The columns a statement can fill, in grid order.
    QList<ImportColumn> importColumns() const;
    // Rows of texts (one per column) below the last row, as one step.
    void appendImported(const QList<ImportColumn>& cols, const QList<QStringList>& rows);
    void mnuFileClose_Click();
    // The grid's steps; while the in-cell editor is open, its own.
    void mnuEditUndo_Click();
    void mnuEditRedo_Click();
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
    const ColumnDefs& columns() const { return mSession->columns(); }
    const ColumnDefs& foreignColumns() const { return mSession->foreignColumns(); }
    EditSession& session() { return *mSession; }
    QAction* action(const QString& name) const;

    static QString checkMessage(int code);
    // Shown in place of a foreign key that its table does not hold.
    static inline const QString& NoMatch = EditSession::NoMatch;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_QueryUnload(int& cancel, int unloadMode);
    // Reads the table again, dropping whatever the grid holds.
    void reloadTable();
    // One step of a load, and the window's state around it.
    void fillStep(const std::function<EditSession::LoadStep()>& step);
    void endLoading();
    // Gives up a load in progress (the table then counts as not loaded).
    void stopLoading();
    // Says in the status bar that a command waits for the load.
    bool refusedWhileLoading();
    void buildMenus();
    // Runs a command so that no failure escapes the event loop; the user is
    // told what went wrong and the grid keeps what it holds.
    template <typename F> void command(F&& f) { guarded(this, std::forward<F>(f)); }
    void sortAll(int col, int mode);
    int numberCount() const { return mSession->numberCount(); }
    int foreignCount() const { return mSession->foreignCount(); }
    void paintRed(int row, int col);
    void clearRed();
    // Puts a load's completion lists into the grid and says what it warned of.
    std::unique_ptr<EditSession> makeSession();
    void applyInputLists(const EditSession::LoadResult& loaded);
    // Tells the user that the table could not be read (and so cannot be saved).
    void reportLoadFailure(const EditSession::LoadResult& loaded, bool afterSave = false);
    QString saveFailureText(const EditSession::SaveResult& result) const;
    // What the user enters goes through TextNormalise; what it replaced of
    // broken characters is told in the status bar.
    void setupEntry();
    // Where the user was: the record by its key, the cell's column, the view.
    struct Place {
        QStringList key;
        int row = -1, col = 0, offset = 0, leftCol = 0;
    };
    Place currentPlace() const;
    void restorePlace(const Place& p);
    QString cellName(int row, int col) const;
    void updateUndoActions();

    usrFlg* mGrid = nullptr;
    QToolBar* Toolbar1 = nullptr;
    QLabel* mStatusPanel = nullptr;
    QWidget* mDetail = nullptr;
    std::unique_ptr<EditSession> mSession;
    bool mModified = false;
    bool mUnloadApproved = false;
    bool mLoading = false;
    QTimer* mLoadTimer = nullptr;
    int mStepRows = 20000;
    bool mLoadCancelled = false;
    // The catalog's column widths are set once: widths the user dragged
    // last while the window is open, through saves and reloads.
    bool mWidthsSet = false;
    QString mSearchText;
    bool mSurrogateReplaced = false;
    // The texts each foreign column's table holds, as a save matches them:
    // any other text becomes a new record there, and the grid says so.
    struct KnownTexts {
        ColumnDataType type = eText;
        QSet<QString> texts;
        QString note;
    };
    QHash<int, KnownTexts> mKnownTexts; // by grid column
    QString newTextNote(int row, int col) const;
};
