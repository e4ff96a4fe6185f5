// The in-cell editor: when it opens and closes, where it sits, and the keys
// of the grid and of the editor.
#include "FendraInternal.h"
#include "FlexGrid.h"
#include "modpub.h"
#include "usrFlg.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

namespace {
using fendra::EditorInset;
using fendra::EditorParked;

int shiftState(const QKeyEvent* e) {
    return fendra::shiftState(e->modifiers());
}
} // namespace

void usrFlg::parkEditor(int xTwips, int yTwips) {
    mTxt->move(xTwips / twipsPerPixelX(), yTwips / twipsPerPixelY());
}

// Scrolls so that column (or row) `index` shows.
void usrFlg::scrollIntoView(bool columns, int index) {
    const int count = columns ? mModel.cols() : mModel.rows();
    const bool last = count == index + 1;
    const bool visible = columns ? ColIsVisible(index) : RowIsVisible(index);
    if (!last && visible) return;
    const int first = columns ? mModel.leftCol() : mModel.topRow();
    const int fixed = columns ? mModel.fixedCols() : mModel.fixedRows();
    int newFirst;
    if (index > first) {
        newFirst = index;
    } else {
        // walk back while the cells from there to `index` still fit the view
        const int avail = (columns ? mGrid->viewport()->width() - mGrid->fixedWidthPx()
                                   : mGrid->viewport()->height() - mGrid->fixedHeightPx());
        int sum = 0;
        newFirst = index;
        for (int i = index; i >= 0; --i) {
            sum += mGrid->toPx(columns ? mModel.colWidth(i) : mModel.rowHeight(i), !columns);
            if (sum > avail) break;
            newFirst = i;
        }
    }
    if (newFirst < fixed) newFirst = fixed;
    if (columns)
        setLeftCol(newFirst);
    else
        setTopRow(newFirst);
    iActiveCtl = 1;
}

// Scrolls as little as shows column (row) `index` whole: from the near side
// it becomes the first shown, from the far side the last.
void usrFlg::scrollToShow(bool columns, int index) {
    const int fixed = columns ? mModel.fixedCols() : mModel.fixedRows();
    if (index < fixed) return;
    const int first = columns ? mModel.leftCol() : mModel.topRow();
    int newFirst = first;
    if (index < first) {
        newFirst = index;
    } else if (!(columns ? ColIsVisible(index) : RowIsVisible(index))) {
        const int avail = columns ? mGrid->viewport()->width() - mGrid->fixedWidthPx()
                                  : mGrid->viewport()->height() - mGrid->fixedHeightPx();
        int sum = 0;
        newFirst = index;
        for (int i = index; i >= fixed; --i) {
            sum += mGrid->toPx(columns ? mModel.colWidth(i) : mModel.rowHeight(i), !columns);
            if (sum > avail) break;
            newFirst = i;
        }
    }
    if (newFirst == first) return;
    if (columns)
        setLeftCol(newFirst);
    else
        setTopRow(newFirst);
}

void usrFlg::placeEditor() {
    if (!mEditorOpen) return;
    const int r = iEditRow, c = iEditCol;
    const QWidget* vp = mGrid->viewport();
    const bool inGrid = r >= 0 && c >= 0 && r < mModel.rows() && c < mModel.cols();
    // A cell above TopRow or left of LeftCol would lie under the fixed rows
    // and columns: it counts as out of view like one beyond the far edge.
    const bool shown =
        inGrid && mModel.rowHeight(r) > 0 && mModel.colWidth(c) > 0 &&
        (r < mModel.fixedRows() || (r >= mModel.topRow() && mGrid->rowPosPx(r) < vp->height())) &&
        (c < mModel.fixedCols() || (c >= mModel.leftCol() && mGrid->colPosPx(c) < vp->width()));
    if (!shown) {
        parkEditor(EditorParked, EditorParked);
        return;
    }
    const int tx = twipsPerPixelX(), ty = twipsPerPixelY();
    const int left = mGrid->colPosPx(c) * tx + EditorInset;
    const int top = mGrid->rowPosPx(r) * ty + EditorInset;
    const int w = mModel.colWidth(c) - EditorInset;
    const int h = mModel.rowHeight(r) - EditorInset;
    mTxt->setGeometry(left / tx, top / ty, std::max(w / tx, 1), std::max(h / ty, 1));
}

