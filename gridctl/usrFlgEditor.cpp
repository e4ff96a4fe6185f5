// The in-cell editor: when it opens and closes, where it sits, and the keys
// of the grid and of the editor.
#include "FendraInternal.h"
#include "FlexGrid.h"
#include "modpub.h"
#include "usrFlg.h"
#include "usrFlg_p.h"

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
    d->mTxt->move(xTwips / twipsPerPixelX(), yTwips / twipsPerPixelY());
}

// Scrolls so that column (or row) `index` shows.
void usrFlg::scrollIntoView(bool columns, int index) {
    const int count = columns ? d->mModel.cols() : d->mModel.rows();
    const bool last = count == index + 1;
    const bool visible = columns ? ColIsVisible(index) : RowIsVisible(index);
    if (!last && visible) return;
    const int first = columns ? d->mModel.leftCol() : d->mModel.topRow();
    const int fixed = columns ? d->mModel.fixedCols() : d->mModel.fixedRows();
    int newFirst;
    if (index > first) {
        newFirst = index;
    } else {
        // walk back while the cells from there to `index` still fit the view
        const int avail = (columns ? d->mGrid->viewport()->width() - d->mGrid->fixedWidthPx()
                                   : d->mGrid->viewport()->height() - d->mGrid->fixedHeightPx());
        int sum = 0;
        newFirst = index;
        for (int i = index; i >= 0; --i) {
            sum +=
                d->mGrid->toPx(columns ? d->mModel.colWidth(i) : d->mModel.rowHeight(i), !columns);
            if (sum > avail) break;
            newFirst = i;
        }
    }
    if (newFirst < fixed) newFirst = fixed;
    if (columns)
        setLeftCol(newFirst);
    else
        setTopRow(newFirst);
    d->iActiveCtl = 1;
}

