#pragma once
// What assistive technology (a screen reader, an automated check) sees of the
// grid: a table of its shown columns whose header rows are column headers,
// one cell per text, the current cell focused, and the in-cell editor as an
// editable text inside the cell it edits. Not part of the control's interface:
// clients reach it through QAccessible::queryAccessibleInterface.
#include "fendra_global.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <vector>

class FlexGrid;
class TxtFocus;
class usrFlg;

namespace fendra {

// Gives the grid and its editor their interfaces; once per process.
void installAccessibility();

// Whether a client listens. Callers ask first, so that nobody listening
// costs the grid nothing.
bool accessibilityListening();

// Tells a listening client what changed since it was last told: a new shape
// of the grid (rows, columns, which columns show) or a new current cell.
// `focusIn`: the grid has just taken the focus.
void accessibilityUpdate(FlexGrid* grid, bool focusIn);

// Takes the grid's accessibility events instead of the platform (nullptr:
// the platform again). For tests: a platform without assistive technology
// (offscreen) drops every event, and so would be heard saying nothing.
FENDRA_EXPORT void setAccessibilityEventTap(void (*tap)(QAccessibleEvent*));

class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridAccessible(FlexGrid* grid);
    ~GridAccessible() override;

    usrFlg* owner() const;
    // The interface of the cell at grid row `r`, grid column `c`; one per
    // cell for as long as the grid keeps its shape. nullptr outside the
    // rows and shown columns.
    QAccessibleInterface* cell(int r, int c) const;
    // The child index of a cell, -1 when it is not one.
    int childIndex(int r, int c) const;
    // The table column of a grid column (-1 when hidden) and back.
    int tableColumn(int c) const;
    int gridColumn(int tableCol) const;
    int shownColumns() const;
    int rowsShown() const; // rows with texts: header rows included, an empty grid's placeholder not
    // Forgets every cell interface (the cells' places have changed).
    void forgetCells();
    // Asks for the client to be told what changed, once the changes of the
    // moment are over.
    void update(bool focusIn);
    void tell();

    // QAccessibleInterface
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override;
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override;
    bool isRowSelected(int row) const override;
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    FlexGrid* grid() const;

private:
    struct Shape {
        int rows = -1;
        int cols = -1;
        std::vector<bool> shown;
        bool operator==(const Shape&) const = default;
    };
    Shape currentShape() const;
    // The selected rectangle in grid coordinates, when it is more than the
    // current cell (a single current cell is not drawn as a selection).
    bool selection(int& r1, int& c1, int& r2, int& c2) const;

    mutable QHash<quint64, QAccessible::Id> mCells;
    Shape mShape;
    int mFocusRow = -1, mFocusCol = -1;
    bool mTellPending = false;
};

} // namespace fendra