void usrFlg::revealEditor() {
    if (!mEditorOpen || iEditRow >= mModel.rows() || iEditCol >= mModel.cols()) return;
    if (RowIsVisible(iEditRow) && ColIsVisible(iEditCol)) return;
    scrollToShow(true, iEditCol);
    scrollToShow(false, iEditRow);
    placeEditor();
}

void usrFlg::TxtShow(bool takeFocus) {
    const int r = iEditRow, c = iEditCol;
    if (r == mModel.fixedRows() && mModel.rowHeight(mModel.fixedRows()) == 0) return; // placeholder
    if (r < 0 || c < 0 || r >= mModel.rows() || c >= mModel.cols()) return;
    scrollIntoView(true, c);
    scrollIntoView(false, r);
    mGrid->updateScrollBars();
    mEditorOpen = true;
    placeEditor();
    mTxt->setAlignment(mModel.colAlignment(c) | Qt::AlignVCenter);
    blnTyped = false; // loading the cell's text is not typing
    mTxt->setText(mModel.text(r, c));
    mTxt->setSelection(0, mTxt->text().size());
    iLastLen = 0; // the whole text is selected: what is typed next replaces it and may complete
    mTxt->setVisible(true);
    mTxt->raise();
    if (iActiveCtl != 2 && takeFocus) mTxt->setFocus(Qt::OtherFocusReason);
    mGrid->viewport()->update();
}

void usrFlg::TxtHide(bool commit) {
    if (iEditRow >= 0 && iEditCol >= 0) {
        if (commit && iEditRow < mModel.rows() && iEditCol < mModel.cols()) {
            const QString t = mTxt->text();
            if (mModel.text(iEditRow, iEditCol) != t) {
                mModel.setText(iEditRow, iEditCol, t);
                notifyEdited();
            }
        }
        blnRefocus = true;
    }
    mEditorOpen = false;
    parkEditor(EditorParked, EditorParked);
    if (iActiveCtl != 2) {
        // Closed for good: hiding it must not store its text once more.
        mClosingEditor = true;
        mTxt->setVisible(false);
        mClosingEditor = false;
        blnRefocus = false;
        // The commands work on the grid again, however the editor closed.
        clsInD& t = modpub::editTarget();
        if (t.ctlType == 1) {
            t.ctlType = 2;
            t.MsFLG = this;
        }
    }
    mGrid->viewport()->update();
}

void usrFlg::CloseEditor(bool store) {
    if (!mEditorOpen) return;
    const bool hadFocus = mTxt->hasFocus() || (window() && window()->focusWidget() == mTxt);
    iActiveCtl = 1;
    blnRefocus = false;
    if (hadFocus) {
        // The grid takes the focus first, so that it does not wander to
        // another control when the editor hides.
        mClosingEditor = true;
        mGrid->setFocus(Qt::OtherFocusReason);
        mClosingEditor = false;
    }
    TxtHide(store);
}

void usrFlg::NextCellMove() {
    int r = iEditRow, c = iEditCol;
    const bool back = iShift & 1;
    const int cols = mModel.cols();
    bool anyShown = false;
    for (int i = 0; i < cols && !anyShown; ++i)
        anyShown = mModel.colWidth(i) != 0;
    if (!anyShown) return;
    do {
        if (!back) {
            ++c;
            if (c > cols - 1) {
                if (r + 1 > mModel.rows() - 1) return;
                ++r;
                c = 0;
            }
        } else {
            --c;
            if (c < 0) {
                if (r - 1 < 1) return;
                --r;
                c = cols - 1;
            }
        }
    } while (mModel.colWidth(c) == 0);
    iEditRow = r;
    iEditCol = c;
}

// ---- grid events -------------------------------------------------------------

void usrFlg::grid_GotFocus() {
    iActiveCtl = 1;
    if (blnRefocus && mTxt->isVisible()) {
        blnRefocus = false;
        mTxt->setFocus(Qt::OtherFocusReason);
    }
}