// Scrolls as little as shows column (row) `index` whole: from the near side
// it becomes the first shown, from the far side the last.
void usrFlg::scrollToShow(bool columns, int index) {
    const int fixed = columns ? d->mModel.fixedCols() : d->mModel.fixedRows();
    if (index < fixed) return;
    const int first = columns ? d->mModel.leftCol() : d->mModel.topRow();
    int newFirst = first;
    if (index < first) {
        newFirst = index;
    } else if (!(columns ? ColIsVisible(index) : RowIsVisible(index))) {
        const int avail = columns ? d->mGrid->viewport()->width() - d->mGrid->fixedWidthPx()
                                  : d->mGrid->viewport()->height() - d->mGrid->fixedHeightPx();
        int sum = 0;
        newFirst = index;
        for (int i = index; i >= fixed; --i) {
            sum +=
                d->mGrid->toPx(columns ? d->mModel.colWidth(i) : d->mModel.rowHeight(i), !columns);
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
    if (!d->mEditorOpen) return;
    const int r = d->iEditRow, c = d->iEditCol;
    const QWidget* vp = d->mGrid->viewport();
    const bool inGrid = r >= 0 && c >= 0 && r < d->mModel.rows() && c < d->mModel.cols();
    // A cell above TopRow or left of LeftCol would lie under the fixed rows
    // and columns: it counts as out of view like one beyond the far edge.
    const bool shown = inGrid && d->mModel.rowHeight(r) > 0 && d->mModel.colWidth(c) > 0 &&
                       (r < d->mModel.fixedRows() ||
                        (r >= d->mModel.topRow() && d->mGrid->rowPosPx(r) < vp->height())) &&
                       (c < d->mModel.fixedCols() ||
                        (c >= d->mModel.leftCol() && d->mGrid->colPosPx(c) < vp->width()));
    if (!shown) {
        parkEditor(EditorParked, EditorParked);
        placeChoices(); // out of sight with the editor
        return;
    }
    const int tx = twipsPerPixelX(), ty = twipsPerPixelY();
    const int left = d->mGrid->colPosPx(c) * tx + EditorInset;
    const int top = d->mGrid->rowPosPx(r) * ty + EditorInset;
    const int w = d->mModel.colWidth(c) - EditorInset;
    const int h = d->mModel.rowHeight(r) - EditorInset;
    d->mTxt->setGeometry(left / tx, top / ty, std::max(w / tx, 1), std::max(h / ty, 1));
    placeChoices();
}

void usrFlg::revealEditor() {
    if (!d->mEditorOpen || d->iEditRow >= d->mModel.rows() || d->iEditCol >= d->mModel.cols())
        return;
    if (RowIsVisible(d->iEditRow) && ColIsVisible(d->iEditCol)) return;
    scrollToShow(true, d->iEditCol);
    scrollToShow(false, d->iEditRow);
    placeEditor();
}

void usrFlg::TxtShow(bool takeFocus) {
    if (d->readOnly) return;
    const int r = d->iEditRow, c = d->iEditCol;
    if (r == d->mModel.fixedRows() && d->mModel.rowHeight(d->mModel.fixedRows()) == 0)
        return; // placeholder
    if (r < 0 || c < 0 || r >= d->mModel.rows() || c >= d->mModel.cols()) return;
    scrollIntoView(true, c);
    scrollIntoView(false, r);
    d->mGrid->updateScrollBars();
    d->mEditorOpen = true;
    placeEditor();
    d->mTxt->setAlignment(d->mModel.colAlignment(c) | Qt::AlignVCenter);
    d->blnTyped = false; // loading the cell's text is not typing
    d->mTxt->setText(d->mModel.text(r, c));
    d->mTxt->setSelection(0, d->mTxt->text().size());
    d->iLastLen = 0; // the whole text is selected: what is typed next replaces it and may complete
    d->mTxt->setVisible(true);
    d->mTxt->raise();
    if (d->iActiveCtl != 2 && takeFocus) d->mTxt->setFocus(Qt::OtherFocusReason);
    d->mGrid->viewport()->update();
}

void usrFlg::TxtHide(bool commit) {
    if (d->iEditRow >= 0 && d->iEditCol >= 0) {
        if (commit && d->iEditRow < d->mModel.rows() && d->iEditCol < d->mModel.cols()) {
            commitCell(d->iEditRow, d->iEditCol, d->mTxt->text());
        }
        d->blnRefocus = true;
    }
    d->mEditorOpen = false;
    hideChoices();
    parkEditor(EditorParked, EditorParked);
    if (d->iActiveCtl != 2) {
        // Closed for good: hiding it must not store its text once more.
        d->mClosingEditor = true;
        d->mTxt->setVisible(false);
        d->mClosingEditor = false;
        d->blnRefocus = false;
        // The commands work on the grid again, however the editor closed.
        clsInD& t = modpub::editTarget();
        if (t.ctlType == 1) {
            t.ctlType = 2;
            t.MsFLG = this;
        }
    }
    d->mGrid->viewport()->update();
}

void usrFlg::CloseEditor(bool store) {
    if (!d->mEditorOpen) return;
    const bool hadFocus = d->mTxt->hasFocus() || (window() && window()->focusWidget() == d->mTxt);
    d->iActiveCtl = 1;
    d->blnRefocus = false;
    if (hadFocus) {
        // The grid takes the focus first, so that it does not wander to
        // another control when the editor hides.
        d->mClosingEditor = true;
        d->mGrid->setFocus(Qt::OtherFocusReason);
        d->mClosingEditor = false;
    }
    TxtHide(store);
}

void usrFlg::NextCellMove() {
    int r = d->iEditRow, c = d->iEditCol;
    const bool back = d->iShift & 1;
    const int cols = d->mModel.cols();
    bool anyShown = false;
    for (int i = 0; i < cols && !anyShown; ++i)
        anyShown = d->mModel.colWidth(i) != 0;
    if (!anyShown) return;
    do {
        if (!back) {
            ++c;
            if (c > cols - 1) {
                if (r + 1 > d->mModel.rows() - 1 && !appendRow()) return;
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
    } while (d->mModel.colWidth(c) == 0);
    d->iEditRow = r;
    d->iEditCol = c;
}

// ---- grid events -------------------------------------------------------------

void usrFlg::grid_GotFocus() {
    d->iActiveCtl = 1;
    if (d->blnRefocus && d->mTxt->isVisible()) {
        d->blnRefocus = false;
        d->mTxt->setFocus(Qt::OtherFocusReason);
    }
}

void usrFlg::grid_MouseDown(int button) {
    d->iActiveCtl = 1;
    PopupShow(button);
}

void usrFlg::grid_DblClick() {
    d->iEditRow = d->mModel.row();
    d->iEditCol = d->mModel.col();
    TxtShow();
}

void usrFlg::grid_InputMethod(QInputMethodEvent* e) {
    const bool carries = !e->preeditString().isEmpty() || !e->commitString().isEmpty();
    if (!d->mEditorOpen) {
        // An input method also greets the grid with events that carry no
        // text (on focus-in, on switching its mode): only composing opens
        // the editor.
        if (!carries) return;
        if (d->iActiveCtl != 2) {
            d->iEditRow = d->mModel.row();
            d->iEditCol = d->mModel.col();
            // Moving the focus would make the input method drop what is
            // being composed: the grid keeps it until the composition ends.
            TxtShow(false);
        }
        if (!d->mEditorOpen) return;
    }
    QCoreApplication::sendEvent(d->mTxt, e);
    if (e->preeditString().isEmpty() && d->mGrid->hasFocus() && !d->mFocusHandoverPending) {
        // Composed (or given up): the user goes on in the editor. Not from
        // inside the input method's own event: moving the focus asks it to
        // commit, and it would commit the same text once more.
        d->mFocusHandoverPending = true;
        QTimer::singleShot(0, this, [this] {
            d->mFocusHandoverPending = false;
            if (d->mEditorOpen && d->mGrid->hasFocus()) d->mTxt->setFocus(Qt::OtherFocusReason);
        });
    }
}

void usrFlg::finishComposition() {
    if (!d->mEditorOpen || !d->mGrid->hasFocus()) return;
    QGuiApplication::inputMethod()->commit(); // what is composed goes into the editor
    CloseEditor(true);
}

void usrFlg::grid_TabMove() {
    d->iEditRow = d->mModel.row();
    d->iEditCol = d->mModel.col();
    NextCellMove();
    if (!ColIsVisible(d->iEditCol)) setLeftCol(std::max<int>(d->iEditCol, d->mModel.fixedCols()));
    if (!RowIsVisible(d->iEditRow)) setTopRow(std::max<int>(d->iEditRow, d->mModel.fixedRows()));
    d->mModel.setRow(d->iEditRow);
    d->mModel.setCol(d->iEditCol);
    gridChanged();
}

// Arrow keys, page keys, Home and End move the current cell over shown cells;
// with Shift they stretch the selection.
void usrFlg::grid_Navigate(QKeyEvent* e) {
    const bool extend = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    int r = extend ? d->mModel.rowSel() : d->mModel.row();
    int c = extend ? d->mModel.colSel() : d->mModel.col();
    const int fr = d->mModel.fixedRows(), fc = d->mModel.fixedCols();
    auto stepRow = [&](int from, int dir) {
        for (int i = from + dir; i >= fr && i < d->mModel.rows(); i += dir)
            if (d->mModel.rowHeight(i) > 0) return i;
        return from;
    };
    auto stepCol = [&](int from, int dir) {
        for (int i = from + dir; i >= fc && i < d->mModel.cols(); i += dir)
            if (d->mModel.colWidth(i) > 0) return i;
        return from;
    };
    const int page = std::max(1, static_cast<int>(d->mGrid->visibleRows().size()) - fr - 1);
    switch (e->key()) {
    case Qt::Key_Up:
        r = stepRow(r, -1);
        break;
    case Qt::Key_Down:
        if (!extend && !ctrl && stepRow(r, 1) == r && appendRow()) return;
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
        c = stepCol(d->mModel.cols(), -1);
        if (ctrl) r = stepRow(d->mModel.rows(), -1);
        break;
    default:
        return;
    }
    if (r < fr || c < fc || r >= d->mModel.rows() || c >= d->mModel.cols()) return;
    if (extend) {
        d->mModel.setRowSel(r);
        d->mModel.setColSel(c);
    } else {
        d->mModel.setRow(r);
        d->mModel.setCol(c);
    }
    scrollToShow(false, r);
    scrollToShow(true, c);
    gridChanged();
}

void usrFlg::grid_KeyDown(QKeyEvent* e, bool& handled) {
    handled = true;
    if (d->mEditorOpen && d->mGrid->hasFocus() && !d->mForwardingKey) {
        // Opened by a composition that the grid still holds the focus for:
        // a key the input method lets through belongs to the editor (one
        // that the editor leaves comes back here, and stays).
        d->mForwardingKey = true;
        QCoreApplication::sendEvent(d->mTxt, e);
        d->mForwardingKey = false;
        return;
    }
    if (d->mForwardingKey) return;
    d->iShift = shiftState(e);
    d->iActiveCtl = 1;
    const int key = e->key();
    clsInD& target = modpub::editTarget();
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier)) {
        PopupShow(2, true);
        return;
    }
    if (e->matches(QKeySequence::Undo)) {
        undo();
        return;
    }
    if (e->matches(QKeySequence::Redo) || e->keyCombination() == (Qt::CTRL | Qt::Key_Y) ||
        e->keyCombination() == (Qt::CTRL | Qt::SHIFT | Qt::Key_Z)) {
        redo();
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
        if (key == Qt::Key_Backtab) d->iShift |= 1;
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
    d->iEditRow = d->mModel.row();
    d->iEditCol = d->mModel.col();
    TxtShow();
    if (!opens && d->mTxt->isVisible()) {
        d->blnTyped = true; // typing on a cell overwrites it, with completion
        d->mTxt->insert(text);
    }
}

// ---- editor events -------------------------------------------------------------

void usrFlg::txt_GotFocus() {
    d->iActiveCtl = 2;
    PopupShow(1);
}

void usrFlg::txt_LostFocus() {
    if (d->mClosingEditor) return;
    // The focus went elsewhere (mouse, another window): the editor is no
    // longer the active part, so it closes rather than waiting parked. A
    // parked editor's text was stored when it was parked.
    d->iActiveCtl = 1;
    const bool store = d->mEditorOpen && !d->blnNoCommit;
    d->blnNoCommit = false;
    TxtHide(store);
}

void usrFlg::txt_EnterOrEsc(bool store) {
    d->mTxt->deselect();
    d->mTxt->setCursorPosition(0);
    TxtHide(store);
    d->iActiveCtl = 1;
    PopupShow(1);
    if (d->iEditRow < d->mModel.rows() && d->iEditCol < d->mModel.cols()) {
        d->mModel.setRow(d->iEditRow);
        d->mModel.setCol(d->iEditCol);
    }
    d->blnNoCommit = true;
    d->mGrid->setFocus(Qt::OtherFocusReason);
    if (d->blnNoCommit) {
        // the focus did not pass through the editor's loss (inactive window)
        d->blnNoCommit = false;
        TxtHide(false);
    }
    gridChanged();
}

bool usrFlg::txt_KeyDown(QKeyEvent* e) {
    d->iActiveCtl = 2;
    d->iShift = shiftState(e);
    switch (e->key()) {
    case Qt::Key_F2:
        txt_EnterOrEsc(true);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        txt_EnterOrEsc(true);
        // Enter on the last row goes on to a new row below it.
        if (d->mModel.row() == d->mModel.rows() - 1) appendRow();
        return true;
    case Qt::Key_Escape:
        txt_EnterOrEsc(false);
        return true;
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier)) {
            d->choicesAll = true; // every choice of the column
            updateChoices();
            return true;
        }
        txt_Browse(e->key() == Qt::Key_Down);
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (e->key() == Qt::Key_Backtab) d->iShift |= 1;
        TxtHide(true);
        NextCellMove();
        TxtShow();
        d->mModel.setRow(d->iEditRow); // the focus cell follows the editor
        d->mModel.setCol(d->iEditCol);
        return true;
    default:
        return false;
    }
}
