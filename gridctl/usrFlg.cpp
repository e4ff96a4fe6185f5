#include "usrFlg.h"
#include "FendraInternal.h"
#include "FlexGrid.h"
#include "FlexGridAccessible.h"
#include "modpub.h"

#include <QApplication>
#include <QCursor>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

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

usrFlg::usrFlg(QWidget* parent) : QWidget(parent) {
    fendra::installAccessibility();
    mGrid = new FlexGrid(this, &mModel);
    mGrid->setFont(gridFont(9.75));
    mTxt = new TxtFocus(this, mGrid->viewport());
    mTxt->setFont(gridFont(9));
    setFocusProxy(mGrid);

    // Rows are as high as the font needs.
    const int rowPx = QFontMetrics(mGrid->font()).height() + 6;
    mModel.setDefaultRowHeight(rowPx * twipsPerPixelY());
    mModel.setRowHeight(0, -1);
    mModel.setRowHeight(1, -1);

    lngDefRowHeight = mModel.rowHeight(0);
    TxtInit();
    FlgInit();
    strInputDatas.assign(2, QString());
    iInputIndex.assign(static_cast<size_t>(mModel.cols()) + 1, {0, 0, 0});
    blnColsSet = false;
    mGrid->setGeometry(rect());
}

usrFlg::~usrFlg() = default;

QAbstractScrollArea* usrFlg::flgMain() const {
    return mGrid;
}
QLineEdit* usrFlg::txtfocus() const {
    return mTxt;
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
    mTxt->setVisible(true);
    mTxt->setGeometry(20000 / twipsPerPixelX(), 20000 / twipsPerPixelY(), 0, 0);
    blnNoCommit = false;
}

void usrFlg::FlgInit() {
    mGrid->setEnabled(true);
    mModel.setRows(5);
    mModel.setCols(5);
    for (int c = 1; c < mModel.cols(); ++c)
        mModel.setColWidth(c, 800);
    mModel.setFixedRows(1);
    mModel.setFixedCols(0);
    mModel.setRow(1);
    mModel.setCol(0);
    mModel.setTopRow(1);
    mModel.setLeftCol(0);
    iActiveCtl = 1;
    iEditCol = 1;
    iEditRow = 1;
    gridChanged();
}

void usrFlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    mGrid->setGeometry(0, 0, width(), height());
}

// ---- change notification and painting ------------------------------------

void usrFlg::gridChanged() {
    if (!mRedraw) return;
    // Scroll bars follow once the current burst of changes is over: a host
    // filling rows one by one pays nothing per row for them.
    if (!mLayoutPending) {
        mLayoutPending = true;
        QTimer::singleShot(0, this, [this] {
            mLayoutPending = false;
            if (mRedraw) mGrid->updateScrollBars();
        });
    }
    mGrid->viewport()->update();
    placeEditor();
    accessibilityChanged();
}

void usrFlg::accessibilityChanged(bool focusIn) {
    if (fendra::accessibilityListening()) fendra::accessibilityUpdate(mGrid, focusIn);
}

void usrFlg::Refresh() {
    mGrid->updateScrollBars();
    mGrid->viewport()->repaint();
}

void usrFlg::setRedraw(bool blnRedraw) {
    mRedraw = blnRedraw;
    mGrid->viewport()->setUpdatesEnabled(blnRedraw);
    if (blnRedraw) gridChanged();
}

bool usrFlg::isEditorOpen() const {
    return mEditorOpen;
}

// ---- cells and shape ------------------------------------------------------

QString usrFlg::Field(qint64 lngRow, qint64 lngCol) const {
    return mModel.textArray(lngRow * mModel.cols() + lngCol);
}

void usrFlg::setField(qint64 lngRow, qint64 lngCol, const QString& sString) {
    mModel.setTextArray(lngRow * mModel.cols() + lngCol, sString);
    if (mRedraw) mGrid->viewport()->update();
}

int usrFlg::firstRowHeight() const {
    const int h = mModel.rows() > 0 ? mModel.rowHeight(0) : 0;
    return h != 0 ? h : lngDefRowHeight;
}

qint32 usrFlg::MaxRow() const {
    return mModel.isPlaceholder() ? mModel.rows() - 1 : mModel.rows();
}

