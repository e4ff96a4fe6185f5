// The user's changes of cells and rows as single steps, and taking them back.
#include "FendraInternal.h"
#include "FlexGrid.h"
#include "GridSteps.h"
#include "usrFlg.h"
#include "usrFlg_p.h"

#include <QLineEdit>
#include <QUndoStack>

using fendra::CellsPart;
using fendra::GridStep;
using fendra::RowsPart;

// The stack's command over a step that is already done when it is pushed.
class GridUndoCommand : public QUndoCommand {
public:
    GridUndoCommand(usrFlg* owner, std::shared_ptr<GridStep> step)
        : mOwner(owner), mStep(std::move(step)),
          mBytes(static_cast<qint64>(mStep->bytes(mOwner->model()))) {
        mOwner->d->heldBytes += mBytes;
    }
    ~GridUndoCommand() override { mOwner->d->heldBytes -= mBytes; }
    void undo() override { mOwner->applyStep(*mStep, true); }
    void redo() override {
        if (mDone) {
            mDone = false; // done by the user's own action
            return;
        }
        mOwner->applyStep(*mStep, false);
    }
    const std::shared_ptr<GridStep>& step() const { return mStep; }
    qint64 bytes() const { return mBytes; }

private:
    usrFlg* mOwner;
    std::shared_ptr<GridStep> mStep;
    qint64 mBytes;
    bool mDone = true;
};

namespace {
using fendra::KeepCursor;

// The rows from `at` on, as a step's part refers to them.
void identify(const GridModel& m, int at, int n, std::vector<quint64>& ids,
              std::vector<int>& hints) {
    ids.reserve(static_cast<size_t>(n));
    hints.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        ids.push_back(m.rowId(at + i));
        hints.push_back(at + i);
    }
}

// Inserts n empty rows at `at` (an empty grid's placeholder makes way).
RowsPart insertRows(GridModel& m, int at, int n, int height) {
    if (m.isPlaceholder()) m.removeRows(m.fixedRows(), 1);
    at = std::clamp(at, m.fixedRows(), m.rows());
    m.insertRows(at, n, height);
    RowsPart p;
    p.inserted = true;
    identify(m, at, n, p.ids, p.hints);
    return p;
}
} // namespace

QString usrFlg::filtered(const QString& text, int& changed) const {
    if (!d->inputFilter) return text;
    QString t = d->inputFilter(text);
    if (t != text) {
        ++changed;
        return t;
    }
    return text; // the same text keeps sharing the typed one
}

void usrFlg::setInputFilter(InputFilter filter) {
    d->inputFilter = std::move(filter);
}
void usrFlg::setCellNote(CellNote note) {
    d->cellNote = std::move(note);
    if (d->mRedraw) d->mGrid->viewport()->update();
}
QString usrFlg::cellNote(int r, int c) const {
    return d->cellNote ? d->cellNote(r, c) : QString();
}
bool usrFlg::ReadOnly() const {
    return d->readOnly;
}
void usrFlg::setReadOnly(bool readOnly) {
    if (readOnly && d->mEditorOpen) CloseEditor(false);
    d->readOnly = readOnly;
}
void usrFlg::setAppendRows(bool on) {
    d->appendRows = on;
}
void usrFlg::setPasteAddsRows(bool on) {
    d->pasteAddsRows = on;
}

bool usrFlg::undoEnabled() const {
    return d->undoEnabled;
}
QUndoStack* usrFlg::undoStack() const {
    return d->undoStack;
}

void usrFlg::setUndoEnabled(bool on) {
    d->undoEnabled = on;
    if (!on) clearUndo();
}

void usrFlg::setUndoLimits(int steps, qint64 bytes) {
    d->undoSteps = std::max(steps, 1);
    d->undoBytes = std::max<qint64>(bytes, 1);
    clearUndo();
}

void usrFlg::clearUndo() {
    d->undoStack->clear();
    d->undoStack->setUndoLimit(d->undoSteps);
    d->appended.clear();
    d->setAside.reset();
}