void usrFlg::grid_MouseDown(int button) {
    iActiveCtl = 1;
    PopupShow(button);
}

void usrFlg::grid_DblClick() {
    iEditRow = mModel.row();
    iEditCol = mModel.col();
    TxtShow();
}

void usrFlg::grid_InputMethod(QInputMethodEvent* e) {
    const bool carries = !e->preeditString().isEmpty() || !e->commitString().isEmpty();
    if (!mEditorOpen) {
        // An input method also greets the grid with events that carry no
        // text (on focus-in, on switching its mode): only composing opens
        // the editor.
        if (!carries) return;
        if (iActiveCtl != 2) {
            iEditRow = mModel.row();
            iEditCol = mModel.col();
            // Moving the focus would make the input method drop what is
            // being composed: the grid keeps it until the composition ends.
            TxtShow(false);
        }
        if (!mEditorOpen) return;
    }
    QCoreApplication::sendEvent(mTxt, e);
    if (e->preeditString().isEmpty() && mGrid->hasFocus() && !mFocusHandoverPending) {
        // Composed (or given up): the user goes on in the editor. Not from
        // inside the input method's own event: moving the focus asks it to
        // commit, and it would commit the same text once more.
        mFocusHandoverPending = true;
        QTimer::singleShot(0, this, [this] {
            mFocusHandoverPending = false;
            if (mEditorOpen && mGrid->hasFocus()) mTxt->setFocus(Qt::OtherFocusReason);
        });
    }
}

void usrFlg::finishComposition() {
    if (!mEditorOpen || !mGrid->hasFocus()) return;
    QGuiApplication::inputMethod()->commit(); // what is composed goes into the editor
    CloseEditor(true);
}

void usrFlg::grid_TabMove() {
    iEditRow = mModel.row();
    iEditCol = mModel.col();
    NextCellMove();
    if (!ColIsVisible(iEditCol)) setLeftCol(std::max<int>(iEditCol, mModel.fixedCols()));
    if (!RowIsVisible(iEditRow)) setTopRow(std::max<int>(iEditRow, mModel.fixedRows()));
    mModel.setRow(iEditRow);
    mModel.setCol(iEditCol);
    gridChanged();
}

// Arrow keys, page keys, Home and End move the current cell over shown cells;
// with Shift they stretch the selection.
void usrFlg::grid_Navigate(QKeyEvent* e) {
    const bool extend = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    int r = extend ? mModel.rowSel() : mModel.row();
    int c = extend ? mModel.colSel() : mModel.col();
    const int fr = mModel.fixedRows(), fc = mModel.fixedCols();
    auto stepRow = [&](int from, int dir) {
        for (int i = from + dir; i >= fr && i < mModel.rows(); i += dir)
            if (mModel.rowHeight(i) > 0) return i;
        return from;
    };
    auto stepCol = [&](int from, int dir) {
        for (int i = from + dir; i >= fc && i < mModel.cols(); i += dir)
            if (mModel.colWidth(i) > 0) return i;
        return from;
    };
    const int page = std::max(1, static_cast<int>(mGrid->visibleRows().size()) - fr - 1);
    switch (e->key()) {
    case Qt::Key_Up:
        r = stepRow(r, -1);
        break;
    case Qt::Key_Down:
        r = stepRow(r, 1);
        break;
    case Qt::Key_Left:
        c = stepCol(c, -1);
        break;
    case Qt::Key_Right:
        c = stepCol(c, 1);
        break;
    case Qt::Key_PageUp:
        for (int i = 0; i < page; ++i)
            r = stepRow(r, -1);
        break;
    case Qt::Key_PageDown:
        for (int i = 0; i < page; ++i)
            r = stepRow(r, 1);
        break;
    case Qt::Key_Home:
        c = stepCol(fc - 1, 1);
        if (ctrl) r = stepRow(fr - 1, 1);
        break;
    case Qt::Key_End:
        c = stepCol(mModel.cols(), -1);
        if (ctrl) r = stepRow(mModel.rows(), -1);
        break;
    default:
        return;
    }
    if (r < fr || c < fc || r >= mModel.rows() || c >= mModel.cols()) return;
    if (extend) {
        mModel.setRowSel(r);
        mModel.setColSel(c);
    } else {
        mModel.setRow(r);
        mModel.setCol(c);
    }
    scrollToShow(false, r);
    scrollToShow(true, c);
    gridChanged();
}

