#include "FlexGridAccessible.h"
#include "FlexGrid.h"
#include "GridModel.h"
#include "usrFlg.h"

#include <QLineEdit>
#include <QTimer>

namespace fendra {
namespace {

void (*eventTap)(QAccessibleEvent*) = nullptr;

void send(QAccessibleEvent* e) {
    if (eventTap)
        eventTap(e);
    else
        QAccessible::updateAccessibility(e);
}

quint64 cellKey(int r, int c) {
    return (static_cast<quint64>(static_cast<quint32>(r)) << 32) | static_cast<quint32>(c);
}

GridAccessible* tableOf(FlexGrid* grid) {
    return grid ? static_cast<GridAccessible*>(QAccessible::queryAccessibleInterface(grid))
                : nullptr;
}

// One cell of the grid, named by its place. It reads the grid whenever it is
// asked, so it always tells what that place shows now.
class CellAccessible : public QAccessibleInterface,
                       public QAccessibleTableCellInterface,
                       public QAccessibleActionInterface {
public:
    CellAccessible(FlexGrid* grid, int r, int c) : mGrid(grid), mRow(r), mCol(c) {}

    usrFlg* owner() const { return mGrid->owner(); }
    const GridModel& model() const { return owner()->model(); }
    GridAccessible* tableIface() const { return tableOf(mGrid); }
    bool header() const { return mRow < model().fixedRows(); }
    bool rowHeader() const { return !header() && mCol < model().fixedCols(); }
    bool editorHere() const {
        return owner()->isEditorOpen() && owner()->editRow() == mRow && owner()->editCol() == mCol;
    }

    bool isValid() const override {
        return mGrid && mRow < owner()->MaxRow() && mCol < model().cols() &&
               model().colWidth(mCol) > 0;
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        GridAccessible* t = tableIface();
        return t ? t->window() : nullptr;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* ed = child(0);
        return ed && ed->rect().contains(x, y) ? ed : nullptr;
    }
    QAccessibleInterface* parent() const override { return tableIface(); }
    QAccessibleInterface* child(int index) const override {
        if (index != 0 || !isValid() || !editorHere()) return nullptr;
        return QAccessible::queryAccessibleInterface(owner()->txtfocus());
    }
    int childCount() const override { return isValid() && editorHere() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface* c) const override {
        return c && c == child(0) ? 0 : -1;
    }
    QAccessibleInterface* focusChild() const override {
        QAccessibleInterface* ed = child(0);
        return ed && ed->state().focused ? ed : nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (!isValid()) return {};
        if (t == QAccessible::Name || t == QAccessible::Value) return model().text(mRow, mCol);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        int y = -1, h = 0, x = -1, w = 0;
        for (const FlexGrid::Span& s : mGrid->visibleRows())
            if (s.index == mRow) y = s.pos, h = s.size;
        if (y < 0) return {};
        for (const FlexGrid::Span& s : mGrid->visibleCols())
            if (s.index == mCol) x = s.pos, w = s.size;
        if (x < 0) return {};
        const QPoint origin = mGrid->viewport()->mapToGlobal(QPoint(x, y));
        return QRect(origin, QSize(w, h));
    }
    QAccessible::Role role() const override {
        if (!isValid()) return QAccessible::Cell;
        if (header()) return QAccessible::ColumnHeader;
        if (rowHeader()) return QAccessible::RowHeader;
        return QAccessible::Cell;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        if (header()) return s;
        s.focusable = true;
        s.selectable = true;
        s.focused = mGrid->hasFocus() && model().row() == mRow && model().col() == mCol;
        s.active = s.focused;
        s.selected = isSelected();
        s.disabled = !mGrid->isEnabled();
        if (rect().isEmpty()) s.offscreen = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (t == QAccessible::ActionInterface && !header())
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override {
        if (!isValid() || header()) return false;
        const GridModel& m = model();
        const int r1 = std::min(m.row(), m.rowSel()), r2 = std::max(m.row(), m.rowSel());
        const int c1 = std::min(m.col(), m.colSel()), c2 = std::max(m.col(), m.colSel());
        if (r1 == r2 && c1 == c2) return false;
        return mRow >= r1 && mRow <= r2 && mCol >= c1 && mCol <= c2;
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QList<QAccessibleInterface*> out;
        GridAccessible* t = tableIface();
        if (!t || !isValid()) return out;
        const int fr = std::min(model().fixedRows(), owner()->MaxRow());
        for (int r = 0; r < fr && r != mRow; ++r)
            if (QAccessibleInterface* h = t->cell(r, mCol)) out << h;
        return out;
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override {
        QList<QAccessibleInterface*> out;
        GridAccessible* t = tableIface();
        if (!t || !isValid() || header()) return out;
        for (int c = 0; c < model().fixedCols() && c != mCol; ++c)
            if (QAccessibleInterface* h = t->cell(mRow, c)) out << h;
        return out;
    }
    int columnIndex() const override {
        GridAccessible* t = tableIface();
        return t ? t->tableColumn(mCol) : -1;
    }
    int rowIndex() const override {
        if (!isValid() || header()) return -1;
        return mRow - model().fixedRows();
    }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return tableIface(); }

    // QAccessibleActionInterface: a client may make the cell the current one.
    QStringList actionNames() const override { return {setFocusAction()}; }
    void doAction(const QString& name) override {
        if (name != setFocusAction() || !isValid() || header()) return;
        owner()->setRow(mRow);
        owner()->setCol(mCol);
        mGrid->setFocus(Qt::OtherFocusReason);
        accessibilityUpdate(mGrid, false);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    bool belongsTo(const FlexGrid* g) const { return mGrid && mGrid == g; }
    int gridRow() const { return mRow; }
    int gridCol() const { return mCol; }

private:
    QPointer<FlexGrid> mGrid;
    int mRow, mCol;
};

// The in-cell editor: an editable text whose parent is the cell it edits.
class EditorAccessible : public QAccessibleWidget,
                         public QAccessibleTextInterface,
                         public QAccessibleEditableTextInterface {
public:
    EditorAccessible(TxtFocus* editor, usrFlg* owner)
        : QAccessibleWidget(editor, QAccessible::EditableText), mOwner(owner) {}

    QLineEdit* edit() const { return static_cast<QLineEdit*>(widget()); }
    QAccessibleInterface* editedCell() const {
        if (!mOwner || !mOwner->isEditorOpen()) return nullptr;
        GridAccessible* t = tableOf(static_cast<FlexGrid*>(mOwner->flgMain()));
        return t ? t->cell(mOwner->editRow(), mOwner->editCol()) : nullptr;
    }

    QAccessibleInterface* parent() const override {
        if (QAccessibleInterface* c = editedCell()) return c;
        return QAccessibleWidget::parent();
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return edit()->text();
        if (t == QAccessible::Name && mOwner && mOwner->isEditorOpen()) {
            // the column's header names what is being typed
            const GridModel& m = mOwner->model();
            const int c = mOwner->editCol();
            if (m.fixedRows() > 0 && c >= 0 && c < m.cols()) return m.text(0, c);
        }
        return QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString& s) override {
        if (t == QAccessible::Value) replaceText(0, characterCount(), s);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !edit()->isReadOnly();
        s.selectableText = true;
        if (!mOwner || !mOwner->isEditorOpen()) s.invisible = true;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (t == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // QAccessibleTextInterface
    void selection(int i, int* start, int* end) const override {
        *start = *end = 0;
        if (i != 0 || !edit()->hasSelectedText()) return;
        *start = edit()->selectionStart();
        *end = edit()->selectionEnd();
    }
    int selectionCount() const override { return edit()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int i) override {
        if (i == 0) edit()->deselect();
    }
    void setSelection(int i, int start, int end) override {
        if (i != 0) return;
        start = clampOffset(start);
        end = clampOffset(end);
        edit()->setSelection(start, end - start);
    }
    int cursorPosition() const override { return edit()->cursorPosition(); }
    void setCursorPosition(int p) override { edit()->setCursorPosition(clampOffset(p)); }
    QString text(int start, int end) const override {
        start = clampOffset(start);
        end = clampOffset(end);
        return end > start ? edit()->text().mid(start, end - start) : QString();
    }
    int characterCount() const override { return static_cast<int>(edit()->text().size()); }
    QRect characterRect(int offset) const override {
        const QString t = edit()->text();
        if (offset < 0 || offset >= t.size()) return {};
        // measured from the caret, which already carries the scrolling
        const QFontMetrics fm(edit()->font());
        const QRect caret = edit()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const int caretX = fm.horizontalAdvance(t.left(edit()->cursorPosition()));
        const int x = caret.x() + fm.horizontalAdvance(t.left(offset)) - caretX;
        const QRect r(x, caret.y(), fm.horizontalAdvance(t.at(offset)), caret.height());
        return QRect(edit()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& p) const override {
        return edit()->cursorPositionAt(edit()->mapFromGlobal(p));
    }
    void scrollToSubstring(int start, int end) override {
        edit()->setCursorPosition(clampOffset(end));
        edit()->setCursorPosition(clampOffset(start));
    }
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

    // QAccessibleEditableTextInterface: as if the user had typed it.
    void deleteText(int start, int end) override { replaceText(start, end, QString()); }
    void insertText(int offset, const QString& text) override {
        edit()->setCursorPosition(clampOffset(offset));
        edit()->insert(text);
    }
    void replaceText(int start, int end, const QString& text) override {
        setSelection(0, start, end);
        edit()->insert(text);
    }

private:
    int clampOffset(int p) const { return std::clamp(p, 0, characterCount()); }
    QPointer<usrFlg> mOwner;
};

QAccessibleInterface* factory(const QString& key, QObject* object) {
    if (key == QLatin1String("FlexGrid")) {
        if (auto* g = qobject_cast<FlexGrid*>(object)) return new GridAccessible(g);
    } else if (key == QLatin1String("TxtFocus")) {
        if (auto* t = qobject_cast<TxtFocus*>(object)) return new EditorAccessible(t, t->owner());
    }
    return nullptr;
}

} // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

bool accessibilityListening() {
    return eventTap || QAccessible::isActive();
}

void setAccessibilityEventTap(void (*tap)(QAccessibleEvent*)) {
    eventTap = tap;
}

void accessibilityUpdate(FlexGrid* grid, bool focusIn) {
    if (GridAccessible* t = tableOf(grid)) t->update(focusIn);
}

// ---- the table ----------------------------------------------------------------

GridAccessible::GridAccessible(FlexGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {
    // a client asking for the first time learns the shape by asking
    mShape = currentShape();
}

GridAccessible::~GridAccessible() {
    forgetCells();
}

FlexGrid* GridAccessible::grid() const {
    return static_cast<FlexGrid*>(widget());
}

usrFlg* GridAccessible::owner() const {
    return grid()->owner();
}

void GridAccessible::forgetCells() {
    const auto ids = mCells.values();
    mCells.clear();
    for (QAccessible::Id id : ids)
        QAccessible::deleteAccessibleInterface(id);
}

int GridAccessible::rowsShown() const {
    return owner()->MaxRow();
}

int GridAccessible::shownColumns() const {
    const GridModel& m = owner()->model();
    int n = 0;
    for (int c = 0; c < m.cols(); ++c)
        if (m.colWidth(c) > 0) ++n;
    return n;
}

int GridAccessible::tableColumn(int c) const {
    const GridModel& m = owner()->model();
    if (c < 0 || c >= m.cols() || m.colWidth(c) <= 0) return -1;
    int n = 0;
    for (int i = 0; i < c; ++i)
        if (m.colWidth(i) > 0) ++n;
    return n;
}

int GridAccessible::gridColumn(int tableCol) const {
    const GridModel& m = owner()->model();
    if (tableCol < 0) return -1;
    for (int c = 0; c < m.cols(); ++c)
        if (m.colWidth(c) > 0 && tableCol-- == 0) return c;
    return -1;
}

QAccessibleInterface* GridAccessible::cell(int r, int c) const {
    const GridModel& m = owner()->model();
    if (r < 0 || r >= rowsShown() || c < 0 || c >= m.cols() || m.colWidth(c) <= 0) return nullptr;
    const quint64 key = cellKey(r, c);
    if (const auto it = mCells.constFind(key); it != mCells.constEnd())
        return QAccessible::accessibleInterface(*it);
    auto* iface = new CellAccessible(grid(), r, c);
    mCells.insert(key, QAccessible::registerAccessibleInterface(iface));
    return iface;
}

int GridAccessible::childIndex(int r, int c) const {
    const int tc = tableColumn(c);
    if (tc < 0 || r < 0 || r >= rowsShown()) return -1;
    return r * shownColumns() + tc;
}

QAccessibleInterface* GridAccessible::childAt(int x, int y) const {
    const QPoint p = grid()->viewport()->mapFromGlobal(QPoint(x, y));
    int r, c;
    if (!grid()->viewport()->rect().contains(p) || !grid()->cellAt(p, r, c)) return nullptr;
    return cell(r, c);
}

QAccessibleInterface* GridAccessible::focusChild() const {
    const usrFlg* o = owner();
    if (o->isEditorOpen() && o->txtfocus()->hasFocus())
        return QAccessible::queryAccessibleInterface(o->txtfocus());
    if (!grid()->hasFocus()) return nullptr;
    return cell(o->model().row(), o->model().col());
}

QAccessibleInterface* GridAccessible::child(int index) const {
    const int n = shownColumns();
    if (index < 0 || n == 0) return nullptr;
    return cell(index / n, gridColumn(index % n));
}

int GridAccessible::childCount() const {
    return rowsShown() * shownColumns();
}

int GridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* cell = dynamic_cast<const CellAccessible*>(child);
    if (!cell || !cell->belongsTo(grid())) return -1;
    return childIndex(cell->gridRow(), cell->gridCol());
}

void* GridAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QAccessibleInterface* GridAccessible::cellAt(int row, int column) const {
    return cell(row + owner()->model().fixedRows(), gridColumn(column));
}

int GridAccessible::rowCount() const {
    return std::max(0, rowsShown() - owner()->model().fixedRows());
}

int GridAccessible::columnCount() const {
    return shownColumns();
}

QString GridAccessible::columnDescription(int column) const {
    const int c = gridColumn(column);
    if (c < 0) return {};
    const GridModel& m = owner()->model();
    QStringList parts;
    for (int r = 0; r < std::min(m.fixedRows(), rowsShown()); ++r)
        if (!m.text(r, c).isEmpty()) parts << m.text(r, c);
    return parts.join(QLatin1Char(' '));
}

bool GridAccessible::selection(int& r1, int& c1, int& r2, int& c2) const {
    const GridModel& m = owner()->model();
    r1 = std::min(m.row(), m.rowSel());
    r2 = std::min(std::max(m.row(), m.rowSel()), rowsShown() - 1);
    c1 = std::min(m.col(), m.colSel());
    c2 = std::max(m.col(), m.colSel());
    if (r1 == r2 && c1 == c2) return false;
    return r1 <= r2 && r1 >= m.fixedRows();
}

int GridAccessible::selectedCellCount() const {
    int r1, c1, r2, c2;
    if (!selection(r1, c1, r2, c2)) return 0;
    int cols = 0;
    for (int c = c1; c <= c2; ++c)
        if (tableColumn(c) >= 0) ++cols;
    return (r2 - r1 + 1) * cols;
}

QList<QAccessibleInterface*> GridAccessible::selectedCells() const {
    QList<QAccessibleInterface*> out;
    int r1, c1, r2, c2;
    if (!selection(r1, c1, r2, c2)) return out;
    for (int r = r1; r <= r2; ++r)
        for (int c = c1; c <= c2; ++c)
            if (QAccessibleInterface* i = cell(r, c)) out << i;
    return out;
}

// A row (column) counts as selected when the selection spans all of it.
QList<int> GridAccessible::selectedRows() const {
    QList<int> out;
    int r1, c1, r2, c2;
    if (!selection(r1, c1, r2, c2)) return out;
    const GridModel& m = owner()->model();
    for (int c = m.fixedCols(); c < m.cols(); ++c)
        if (tableColumn(c) >= 0 && (c < c1 || c > c2)) return out;
    for (int r = r1; r <= r2; ++r)
        out << r - m.fixedRows();
    return out;
}

QList<int> GridAccessible::selectedColumns() const {
    QList<int> out;
    int r1, c1, r2, c2;
    if (!selection(r1, c1, r2, c2)) return out;
    const GridModel& m = owner()->model();
    if (r1 != m.fixedRows() || r2 != rowsShown() - 1) return out;
    for (int c = c1; c <= c2; ++c)
        if (const int tc = tableColumn(c); tc >= 0) out << tc;
    return out;
}

int GridAccessible::selectedRowCount() const {
    return static_cast<int>(selectedRows().size());
}

int GridAccessible::selectedColumnCount() const {
    return static_cast<int>(selectedColumns().size());
}

bool GridAccessible::isRowSelected(int row) const {
    return selectedRows().contains(row);
}

bool GridAccessible::isColumnSelected(int column) const {
    return selectedColumns().contains(column);
}

void GridAccessible::modelChange(QAccessibleTableModelChangeEvent* event) {
    if (event->modelChangeType() == QAccessibleTableModelChangeEvent::ModelReset) forgetCells();
}

GridAccessible::Shape GridAccessible::currentShape() const {
    const GridModel& m = owner()->model();
    Shape s;
    s.rows = rowsShown();
    s.cols = m.cols();
    s.shown.resize(static_cast<size_t>(m.cols()));
    for (int c = 0; c < m.cols(); ++c)
        s.shown[static_cast<size_t>(c)] = m.colWidth(c) > 0;
    return s;
}

void GridAccessible::update(bool focusIn) {
    if (focusIn) mFocusRow = mFocusCol = -1; // the cell is announced again
    if (mTellPending) return;
    // Told once the current burst of changes is over (a host filling rows
    // one by one is one change), and after the grid's own focus has been
    // announced, so that the cell is what a reader speaks last.
    mTellPending = true;
    QPointer<FlexGrid> g = grid();
    QTimer::singleShot(0, g, [g] {
        if (GridAccessible* t = tableOf(g)) t->tell();
    });
}

void GridAccessible::tell() {
    mTellPending = false;
    if (!accessibilityListening()) return;
    Shape now = currentShape();
    if (!(now == mShape)) {
        mShape = std::move(now);
        forgetCells();
        QAccessibleTableModelChangeEvent reset(grid(),
                                               QAccessibleTableModelChangeEvent::ModelReset);
        send(&reset);
        mFocusRow = mFocusCol = -1;
    }
    const GridModel& m = owner()->model();
    if (!grid()->hasFocus() || (m.row() == mFocusRow && m.col() == mFocusCol)) return;
    const int index = childIndex(m.row(), m.col());
    if (index < 0 || m.row() < m.fixedRows()) return;
    mFocusRow = m.row();
    mFocusCol = m.col();
    QAccessibleEvent focus(grid(), QAccessible::Focus);
    focus.setChild(index);
    send(&focus);
}

} // namespace fendra
