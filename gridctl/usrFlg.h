#pragma once
#include "GridModel.h"
#include "fendra_global.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class FlexGrid;
namespace fendra {
struct GridStep;
}
class QUndoStack;
struct usrFlgPrivate;
class TxtFocus;
class QLineEdit;
class QAbstractScrollArea;
class QInputMethodEvent;
class QKeyEvent;

// The grid editing control: a grid with fixed header rows, an in-cell text
// editor, per-column input lists with completion, clipboard and row commands
// and sorting. It raises no events: the host configures it and reads the
// cells back through its properties.
class FENDRA_EXPORT usrFlg : public QWidget {
    Q_OBJECT
public:
    explicit usrFlg(QWidget* parent = nullptr);
    ~usrFlg() override;

    // ---- Edit menu entry points ----
    void mnuEditClear_click();
    void mnuEditCopy_click();
    void mnuEditCut_click();

    // ---- cells and shape ----
    QString Field(qint64 lngRow, qint64 lngCol) const;
    void setField(qint64 lngRow, qint64 lngCol, const QString& sString);
    qint32 MaxRow() const;
    void setMaxRow(qint32 n);
    qint32 MaxCol() const;
    void setMaxCol(qint32 n);

    // ---- input lists ----
    void setInputMax(int n);
    void setInputColMax(int iCol, int iMax);
    void InputIndexMake();
    void SortInputDatas();
    int InputColsNum() const;
    void setInputColsNum(int iNum);
    QString InputCol(int iCol, int iNum) const;
    void setInputCol(int iCol, int iNum, const QString& sInput);
    int InputSW(int iCol) const;
    void setInputSW(int iCol, int iSW);
    void InputClear();

    // ---- current cell, selection, sizes ----
    qint32 row() const;
    void setRow(qint32 lngRow);
    qint32 RowSel() const;
    void setRowSel(qint32 lngRowCel);
    qint32 col() const;
    void setCol(qint32 lngCol);
    qint32 ColSel() const;
    void setColSel(qint32 lngColCel);
    qint32 ColWidth(int iCol) const;
    void setColWidth(int iCol, qint32 lngSelWidth);
    qint32 RowHeight(int iRow) const;
    void setRowHeight(int iRow, qint32 lngRowHeight);
    int FixedCols() const;
    void setFixedCols(int iFixedCols);
    int FixedRows() const;
    void setFixedRows(int iFixedRows);
    bool Redraw() const;
    void setRedraw(bool blnRedraw);
    void setColorSet(int iRow1, int iCol1, int iRow2, int iCol2, quint32 lngColor);

    // ---- clipboard and rows ----
    void EditCopy();
    void EditPaste();
    void EditCut();
    void EditClear();
    void EditRowAdd();
    void EditRowDelete();
    void SortOn(int iCol, int iMode = 7);
    void RowAddWithNum(qint32 lngRowPoint, qint32 lngNum);

    bool Enabled() const;
    void setEnabled(bool blnEnabled);
    quint32 CellBackColor() const;
    void setCellBackColor(quint32 lngCellBackColor);
    quint32 BackColorSel() const;
    void setBackColorSel(quint32 lngBackColorSel);
    qint32 TopRow() const;
    void setTopRow(qint32 lngTopRow);
    // How a column's texts sit in their cells: Qt::AlignLeft (the default),
    // Qt::AlignRight or Qt::AlignHCenter.
    Qt::Alignment ColAlignment(int iCol) const;
    void setColAlignment(int iCol, Qt::Alignment align);

    // ---- the grid operations the control builds on ----
    qint32 LeftCol() const;
    void setLeftCol(qint32 c);
    qint32 RowPos(qint32 r) const; // twips from the grid's top
    qint32 ColPos(qint32 c) const; // twips from the grid's left
    qint32 CellWidth() const;      // twips of the current cell
    qint32 CellHeight() const;
    bool RowIsVisible(qint32 r) const;
    bool ColIsVisible(qint32 c) const;
    void Refresh();

    // For hosts and tests.
    GridModel& model();
    const GridModel& model() const;
    QAbstractScrollArea* flgMain() const;
    QLineEdit* txtfocus() const;
    int twipsPerPixelX() const;
    int twipsPerPixelY() const;
    // The cell the editor belongs to.
    qint32 editRow() const;
    qint32 editCol() const;
    bool isEditorOpen() const;
    // Closes an open editor, storing its text into the cell or not. Hosts
    // call it before commands that read or replace the cells (a toolbar
    // button or a menu does not take the focus from the editor).
    void CloseEditor(bool store);
    // Shared by all controls: the height of row 0 captured at start.
    static int defRowHeight();
    // The height given to rows that become visible: row 0's, or the shared
    // default when row 0 is hidden.
    int firstRowHeight() const;
    // Tells the host that the user changed cells (a stored edit, paste,
    // clear, row insert or delete).
    void notifyEdited() { emit cellsEdited(); }