void usrFlg::setMaxRow(qint32 n) {
    // Rows that come or go take the edited row's place: an open edit is
    // stored into its own row first.
    if (mEditorOpen) CloseEditor(true);
    const int fr = mModel.fixedRows();
    if (fr >= n) {
        mModel.setRows(fr + 1);
        const int h = firstRowHeight();
        for (int i = 0; i <= fr; ++i) {
            if (i < n) {
                if (mModel.rowHeight(i) == 0) mModel.setRowHeight(i, h);
            } else {
                mModel.setRowHeight(i, 0);
            }
        }
    } else {
        if (mModel.isPlaceholder()) {
            const int h = firstRowHeight();
            for (int i = 0; i <= fr; ++i)
                if (mModel.rowHeight(i) == 0) mModel.setRowHeight(i, h);
            for (int c = mModel.fixedCols(); c < mModel.cols(); ++c)
                mModel.setText(fr, c, QString());
        }
        mModel.setRows(n);
    }
    gridChanged();
}

qint32 usrFlg::MaxCol() const {
    return mModel.cols();
}

void usrFlg::setMaxCol(qint32 n) {
    if (mEditorOpen) CloseEditor(true);
    mModel.setCols(n);
    gridChanged();
}

int usrFlg::FixedRows() const {
    return mModel.fixedRows();
}

void usrFlg::setFixedRows(int f) {
    if (f < 0) throw GridError("Invalid fixed row count");
    if (mEditorOpen) CloseEditor(true);
    int hidden = -1;
    if (mModel.rows() == mModel.fixedRows() + 1)
        for (int i = 0; i <= mModel.fixedRows(); ++i)
            if (mModel.rowHeight(i) == 0) {
                hidden = i;
                break;
            }
    if (mModel.rows() < f + 1) mModel.setRows(f + 1);
    mModel.setFixedRows(f);
    const int h = firstRowHeight();
    for (int i = 0; i <= f && i < mModel.rows(); ++i) {
        if (hidden < 0 || i < hidden) {
            if (mModel.rowHeight(i) == 0) mModel.setRowHeight(i, h);
        } else {
            mModel.setRowHeight(i, 0);
        }
    }
    gridChanged();
}

int usrFlg::FixedCols() const {
    return mModel.fixedCols();
}

void usrFlg::setFixedCols(int n) {
    mModel.setFixedCols(n);
    gridChanged();
}

qint32 usrFlg::row() const {
    return mModel.row();
}
void usrFlg::setRow(qint32 r) {
    mModel.setRow(r);
    if (mRedraw) mGrid->viewport()->update();
    accessibilityChanged();
}
qint32 usrFlg::RowSel() const {
    return mModel.rowSel();
}
void usrFlg::setRowSel(qint32 r) {
    mModel.setRowSel(r);
    if (mRedraw) mGrid->viewport()->update();
}
qint32 usrFlg::col() const {
    return mModel.col();
}
void usrFlg::setCol(qint32 c) {
    mModel.setCol(c);
    if (mRedraw) mGrid->viewport()->update();
    accessibilityChanged();
}
qint32 usrFlg::ColSel() const {
    return mModel.colSel();
}
void usrFlg::setColSel(qint32 c) {
    mModel.setColSel(c);
    if (mRedraw) mGrid->viewport()->update();
}

qint32 usrFlg::ColWidth(int iCol) const {
    return mModel.colWidth(iCol);
}
void usrFlg::setColWidth(int iCol, qint32 w) {
    mModel.setColWidth(iCol, w);
    gridChanged();
}
qint32 usrFlg::RowHeight(int iRow) const {
    return mModel.rowHeight(iRow);
}
void usrFlg::setRowHeight(int iRow, qint32 h) {
    mModel.setRowHeight(iRow, h);
    gridChanged();
}

void usrFlg::setColorSet(int iRow1, int iCol1, int iRow2, int iCol2, quint32 lngColor) {
    // White is the cells' own colour: it needs no storage of its own.
    const quint32 stored = lngColor == White ? GridModel::NoColor : lngColor;
    for (int r = iRow1; r <= iRow2; ++r) {
        if (stored == GridModel::NoColor && !mModel.hasColors()) {
            mModel.text(r, iCol1); // the range is still checked
            mModel.text(r, iCol2);
            continue;
        }
        for (int c = iCol1; c <= iCol2; ++c)
            mModel.setCellColor(r, c, stored);
    }
    if (mRedraw) mGrid->viewport()->update();
}