void usrFlg::undo() {
    if (d->mEditorOpen) {
        d->mTxt->undo();
        return;
    }
    if (!d->readOnly && d->undoStack->canUndo()) d->undoStack->undo();
}

void usrFlg::redo() {
    if (d->mEditorOpen) {
        d->mTxt->redo();
        return;
    }
    if (!d->readOnly && d->undoStack->canRedo()) d->undoStack->redo();
}

void usrFlg::pushStep(std::shared_ptr<GridStep> step) {
    if (!d->undoEnabled) return;
    d->undoStack->push(new GridUndoCommand(this, std::move(step)));
    trimUndo();
}

// Past the size limit the oldest steps go. The stack cannot drop its oldest
// commands by itself, so it is filled again with the steps that stay (their
// steps are shared, and done already).
void usrFlg::trimUndo() {
    QUndoStack* s = d->undoStack;
    if (d->heldBytes <= d->undoBytes || s->count() <= 1) return;
    const int count = s->count(), clean = s->cleanIndex();
    std::vector<std::shared_ptr<GridStep>> steps;
    qint64 total = d->heldBytes;
    int drop = 0;
    for (int i = 0; i < count; ++i) {
        const auto* c = static_cast<const GridUndoCommand*>(s->command(i));
        steps.push_back(c->step());
        if (total > d->undoBytes && i < count - 1) {
            total -= c->bytes();
            drop = i + 1;
        }
    }
    d->rebuilding = true;
    s->clear();
    s->setUndoLimit(d->undoSteps);
    for (int i = drop; i < count; ++i) {
        if (i == clean) s->setClean();
        s->push(new GridUndoCommand(this, steps[static_cast<size_t>(i)]));
    }
    if (clean == count)
        s->setClean();
    else if (clean < drop)
        s->resetClean();
    d->rebuilding = false;
}

void usrFlg::applyStep(GridStep& step, bool undoing) {
    if (d->mEditorOpen) CloseEditor(false);
    GridModel& m = d->mModel;
    if (undoing)
        step.undo(m);
    else
        step.redo(m);
    int r = m.rowOfId(step.focusId, step.focusRow);
    if (r < 0) r = std::clamp(step.focusRow, m.fixedRows(), std::max(m.rows() - 1, 0));
    const int c = std::clamp(step.focusCol, m.fixedCols(), std::max(m.cols() - 1, 0));
    if (r < m.rows() && c < m.cols()) {
        m.setRow(r);
        m.setCol(c);
        scrollToShow(false, r);
        scrollToShow(true, c);
    }
    gridChanged();
    notifyEdited();
    if (step.changesRows()) emit rowCountChanged();
}

// ---- the commands ------------------------------------------------------------

void usrFlg::commitCell(int r, int c, const QString& text) {
    GridModel& m = d->mModel;
    if (r < 0 || c < 0 || r >= m.rows() || c >= m.cols() || d->readOnly) return;
    int changed = 0;
    const QString t = filtered(text, changed);
    if (m.text(r, c) == t) return;
    if (d->undoEnabled) {
        auto step = std::make_shared<GridStep>();
        CellsPart p;
        p.ids = {m.rowId(r)};
        p.hints = {r};
        p.cols = {c};
        p.other = {m.exchangeText(r, c, t)};
        step->cells.push_back(std::move(p));
        step->focusId = m.rowId(r);
        step->focusRow = r;
        step->focusCol = c;
        pushStep(std::move(step));
    } else {
        m.setText(r, c, t);
    }
    if (changed) emit inputFiltered(r, c, changed);
    notifyEdited();
}