    // ---- what the host allows ----
    // Applied to every text the user puts into a cell (the in-cell editor,
    // a chosen completion, a paste) before it is stored.
    using InputFilter = std::function<QString(const QString&)>;
    void setInputFilter(InputFilter filter);
    // Selection and copying only: no editor, paste, clearing or row command.
    bool ReadOnly() const;
    void setReadOnly(bool readOnly);
    // Down, Tab or Enter after storing an edit on the last row adds an empty
    // row below it and moves there (not below a row so added and still empty).
    void setAppendRows(bool on);
    // A paste running past the last row adds the rows it needs; without it
    // the lines that find no row are left out (see pasteClipped).
    void setPasteAddsRows(bool on);
    // A note the host gives a cell (an empty text: none): the cell's text is
    // drawn in blue italics and the note is its tool tip. Asked only for the
    // cells being drawn or pointed at.
    using CellNote = std::function<QString(int r, int c)>;
    void setCellNote(CellNote note);
    QString cellNote(int r, int c) const;
    // Whether row `r` was added by moving below the last row and is still
    // empty in every cell: it holds nothing to store.
    bool isUntouchedAppendedRow(int r) const;
    // Takes such rows out of the grid for a save and puts them back after
    // one that failed; the count taken out.
    int setAsideUntouchedRows();
    void putBackSetAsideRows();

    // ---- undo ----
    // Off by default. Each user action is one step: a stored edit, a paste,
    // a cut or clear, a row insert or delete, a row added below the last.
    // Sorting is none; steps find their rows by identity, wherever a sort
    // has put them since.
    void setUndoEnabled(bool on);
    bool undoEnabled() const;
    QUndoStack* undoStack() const;
    // The oldest steps go first beyond either limit (the newest step stays).
    void setUndoLimits(int steps, qint64 bytes);
    // While the in-cell editor is open these are its own undo and redo.
    void undo();
    void redo();
    // The steps belong to what the grid held: saving or reloading drops them.
    void clearUndo();

    // ---- the commands as single steps (the clipboard and row commands) ----
    void commitCell(int r, int c, const QString& text);
    void pasteCells(const QString& gridText);
    void clearSelection();
    void insertRowsAt(int at, int n);
    void removeRowsAt(int at, int n);
    // Adds an empty row below the last (where allowed); true when added.
    bool appendRow();

signals:
    void cellsEdited();
    // Rows came or went by the user's doing (or by undoing it).
    void rowCountChanged();
    // The input filter changed `cells` texts of one action, the first at r, c.
    void inputFiltered(int r, int c, int cells);
    // A paste had `lines` lines that found no row and were left out.
    void pasteClipped(int lines);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class FlexGrid;
    friend class TxtFocus;

    void TxtInit();
    void FlgInit();
    void TxtShow(bool takeFocus = true);
    void TxtHide(bool commit);
    void NextCellMove();
    // With `atCell` the menu opens at the current cell instead of the pointer.
    void PopupShow(int flags, bool atCell = false);
    void TargetSet();
    void scrollIntoView(bool columns, int index);
    // Scrolls as little as shows column (row) `index` whole.
    void scrollToShow(bool columns, int index);
    void gridChanged();
    // After rows were added from row `from` on.
    void rowsAdded(int from);
    void layoutSoon();
    // Tells a listening assistive client of a new shape or current cell.
    void accessibilityChanged(bool focusIn = false);
    void parkEditor(int xTwips, int yTwips);
    // Lays an open editor over its cell, or out of sight while the cell is
    // scrolled away (it keeps its text and the focus meanwhile).
    void placeEditor();
    // Scrolls an open editor's cell back into view before the user types.
    void revealEditor();
    QPoint currentCellMenuPoint() const;
    // Ends a composition that the grid holds for the editor, and the edit.
    void finishComposition();

    // grid events
    void grid_KeyDown(QKeyEvent* e, bool& handled);
    void grid_InputMethod(QInputMethodEvent* e);
    void grid_MouseDown(int button);
    void grid_DblClick();
    void grid_GotFocus();
    void grid_TabMove();
    void grid_Navigate(QKeyEvent* e);
    // undo steps
    friend class GridUndoCommand;
    QString filtered(const QString& text, int& changed) const;
    void pushStep(std::shared_ptr<fendra::GridStep> step);
    void applyStep(fendra::GridStep& step, bool undoing);
    void trimUndo();

    // editor events
    void txt_GotFocus();
    void txt_LostFocus();
    bool txt_KeyDown(QKeyEvent* e); // true when swallowed
    void txt_Change();
    void txt_Browse(bool down);
    // the choices under the edited cell
    void updateChoices();
    void placeChoices();
    void hideChoices();
    void txt_EnterOrEsc(bool store);

    // input lists
    int InputSearch(const QString& s, bool exact) const;
    bool hasList(int col) const;
    int sliceStart(int col) const;
    int sliceEnd(int col) const;
    static void QuickSort(std::vector<QString>& list, int lo, int hi);

    friend struct usrFlgPrivate;
    std::unique_ptr<usrFlgPrivate> d;
};