bool usrFlg::Enabled() const {
    return mGrid->isEnabled();
}
void usrFlg::setEnabled(bool b) {
    QWidget* w = window();
    if (!b && mGrid->isEnabled()) {
        QWidget* f = w->focusWidget();
        const bool hadFocus = f && (f == mGrid || mGrid->isAncestorOf(f));
        mGrid->setEnabled(false);
        if (hadFocus) {
            mRefocusOnEnable = true;
            mFocusWhileDisabled = w->focusWidget(); // where the platform put it
        }
        return;
    }
    mGrid->setEnabled(b);
    if (b && mRefocusOnEnable) {
        mRefocusOnEnable = false;
        // unless someone has given the focus elsewhere meanwhile
        if (w->focusWidget() == mFocusWhileDisabled.data()) mGrid->setFocus(Qt::OtherFocusReason);
    }
}

quint32 usrFlg::CellBackColor() const {
    const quint32 c = mModel.cellColor(mModel.row(), mModel.col());
    return c == GridModel::NoColor ? White : c;
}

void usrFlg::setCellBackColor(quint32 color) {
    mModel.setCellColor(mModel.row(), mModel.col(), color == White ? GridModel::NoColor : color);
    if (mRedraw) mGrid->viewport()->update();
}

void usrFlg::setBackColorSel(quint32 c) {
    mBackColorSel = c;
    if (mRedraw) mGrid->viewport()->update();
}

qint32 usrFlg::TopRow() const {
    return mModel.topRow();
}

void usrFlg::setTopRow(qint32 r) {
    mModel.setTopRow(r);
    // as the grid does: the last page stays full
    const int maxTop = mGrid->maxTopRow();
    if (mModel.topRow() > maxTop) mModel.setTopRow(maxTop);
    gridChanged();
}

Qt::Alignment usrFlg::ColAlignment(int iCol) const {
    return mModel.colAlignment(iCol);
}

void usrFlg::setColAlignment(int iCol, Qt::Alignment align) {
    mModel.setColAlignment(iCol, align);
    if (mRedraw) mGrid->viewport()->update();
}

qint32 usrFlg::LeftCol() const {
    return mModel.leftCol();
}

void usrFlg::setLeftCol(qint32 c) {
    mModel.setLeftCol(c);
    const int maxLeft = mGrid->maxLeftCol();
    if (mModel.leftCol() > maxLeft) mModel.setLeftCol(maxLeft);
    gridChanged();
}

qint32 usrFlg::RowPos(qint32 r) const {
    return mGrid->rowPosPx(r) * twipsPerPixelY();
}
qint32 usrFlg::ColPos(qint32 c) const {
    return mGrid->colPosPx(c) * twipsPerPixelX();
}
qint32 usrFlg::CellWidth() const {
    return mModel.colWidth(mModel.col());
}
qint32 usrFlg::CellHeight() const {
    return mModel.rowHeight(mModel.row());
}
bool usrFlg::RowIsVisible(qint32 r) const {
    return mGrid->rowFullyVisible(r);
}
bool usrFlg::ColIsVisible(qint32 c) const {
    return mGrid->colFullyVisible(c);
}

// ---- clipboard and row commands ---------------------------------------------

void usrFlg::TargetSet() {
    clsInD& t = modpub::editTarget();
    if (iActiveCtl == 1)
        t.MsFLG = this;
    else if (iActiveCtl == 2)
        t.TextBox = mTxt;
}

void usrFlg::PopupShow(int flags, bool atCell) {
    clsInD& t = modpub::editTarget();
    t.ctlType = iActiveCtl == 1 ? 2 : 1;
    modpub::MenuStateSet();
    if (flags & 2) {
        TargetSet();
        modpub::popupForm().popup->popup(atCell ? currentCellMenuPoint() : QCursor::pos());
    }
}

// Below the current cell's left edge, or the first scrolling cell's corner
// when the current cell is out of view.
QPoint usrFlg::currentCellMenuPoint() const {
    QPoint p(mGrid->fixedWidthPx(), mGrid->fixedHeightPx());
    const int r = mModel.row(), c = mModel.col();
    bool rowShown = false, colShown = false;
    int y = 0, x = 0;
    for (const FlexGrid::Span& s : mGrid->visibleRows())
        if (s.index == r) {
            rowShown = true;
            y = std::min(s.pos + s.size, mGrid->viewport()->height());
        }
    for (const FlexGrid::Span& s : mGrid->visibleCols())
        if (s.index == c) {
            colShown = true;
            x = s.pos;
        }
    if (rowShown && colShown) p = QPoint(x, y);
    return mGrid->viewport()->mapToGlobal(p);
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
    if (mEditorOpen) CloseEditor(true); // the rows are about to move under it
    mModel.setCol(iCol); // a one-column key; the rows that take part are the grid's rule
    mModel.sort(iCol, iMode);
    if (mRedraw) mGrid->viewport()->update();
}