void usrFlg::pasteCells(const QString& s) {
    if (d->readOnly || s.isNull()) return;
    GridModel& m = d->mModel;
    auto step = std::make_shared<GridStep>();
    int clipped = 0, changed = 0, firstChanged = -1;
    {
        KeepCursor keep(m);
        const int top = std::min(m.row(), m.rowSel());
        const int left = std::min(m.col(), m.colSel());
        const int k = s.count(QStringLiteral("\r\n"));
        int last = top + k;
        if (k < std::abs(m.rowSel() - m.row())) last = std::max(m.row(), m.rowSel());
        const int lastRow = m.isPlaceholder() ? m.fixedRows() - 1 : m.rows() - 1;
        if (last > lastRow) {
            if (d->pasteAddsRows) {
                step->rows.push_back(insertRows(m, lastRow + 1, last - lastRow, firstRowHeight()));
                for (quint64 id : step->rows.back().ids)
                    d->appended.erase(id);
            } else {
                clipped = last - lastRow;
                last = lastRow;
            }
        }
        const int firstEnd = s.indexOf(QStringLiteral("\r\n"));
        const QString firstLine = firstEnd < 0 ? s : s.left(firstEnd);
        // As many shown columns as the first line has fields; hidden columns
        // in between take no field, so they do not eat the line's last fields.
        const int fields = firstLine.count(QLatin1Char('\t')) + 1;
        int right = left, shown = 0;
        for (int c = left; c < m.cols(); ++c) {
            right = c;
            if (m.colWidth(c) > 0 && ++shown == fields) break;
        }
        CellsPart part;
        const bool record = d->undoEnabled && last >= top;
        if (record) {
            identify(m, top, last - top + 1, part.ids, part.hints);
            for (int c = left; c <= right; ++c)
                part.cols.push_back(c);
            part.other.reserve(part.ids.size() * part.cols.size());
        }
        // The step takes the replaced texts over from the cells, without copying.
        size_t counted = 0;
        auto unchanged = [&](int i, int c) {
            if (!record) return;
            part.other.push_back(m.text(i, c));
            counted += 2 * static_cast<size_t>(part.other.back().size()) * sizeof(QChar);
        };
        int j = 0;
        for (int i = top; i <= last; ++i) {
            int e = s.indexOf(QStringLiteral("\r\n"), j);
            if (e < 0) e = s.size();
            for (int c = left; c <= right; ++c) {
                // a hidden column, or a line with no more fields: the cell keeps its text
                if (m.colWidth(c) == 0 || j > e) {
                    unchanged(i, c);
                    continue;
                }
                int fe = s.indexOf(QLatin1Char('\t'), j);
                if (fe < 0 || fe > e) fe = e;
                const int was = changed;
                QString old = m.exchangeText(i, c, filtered(s.mid(j, fe - j), changed));
                if (record) {
                    counted +=
                        static_cast<size_t>(old.size() + m.text(i, c).size()) * sizeof(QChar);
                    part.other.push_back(std::move(old));
                }
                if (changed != was && firstChanged < 0) firstChanged = i * m.cols() + c;
                j = fe + 1;
            }
            j = e + 2;
            if (j >= s.size()) j = 0; // wrap to the first line
        }
        if (record) {
            part.counted = counted + 1; // (never 0 once counted)
            step->focusId = m.rowId(top);
            step->focusRow = top;
            step->focusCol = left;
            step->cells.push_back(std::move(part));
        } else if (!step->rows.empty()) {
            step->focusId = step->rows.front().ids.front();
            step->focusRow = step->rows.front().hints.front();
            step->focusCol = left;
        }
    }
    const bool rowsAdded = !step->rows.empty();
    if (rowsAdded || !step->cells.empty()) pushStep(std::move(step));
    if (changed) emit inputFiltered(firstChanged / m.cols(), firstChanged % m.cols(), changed);
    notifyEdited();
    if (clipped > 0) emit pasteClipped(clipped);
    if (rowsAdded) emit rowCountChanged();
    Refresh();
}

