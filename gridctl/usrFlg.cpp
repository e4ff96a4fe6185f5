#include "usrFlg.h"
#include "FendraInternal.h"
#include "FlexGrid.h"
#include "FlexGridAccessible.h"
#include "modpub.h"
#include "usrFlg_p.h"

#include <QApplication>
#include <QCursor>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <QUndoStack>

namespace {
int lngDefRowHeight = 0; // shared by every instance: row 0's height at start
using fendra::EditorInset;
using fendra::White;

QFont gridFont(qreal points) {
    QFont f;
    f.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("ＭＳ Ｐゴシック"),
                   QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    f.setPointSizeF(points);
    return f;
}
} // namespace

int usrFlg::defRowHeight() {
    return lngDefRowHeight;
}

usrFlg::usrFlg(QWidget* parent) : QWidget(parent), d(std::make_unique<usrFlgPrivate>()) {
    fendra::installAccessibility();
    d->mGrid = new FlexGrid(this, &d->mModel);
    d->mGrid->setFont(gridFont(9.75));
    d->mTxt = new TxtFocus(this, d->mGrid->viewport());
    d->mTxt->setFont(gridFont(9));
    setFocusProxy(d->mGrid);

    // Rows are as high as the font needs.
    const int rowPx = QFontMetrics(d->mGrid->font()).height() + 6;
    d->mModel.setDefaultRowHeight(rowPx * twipsPerPixelY());
    d->mModel.setRowHeight(0, -1);
    d->mModel.setRowHeight(1, -1);

    lngDefRowHeight = d->mModel.rowHeight(0);
    TxtInit();
    FlgInit();
    d->strInputDatas.assign(2, QString());
    d->iInputIndex.assign(static_cast<size_t>(d->mModel.cols()) + 1, {0, 0, 0});
    d->blnColsSet = false;
    d->mGrid->setGeometry(rect());
    d->undoStack = new QUndoStack(this);
    d->undoStack->setUndoLimit(d->undoSteps);
}

// The steps tell the control what they hold until they go.
usrFlg::~usrFlg() {
    d->undoStack->blockSignals(true); // the host may be going too
    delete d->undoStack;
}

QAbstractScrollArea* usrFlg::flgMain() const {
    return d->mGrid;
}
QLineEdit* usrFlg::txtfocus() const {
    return d->mTxt;
}

int usrFlg::twipsPerPixelX() const {
    const int dpi = logicalDpiX();
    return dpi > 0 ? std::max(1, 1440 / dpi) : 15;
}

int usrFlg::twipsPerPixelY() const {
    const int dpi = logicalDpiY();
    return dpi > 0 ? std::max(1, 1440 / dpi) : 15;
}

void usrFlg::TxtInit() {
    d->mTxt->setVisible(true);
    d->mTxt->setGeometry(20000 / twipsPerPixelX(), 20000 / twipsPerPixelY(), 0, 0);
    d->blnNoCommit = false;
}

void usrFlg::FlgInit() {
    d->mGrid->setEnabled(true);
    d->mModel.setRows(5);
    d->mModel.setCols(5);
    for (int c = 1; c < d->mModel.cols(); ++c)
        d->mModel.setColWidth(c, 800);
    d->mModel.setFixedRows(1);
    d->mModel.setFixedCols(0);
    d->mModel.setRow(1);
    d->mModel.setCol(0);
    d->mModel.setTopRow(1);
    d->mModel.setLeftCol(0);
    d->iActiveCtl = 1;
    d->iEditCol = 1;
    d->iEditRow = 1;
    gridChanged();
}

void usrFlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    d->mGrid->setGeometry(0, 0, width(), height());
}

// ---- change notification and painting ------------------------------------

void usrFlg::layoutSoon() {
    // Scroll bars follow once the current burst of changes is over: a host
    // filling rows one by one pays nothing per row for them.
    if (d->mLayoutPending) return;
    d->mLayoutPending = true;
    QTimer::singleShot(0, this, [this] {
        d->mLayoutPending = false;
        if (!d->mRedraw) return;
        d->mGrid->updateScrollBars();
        // Rows added below a full view change its scroll bar and nothing of
        // what it shows (a table read in steps paints no cell for them).
        const int from = std::exchange(d->mAddedFrom, -1);
        if (from < 0) return;
        const std::vector<FlexGrid::Span> rows = d->mGrid->visibleRows();
        if (rows.empty() || rows.back().index + 1 >= from ||
            rows.back().pos + rows.back().size < d->mGrid->viewport()->height())
            d->mGrid->viewport()->update();
    });
}

void usrFlg::rowsAdded(int from) {
    if (!d->mRedraw) return;
    if (d->mAddedFrom < 0 || from < d->mAddedFrom) d->mAddedFrom = from;
    layoutSoon();
    accessibilityChanged();
}