void usrFlg::grid_KeyDown(QKeyEvent* e, bool& handled) {
    handled = true;
    if (mEditorOpen && mGrid->hasFocus() && !mForwardingKey) {
        // Opened by a composition that the grid still holds the focus for:
        // a key the input method lets through belongs to the editor (one
        // that the editor leaves comes back here, and stays).
        mForwardingKey = true;
        QCoreApplication::sendEvent(mTxt, e);
        mForwardingKey = false;
        return;
    }
    if (mForwardingKey) return;
    iShift = shiftState(e);
    iActiveCtl = 1;
    const int key = e->key();
    clsInD& target = modpub::editTarget();
    if (key == Qt::Key_Menu) {
        PopupShow(2, true);
        return;
    }
    if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
        target.ctlType = 2; // a key on the grid works on the grid
        TargetSet();
        modpub::ClipClear();
        return;
    }
    if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Cut) ||
        e->matches(QKeySequence::Paste)) {
        target.ctlType = 2;
        if (e->matches(QKeySequence::Copy))
            EditCopy();
        else if (e->matches(QKeySequence::Cut))
            EditCut();
        else
            EditPaste();
        return;
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        if (key == Qt::Key_Backtab) iShift |= 1;
        grid_TabMove();
        return;
    }
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        grid_Navigate(e);
        return;
    default:
        break;
    }
    const bool opens = key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter ||
                       key == Qt::Key_Escape || key == Qt::Key_Space;
    const QString text = e->text();
    const bool printable = !text.isEmpty() && text[0] >= QLatin1Char(' ') &&
                           !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!opens && !printable) {
        handled = false;
        return;
    }
    iEditRow = mModel.row();
    iEditCol = mModel.col();
    TxtShow();
    if (!opens && mTxt->isVisible()) {
        blnTyped = true; // typing on a cell overwrites it, with completion
        mTxt->insert(text);
    }
}

// ---- editor events -------------------------------------------------------------

void usrFlg::txt_GotFocus() {
    iActiveCtl = 2;
    PopupShow(1);
}

void usrFlg::txt_LostFocus() {
    if (mClosingEditor) return;
    // The focus went elsewhere (mouse, another window): the editor is no
    // longer the active part, so it closes rather than waiting parked. A
    // parked editor's text was stored when it was parked.
    iActiveCtl = 1;
    const bool store = mEditorOpen && !blnNoCommit;
    blnNoCommit = false;
    TxtHide(store);
}

void usrFlg::txt_EnterOrEsc(bool store) {
    mTxt->deselect();
    mTxt->setCursorPosition(0);
    TxtHide(store);
    iActiveCtl = 1;
    PopupShow(1);
    if (iEditRow < mModel.rows() && iEditCol < mModel.cols()) {
        mModel.setRow(iEditRow);
        mModel.setCol(iEditCol);
    }
    blnNoCommit = true;
    mGrid->setFocus(Qt::OtherFocusReason);
    if (blnNoCommit) {
        // the focus did not pass through the editor's loss (inactive window)
        blnNoCommit = false;
        TxtHide(false);
    }
    gridChanged();
}

bool usrFlg::txt_KeyDown(QKeyEvent* e) {
    iActiveCtl = 2;
    iShift = shiftState(e);
    switch (e->key()) {
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        txt_EnterOrEsc(true);
        return true;
    case Qt::Key_Escape:
        txt_EnterOrEsc(false);
        return true;
    case Qt::Key_Down:
    case Qt::Key_Up:
        txt_Browse(e->key() == Qt::Key_Down);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (e->key() == Qt::Key_Backtab) iShift |= 1;
        TxtHide(true);
        NextCellMove();
        TxtShow();
        mModel.setRow(iEditRow); // the focus cell follows the editor
        mModel.setCol(iEditCol);
        return true;
    default:
        return false;
    }
}