void usrFlg::clearSelection() {
    if (d->readOnly) return;
    GridModel& m = d->mModel;
    const int r1 = std::min(m.row(), m.rowSel()), r2 = std::max(m.row(), m.rowSel());
    const int c1 = std::min(m.col(), m.colSel()), c2 = std::max(m.col(), m.colSel());
    CellsPart part;
    if (d->undoEnabled) {
        identify(m, r1, r2 - r1 + 1, part.ids, part.hints);
        for (int c = c1; c <= c2; ++c)
            part.cols.push_back(c);
        part.other.reserve(part.ids.size() * part.cols.size());
    }
    bool changed = false;
    for (int r = r1; r <= r2; ++r)
        for (int c = c1; c <= c2; ++c) {
            if (m.text(r, c).isEmpty()) {
                if (d->undoEnabled) part.other.emplace_back();
                continue;
            }
            changed = true;
            QString old = m.exchangeText(r, c, QString());
            if (d->undoEnabled) part.other.push_back(std::move(old));
        }
    if (!changed) return;
    if (d->undoEnabled) {
        auto step = std::make_shared<GridStep>();
        step->focusId = m.rowId(r1);
        step->focusRow = r1;
        step->focusCol = c1;
        step->cells.push_back(std::move(part));
        pushStep(std::move(step));
    }
    if (d->mRedraw) d->mGrid->viewport()->update();
    notifyEdited();
}

void usrFlg::insertRowsAt(int at, int n) {
    if (d->readOnly || n <= 0) return;
    GridModel& m = d->mModel;
    if (at < 0 || at > m.rows()) throw GridError("Subscript out of range (row)");
    CloseEditor(true); // into its own row, before the rows move
    auto step = std::make_shared<GridStep>();
    step->rows.push_back(insertRows(m, at, n, firstRowHeight()));
    step->focusId = step->rows.back().ids.front();
    step->focusRow = step->rows.back().hints.front();
    step->focusCol = m.col();
    pushStep(std::move(step));
    gridChanged();
    notifyEdited();
    emit rowCountChanged();
}

void usrFlg::removeRowsAt(int at, int n) {
    if (d->readOnly || n <= 0) return;
    CloseEditor(true);
    GridModel& m = d->mModel;
    if (m.isPlaceholder()) return; // no row to remove
    if (at < m.fixedRows() || at + n > m.rows()) throw GridError("Subscript out of range (row)");
    auto step = std::make_shared<GridStep>();
    RowsPart p;
    p.inserted = false;
    identify(m, at, n, p.ids, p.hints);
    p.takeOut(m);
    step->focusId = p.ids.front();
    step->focusRow = at;
    step->focusCol = m.col();
    step->rows.push_back(std::move(p));
    pushStep(std::move(step));
    gridChanged();
    notifyEdited();
    emit rowCountChanged();
}

bool usrFlg::isUntouchedAppendedRow(int r) const {
    const GridModel& m = d->mModel;
    if (r < m.fixedRows() || r >= m.rows() || m.isPlaceholder()) return false;
    if (!d->appended.count(m.rowId(r))) return false;
    for (int c = 0; c < m.cols(); ++c)
        if (!m.text(r, c).isEmpty()) return false;
    return true;
}

bool usrFlg::appendRow() {
    GridModel& m = d->mModel;
    if (!d->appendRows || d->readOnly) return false;
    if (!m.isPlaceholder() && isUntouchedAppendedRow(m.rows() - 1)) return false;
    const int col = m.col();
    insertRowsAt(m.rows(), 1);
    const int r = m.rows() - 1;
    d->appended.insert(m.rowId(r));
    m.setRow(r);
    m.setCol(col);
    scrollToShow(false, r);
    gridChanged();
    return true;
}

int usrFlg::setAsideUntouchedRows() {
    if (d->appended.empty()) return 0;
    GridModel& m = d->mModel;
    RowsPart p;
    p.inserted = false;
    for (int r = m.fixedRows(); r < m.rows(); ++r)
        if (isUntouchedAppendedRow(r)) {
            p.ids.push_back(m.rowId(r));
            p.hints.push_back(r);
        }
    if (p.ids.empty()) return 0;
    const int n = static_cast<int>(p.ids.size());
    {
        KeepCursor keep(m);
        p.takeOut(m);
    }
    d->setAside = std::move(p);
    gridChanged();
    return n;
}

void usrFlg::putBackSetAsideRows() {
    if (!d->setAside) return;
    {
        KeepCursor keep(d->mModel);
        d->setAside->putIn(d->mModel);
    }
    d->setAside.reset();
    gridChanged();
}
