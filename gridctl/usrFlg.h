#pragma once
#include "GridModel.h"
#include "fendra_global.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class FlexGrid;
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

signals:
    void cellsEdited();

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

    // editor events
    void txt_GotFocus();
    void txt_LostFocus();
    bool txt_KeyDown(QKeyEvent* e); // true when swallowed
    void txt_Change();
    void txt_Browse(bool down);
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