void usrFlg::gridChanged() {
    if (!d->mRedraw) return;
    layoutSoon();
    d->mAddedFrom = -1; // painted whole
    d->mGrid->viewport()->update();
    placeEditor();
    // an input method shows its candidates at the current cell
    if (d->mGrid->hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
    accessibilityChanged();
}

void usrFlg::accessibilityChanged(bool focusIn) {
    if (fendra::accessibilityListening()) fendra::accessibilityUpdate(d->mGrid, focusIn);
}

void usrFlg::Refresh() {
    d->mGrid->updateScrollBars();
    d->mGrid->viewport()->repaint();
}

void usrFlg::setRedraw(bool blnRedraw) {
    d->mRedraw = blnRedraw;
    d->mGrid->viewport()->setUpdatesEnabled(blnRedraw);
    if (blnRedraw) gridChanged();
}

bool usrFlg::Redraw() const {
    return d->mRedraw;
}
quint32 usrFlg::BackColorSel() const {
    return d->mBackColorSel;
}
GridModel& usrFlg::model() {
    return d->mModel;
}
const GridModel& usrFlg::model() const {
    return d->mModel;
}
qint32 usrFlg::editRow() const {
    return d->iEditRow;
}
qint32 usrFlg::editCol() const {
    return d->iEditCol;
}

bool usrFlg::isEditorOpen() const {
    return d->mEditorOpen;
}

// ---- cells and shape ------------------------------------------------------

QString usrFlg::Field(qint64 lngRow, qint64 lngCol) const {
    return d->mModel.textArray(lngRow * d->mModel.cols() + lngCol);
}

void usrFlg::setField(qint64 lngRow, qint64 lngCol, const QString& sString) {
    d->mModel.setTextArray(lngRow * d->mModel.cols() + lngCol, sString);
    if (d->mRedraw) d->mGrid->viewport()->update();
}

int usrFlg::firstRowHeight() const {
    const int h = d->mModel.rows() > 0 ? d->mModel.rowHeight(0) : 0;
    return h != 0 ? h : lngDefRowHeight;
}

qint32 usrFlg::MaxRow() const {
    return d->mModel.isPlaceholder() ? d->mModel.rows() - 1 : d->mModel.rows();
}

void usrFlg::setMaxRow(qint32 n) {
    // Rows that come or go take the edited row's place: an open edit is
    // stored into its own row first.
    if (d->mEditorOpen) CloseEditor(true);
    const int fr = d->mModel.fixedRows();
    if (fr >= n) {
        d->mModel.setRows(fr + 1);
        const int h = firstRowHeight();
        for (int i = 0; i <= fr; ++i) {
            if (i < n) {
                if (d->mModel.rowHeight(i) == 0) d->mModel.setRowHeight(i, h);
            } else {
                d->mModel.setRowHeight(i, 0);
            }
        }
    } else {
        const int had = d->mModel.rows();
        if (!d->mModel.isPlaceholder() && n > had) {
            d->mModel.setRows(n);
            rowsAdded(had);
            return;
        }
        if (d->mModel.isPlaceholder()) {
            const int h = firstRowHeight();
            for (int i = 0; i <= fr; ++i)
                if (d->mModel.rowHeight(i) == 0) d->mModel.setRowHeight(i, h);
            for (int c = d->mModel.fixedCols(); c < d->mModel.cols(); ++c)
                d->mModel.setText(fr, c, QString());
        }
        d->mModel.setRows(n);
    }
    gridChanged();
}

qint32 usrFlg::MaxCol() const {
    return d->mModel.cols();
}

void usrFlg::setMaxCol(qint32 n) {
    if (d->mEditorOpen) CloseEditor(true);
    if (n != d->mModel.cols()) clearUndo(); // the steps' rows have another shape
    d->mModel.setCols(n);
    gridChanged();
}

int usrFlg::FixedRows() const {
    return d->mModel.fixedRows();
}

void usrFlg::setFixedRows(int f) {
    if (f < 0) throw GridError("Invalid fixed row count");
    if (d->mEditorOpen) CloseEditor(true);
    int hidden = -1;
    if (d->mModel.rows() == d->mModel.fixedRows() + 1)
        for (int i = 0; i <= d->mModel.fixedRows(); ++i)
            if (d->mModel.rowHeight(i) == 0) {
                hidden = i;
                break;
            }
    if (d->mModel.rows() < f + 1) d->mModel.setRows(f + 1);
    d->mModel.setFixedRows(f);
    const int h = firstRowHeight();
    for (int i = 0; i <= f && i < d->mModel.rows(); ++i) {
        if (hidden < 0 || i < hidden) {
            if (d->mModel.rowHeight(i) == 0) d->mModel.setRowHeight(i, h);
        } else {
            d->mModel.setRowHeight(i, 0);
        }
    }
    gridChanged();
}

int usrFlg::FixedCols() const {
    return d->mModel.fixedCols();
}

void usrFlg::setFixedCols(int n) {
    d->mModel.setFixedCols(n);
    gridChanged();
}

qint32 usrFlg::row() const {
    return d->mModel.row();
}
void usrFlg::setRow(qint32 r) {
    d->mModel.setRow(r);
    if (d->mRedraw) d->mGrid->viewport()->update();
    accessibilityChanged();
}
qint32 usrFlg::RowSel() const {
    return d->mModel.rowSel();
}
void usrFlg::setRowSel(qint32 r) {
    d->mModel.setRowSel(r);
    if (d->mRedraw) d->mGrid->viewport()->update();
}
qint32 usrFlg::col() const {
    return d->mModel.col();
}
void usrFlg::setCol(qint32 c) {
    d->mModel.setCol(c);
    if (d->mRedraw) d->mGrid->viewport()->update();
    accessibilityChanged();
}
qint32 usrFlg::ColSel() const {
    return d->mModel.colSel();
}
void usrFlg::setColSel(qint32 c) {
    d->mModel.setColSel(c);
    if (d->mRedraw) d->mGrid->viewport()->update();
}

qint32 usrFlg::ColWidth(int iCol) const {
    return d->mModel.colWidth(iCol);
}
void usrFlg::setColWidth(int iCol, qint32 w) {
    d->mModel.setColWidth(iCol, w);
    gridChanged();
}
qint32 usrFlg::RowHeight(int iRow) const {
    return d->mModel.rowHeight(iRow);
}
void usrFlg::setRowHeight(int iRow, qint32 h) {
    d->mModel.setRowHeight(iRow, h);
    gridChanged();
}

void usrFlg::setColorSet(int iRow1, int iCol1, int iRow2, int iCol2, quint32 lngColor) {
    // White is the cells' own colour: it needs no storage of its own.
    const quint32 stored = lngColor == White ? GridModel::NoColor : lngColor;
    for (int r = iRow1; r <= iRow2; ++r) {
        if (stored == GridModel::NoColor && !d->mModel.hasColors()) {
            d->mModel.text(r, iCol1); // the range is still checked
            d->mModel.text(r, iCol2);
            continue;
        }
        for (int c = iCol1; c <= iCol2; ++c)
            d->mModel.setCellColor(r, c, stored);
    }
    if (d->mRedraw) d->mGrid->viewport()->update();
}

bool usrFlg::Enabled() const {
    return d->mGrid->isEnabled();
}
void usrFlg::setEnabled(bool b) {
    QWidget* w = window();
    if (!b && d->mGrid->isEnabled()) {
        QWidget* f = w->focusWidget();
        const bool hadFocus = f && (f == d->mGrid || d->mGrid->isAncestorOf(f));
        d->mGrid->setEnabled(false);
        if (hadFocus) {
            d->mRefocusOnEnable = true;
            d->mFocusWhileDisabled = w->focusWidget(); // where the platform put it
        }
        return;
    }
    d->mGrid->setEnabled(b);
    if (b && d->mRefocusOnEnable) {
        d->mRefocusOnEnable = false;
        // unless someone has given the focus elsewhere meanwhile
        if (w->focusWidget() == d->mFocusWhileDisabled.data())
            d->mGrid->setFocus(Qt::OtherFocusReason);
    }
}

quint32 usrFlg::CellBackColor() const {
    const quint32 c = d->mModel.cellColor(d->mModel.row(), d->mModel.col());
    return c == GridModel::NoColor ? White : c;
}

void usrFlg::setCellBackColor(quint32 color) {
    d->mModel.setCellColor(d->mModel.row(), d->mModel.col(),
                           color == White ? GridModel::NoColor : color);
    if (d->mRedraw) d->mGrid->viewport()->update();
}

void usrFlg::setBackColorSel(quint32 c) {
    d->mBackColorSel = c;
    if (d->mRedraw) d->mGrid->viewport()->update();
}

qint32 usrFlg::TopRow() const {
    return d->mModel.topRow();
}

void usrFlg::setTopRow(qint32 r) {
    d->mModel.setTopRow(r);
    // as the grid does: the last page stays full
    const int maxTop = d->mGrid->maxTopRow();
    if (d->mModel.topRow() > maxTop) d->mModel.setTopRow(maxTop);
    gridChanged();
}

Qt::Alignment usrFlg::ColAlignment(int iCol) const {
    return d->mModel.colAlignment(iCol);
}

void usrFlg::setColAlignment(int iCol, Qt::Alignment align) {
    d->mModel.setColAlignment(iCol, align);
    if (d->mRedraw) d->mGrid->viewport()->update();
}

qint32 usrFlg::LeftCol() const {
    return d->mModel.leftCol();
}

void usrFlg::setLeftCol(qint32 c) {
    d->mModel.setLeftCol(c);
    const int maxLeft = d->mGrid->maxLeftCol();
    if (d->mModel.leftCol() > maxLeft) d->mModel.setLeftCol(maxLeft);
    gridChanged();
}

qint32 usrFlg::RowPos(qint32 r) const {
    return d->mGrid->rowPosPx(r) * twipsPerPixelY();
}
qint32 usrFlg::ColPos(qint32 c) const {
    return d->mGrid->colPosPx(c) * twipsPerPixelX();
}
qint32 usrFlg::CellWidth() const {
    return d->mModel.colWidth(d->mModel.col());
}
qint32 usrFlg::CellHeight() const {
    return d->mModel.rowHeight(d->mModel.row());
}
bool usrFlg::RowIsVisible(qint32 r) const {
    return d->mGrid->rowFullyVisible(r);
}
bool usrFlg::ColIsVisible(qint32 c) const {
    return d->mGrid->colFullyVisible(c);
}

// ---- clipboard and row commands ---------------------------------------------

void usrFlg::TargetSet() {
    clsInD& t = modpub::editTarget();
    if (d->iActiveCtl == 1)
        t.MsFLG = this;
    else if (d->iActiveCtl == 2)
        t.TextBox = d->mTxt;
}

void usrFlg::PopupShow(int flags, bool atCell) {
    clsInD& t = modpub::editTarget();
    t.ctlType = d->iActiveCtl == 1 ? 2 : 1;
    modpub::MenuStateSet();
    if (flags & 2) {
        TargetSet();
        modpub::popupForm().popup->popup(atCell ? currentCellMenuPoint() : QCursor::pos());
    }
}

// Below the current cell's left edge, or the first scrolling cell's corner
// when the current cell is out of view.
QPoint usrFlg::currentCellMenuPoint() const {
    QPoint p(d->mGrid->fixedWidthPx(), d->mGrid->fixedHeightPx());
    const int r = d->mModel.row(), c = d->mModel.col();
    bool rowShown = false, colShown = false;
    int y = 0, x = 0;
    for (const FlexGrid::Span& s : d->mGrid->visibleRows())
        if (s.index == r) {
            rowShown = true;
            y = std::min(s.pos + s.size, d->mGrid->viewport()->height());
        }
    for (const FlexGrid::Span& s : d->mGrid->visibleCols())
        if (s.index == c) {
            colShown = true;
            x = s.pos;
        }
    if (rowShown && colShown) p = QPoint(x, y);
    return d->mGrid->viewport()->mapToGlobal(p);
}

void usrFlg::mnuEditClear_click() {
    EditClear();
}
void usrFlg::mnuEditCopy_click() {
    EditCopy();
}
void usrFlg::mnuEditCut_click() {
    EditCut();
}

void usrFlg::EditCopy() {
    TargetSet();
    modpub::ClipCopy();
}

void usrFlg::EditCut() {
    TargetSet();
    modpub::ClipCopy();
    modpub::ClipClear();
}

void usrFlg::EditClear() {
    TargetSet();
    modpub::ClipClear();
}

void usrFlg::EditPaste() {
    TargetSet();
    modpub::ClipPaste();
}

namespace {
// Disables the grid for the length of a row command, also when it fails.
struct Disabled {
    usrFlg* g;
    explicit Disabled(usrFlg* grid) : g(grid) { g->setEnabled(false); }
    ~Disabled() { g->setEnabled(true); }
};
} // namespace

// Row commands work on the grid only: while the editor is the edit target
// they do nothing, and the editor keeps its text and the focus.
void usrFlg::EditRowAdd() {
    if (modpub::editTarget().ctlType != 2) return;
    Disabled off(this);
    TargetSet();
    modpub::SelRowAdd();
    gridChanged();
}

void usrFlg::EditRowDelete() {
    if (modpub::editTarget().ctlType != 2) return;
    Disabled off(this);
    TargetSet();
    modpub::SelRowDelete();
    gridChanged();
}

void usrFlg::RowAddWithNum(qint32 lngRowPoint, qint32 lngNum) {
    if (modpub::editTarget().ctlType != 2) return;
    Disabled off(this);
    TargetSet();
    modpub::RowInsert(lngRowPoint, lngNum);
    gridChanged();
}

// ---- sorting ---------------------------------------------------------------

void usrFlg::SortOn(int iCol, int iMode) {
    if (d->mEditorOpen) CloseEditor(true); // the rows are about to move under it
    d->mModel.setCol(iCol); // a one-column key; the rows that take part are the grid's rule
    d->mModel.sort(iCol, iMode);
    if (d->mRedraw) d->mGrid->viewport()->update();
}
