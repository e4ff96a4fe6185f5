#include "FlexGrid.h"
#include "FendraInternal.h"
#include "GridModel.h"
#include "usrFlg.h"
#include "usrFlg_p.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

using fendra::guarded;

namespace {
QColor fromBgr(quint32 c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
const QColor headerBack(0xEE, 0xEE, 0xEE);
const QColor headerLine(0xA8, 0xA8, 0xA8);
const QColor cellLine(0xD6, 0xD6, 0xD6);

} // namespace

FlexGrid::FlexGrid(usrFlg* owner, GridModel* model)
    : QAbstractScrollArea(owner), mOwner(owner), mModel(model) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (mSyncing) return;
        guarded([&] {
            mModel->setTopRow(v);
            mOwner->gridChanged();
        });
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (mSyncing) return;
        guarded([&] {
            mModel->setLeftCol(v);
            mOwner->gridChanged();
        });
    });
    viewport()->setMouseTracking(true); // the pointer changes over header borders
    mAutoScroll.setInterval(60);
    connect(&mAutoScroll, &QTimer::timeout, this, [this] { guarded([&] { dragSelect(true); }); });
}

int FlexGrid::toPx(int twips, bool vertical) const {
    const int tpp = vertical ? mOwner->twipsPerPixelY() : mOwner->twipsPerPixelX();
    return twips <= 0 ? 0 : std::max(1, (twips + tpp / 2) / tpp);
}

int FlexGrid::fixedHeightPx() const {
    int h = 0;
    for (int r = 0; r < mModel->fixedRows(); ++r)
        h += toPx(mModel->rowHeight(r), true);
    return h;
}

int FlexGrid::fixedWidthPx() const {
    int w = 0;
    for (int c = 0; c < mModel->fixedCols(); ++c)
        w += toPx(mModel->colWidth(c), false);
    return w;
}

std::vector<FlexGrid::Span> FlexGrid::visibleRows() const {
    std::vector<Span> out;
    int y = 0;
    const int limit = viewport()->height();
    for (int r = 0; r < mModel->fixedRows(); ++r) {
        const int h = toPx(mModel->rowHeight(r), true);
        if (h > 0) out.push_back({r, y, h});
        y += h;
    }
    for (int r = std::max(mModel->topRow(), mModel->fixedRows()); r < mModel->rows() && y < limit;
         ++r) {
        const int h = toPx(mModel->rowHeight(r), true);
        if (h > 0) out.push_back({r, y, h});
        y += h;
    }
    return out;
}

std::vector<FlexGrid::Span> FlexGrid::visibleCols() const {
    std::vector<Span> out;
    int x = 0;
    const int limit = viewport()->width();
    for (int c = 0; c < mModel->fixedCols(); ++c) {
        const int w = toPx(mModel->colWidth(c), false);
        if (w > 0) out.push_back({c, x, w});
        x += w;
    }
    for (int c = std::max(mModel->leftCol(), mModel->fixedCols()); c < mModel->cols() && x < limit;
         ++c) {
        const int w = toPx(mModel->colWidth(c), false);
        if (w > 0) out.push_back({c, x, w});
        x += w;
    }
    return out;
}

int FlexGrid::rowPosPx(int r) const {
    if (r < mModel->fixedRows()) {
        int y = 0;
        for (int i = 0; i < r; ++i)
            y += toPx(mModel->rowHeight(i), true);
        return y;
    }
    int y = fixedHeightPx();
    const int top = std::max(mModel->topRow(), mModel->fixedRows());
    if (r >= top)
        for (int i = top; i < r; ++i)
            y += toPx(mModel->rowHeight(i), true);
    else
        for (int i = r; i < top; ++i)
            y -= toPx(mModel->rowHeight(i), true);
    return y;
}

int FlexGrid::colPosPx(int c) const {
    if (c < mModel->fixedCols()) {
        int x = 0;
        for (int i = 0; i < c; ++i)
            x += toPx(mModel->colWidth(i), false);
        return x;
    }
    int x = fixedWidthPx();
    const int left = std::max(mModel->leftCol(), mModel->fixedCols());
    if (c >= left)
        for (int i = left; i < c; ++i)
            x += toPx(mModel->colWidth(i), false);
    else
        for (int i = c; i < left; ++i)
            x -= toPx(mModel->colWidth(i), false);
    return x;
}

bool FlexGrid::rowFullyVisible(int r) const {
    if (r < mModel->fixedRows()) return true;
    if (r < mModel->topRow()) return false;
    const int y = rowPosPx(r);
    return y + toPx(mModel->rowHeight(r), true) <= viewport()->height();
}

bool FlexGrid::colFullyVisible(int c) const {
    if (c < mModel->fixedCols()) return true;
    if (c < mModel->leftCol()) return false;
    const int x = colPosPx(c);
    return x + toPx(mModel->colWidth(c), false) <= viewport()->width();
}

int FlexGrid::rowAt(int y) const {
    for (const Span& s : visibleRows())
        if (y >= s.pos && y < s.pos + s.size) return s.index;
    return -1;
}

int FlexGrid::colAt(int x) const {
    for (const Span& s : visibleCols())
        if (x >= s.pos && x < s.pos + s.size) return s.index;
    return -1;
}

bool FlexGrid::cellAt(const QPoint& p, int& r, int& c) const {
    r = rowAt(p.y());
    c = colAt(p.x());
    return r >= 0 && c >= 0;
}

int FlexGrid::headerBorderAt(const QPoint& p) const {
    if (p.y() < 0 || p.y() >= fixedHeightPx()) return -1;
    int best = -1, bestDist = 4; // pixels either side of the line that still grab it
    for (const Span& s : visibleCols()) {
        const int d = std::abs(p.x() - (s.pos + s.size - 1));
        if (d < bestDist) {
            best = s.index;
            bestDist = d;
        }
    }
    return best;
}

void FlexGrid::scrollBy(int rows, int cols) {
    if (rows != 0 && mModel->rows() > 0) {
        const int lo = std::min(mModel->fixedRows(), mModel->rows() - 1);
        mOwner->setTopRow(std::clamp(mModel->topRow() + rows, lo, mModel->rows() - 1));
    }
    if (cols != 0 && mModel->cols() > 0) {
        const int lo = std::min(mModel->fixedCols(), mModel->cols() - 1);
        mOwner->setLeftCol(std::clamp(mModel->leftCol() + cols, lo, mModel->cols() - 1));
    }
}

int FlexGrid::maxTopRow() const {
    // The last rows fill the view when the first of them is on top.
    const int avail = viewport()->height() - fixedHeightPx();
    int sum = 0, top = mModel->rows() - 1;
    for (int r = mModel->rows() - 1; r >= mModel->fixedRows(); --r) {
        sum += toPx(mModel->rowHeight(r), true);
        if (sum > avail) break;
        top = r;
    }
    return std::max(top, mModel->fixedRows());
}

int FlexGrid::maxLeftCol() const {
    const int avail = viewport()->width() - fixedWidthPx();
    int sum = 0, left = mModel->cols() - 1;
    for (int c = mModel->cols() - 1; c >= mModel->fixedCols(); --c) {
        sum += toPx(mModel->colWidth(c), false);
        if (sum > avail) break;
        left = c;
    }
    return std::max(left, mModel->fixedCols());
}

void FlexGrid::updateScrollBars() {
    mSyncing = true;
    const int fr = std::min(mModel->fixedRows(), std::max(mModel->rows() - 1, 0));
    const int fc = std::min(mModel->fixedCols(), std::max(mModel->cols() - 1, 0));
    const int maxTop = std::max(maxTopRow(), mModel->topRow());
    const int maxLeft = std::max(maxLeftCol(), mModel->leftCol());
    verticalScrollBar()->setRange(fr, maxTop);
    verticalScrollBar()->setPageStep(
        std::max(1, static_cast<int>(visibleRows().size()) - mModel->fixedRows() - 1));
    verticalScrollBar()->setValue(mModel->topRow());
    horizontalScrollBar()->setRange(fc, maxLeft);
    horizontalScrollBar()->setPageStep(
        std::max(1, static_cast<int>(visibleCols().size()) - mModel->fixedCols() - 1));
    horizontalScrollBar()->setValue(mModel->leftCol());
    mSyncing = false;
}

void FlexGrid::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void FlexGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QRect area = viewport()->rect();
    p.fillRect(area, palette().color(QPalette::Window).darker(104));
    const auto rows = visibleRows();
    const auto cols = visibleCols();
    const int fr = mModel->fixedRows(), fc = mModel->fixedCols();
    const int r1 = std::min(mModel->row(), mModel->rowSel()),
              r2 = std::max(mModel->row(), mModel->rowSel());
    const int c1 = std::min(mModel->col(), mModel->colSel()),
              c2 = std::max(mModel->col(), mModel->colSel());
    const bool multi = r1 != r2 || c1 != c2;
    const QColor sel = fromBgr(mOwner->BackColorSel());
    const QFontMetrics fm(font());
    QFont notedFont = font();
    notedFont.setItalic(true);
    const QFontMetrics notedMetrics(notedFont);
    const QColor notedText(0x00, 0x3c, 0xc8);
    const bool enabled = isEnabled();
    std::vector<Qt::Alignment> aligns(static_cast<size_t>(mModel->cols()));
    for (const Span& cs : cols)
        aligns[cs.index] = mModel->colAlignment(cs.index);

    auto paintCell = [&](const Span& rs, const Span& cs) {
        const QRect rect(cs.pos, rs.pos, cs.size, rs.size);
        const bool fixed = rs.index < fr || cs.index < fc;
        const bool selected = !fixed && multi && rs.index >= r1 && rs.index <= r2 &&
                              cs.index >= c1 && cs.index <= c2 &&
                              !(rs.index == mModel->row() && cs.index == mModel->col());
        QColor back = fixed ? headerBack : Qt::white;
        const quint32 own = mModel->cellColor(rs.index, cs.index);
        if (!fixed && own != GridModel::NoColor) back = fromBgr(own);
        if (selected) back = sel;
        p.fillRect(rect, back);
        p.setPen(fixed ? headerLine : cellLine);
        p.drawLine(rect.topRight(), rect.bottomRight());
        p.drawLine(rect.bottomLeft(), rect.bottomRight());
        const QString& t = mModel->text(rs.index, cs.index);
        if (!t.isEmpty()) {
            const bool noted = !fixed && !mOwner->cellNote(rs.index, cs.index).isEmpty();
            p.setPen(selected ? Qt::white
                              : (!enabled ? Qt::gray : (noted ? notedText : QColor(Qt::black))));
            if (noted) p.setFont(notedFont);
            const int m = fendra::TextMargin;
            if (fixed) {
                // a header is drawn whole whenever the column is wide enough
                const fendra::FittedText f = fendra::fitText(fm, t, rect.width());
                p.drawText(rect.adjusted(f.margin, 0, -f.margin, 0),
                           Qt::AlignVCenter | Qt::AlignLeft, f.text);
            } else {
                const QFontMetrics& tm = noted ? notedMetrics : fm;
                p.drawText(rect.adjusted(m, 0, -m, 0), Qt::AlignVCenter | aligns[cs.index],
                           tm.elidedText(t, Qt::ElideRight, rect.width() - 2 * m));
            }
            if (noted) p.setFont(font());
        }
    };
    for (const Span& rs : rows)
        for (const Span& cs : cols)
            paintCell(rs, cs);

    // the focus cell
    if (mModel->row() >= fr && mModel->col() >= fc) {
        for (const Span& rs : rows) {
            if (rs.index != mModel->row()) continue;
            for (const Span& cs : cols) {
                if (cs.index != mModel->col()) continue;
                QPen pen(hasFocus() ? QColor(0x20, 0x20, 0x20) : QColor(0x70, 0x70, 0x70));
                pen.setWidth(2);
                p.setPen(pen);
                p.setBrush(Qt::NoBrush);
                p.drawRect(QRect(cs.pos + 1, rs.pos + 1, cs.size - 2, rs.size - 2));
            }
        }
    }
}

bool FlexGrid::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* h = static_cast<QHelpEvent*>(e);
        int r, c;
        QString note;
        guarded([&] {
            if (cellAt(h->pos(), r, c) && r >= mModel->fixedRows() && c >= mModel->fixedCols())
                note = mOwner->cellNote(r, c);
        });
        if (note.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(h->globalPos(), note, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

bool FlexGrid::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        // The grid's own clipboard and clearing keys win over window shortcuts.
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->matches(QKeySequence::Copy) || k->matches(QKeySequence::Paste) ||
            k->matches(QKeySequence::Cut) || k->key() == Qt::Key_Delete ||
            k->key() == Qt::Key_Backspace) {
            e->accept();
            return true;
        }
        // and so are its undo keys, where it keeps steps
        if (mOwner->undoEnabled() &&
            (k->matches(QKeySequence::Undo) || k->matches(QKeySequence::Redo) ||
             k->keyCombination() == (Qt::CTRL | Qt::Key_Y) ||
             k->keyCombination() == (Qt::CTRL | Qt::SHIFT | Qt::Key_Z))) {
            e->accept();
            return true;
        }
    }
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void FlexGrid::mousePressEvent(QMouseEvent* e) {
    guarded([&] {
        mOwner->finishComposition(); // a click elsewhere ends the edit
        int r, c;
        const int border = headerBorderAt(e->position().toPoint());
        if (e->button() == Qt::LeftButton && border >= 0) {
            // the user widens or narrows the column; the selection stays
            mResizeCol = border;
            mResizeFromX = e->position().toPoint().x();
            mResizeFromWidth = toPx(mModel->colWidth(border), false);
        } else if (cellAt(e->position().toPoint(), r, c)) {
            const int fr = mModel->fixedRows(), fc = mModel->fixedCols();
            const bool inSel = r >= std::min(mModel->row(), mModel->rowSel()) &&
                               r <= std::max(mModel->row(), mModel->rowSel()) &&
                               c >= std::min(mModel->col(), mModel->colSel()) &&
                               c <= std::max(mModel->col(), mModel->colSel());
            if (e->button() == Qt::RightButton && inSel) {
                // keep the selection the menu is for
            } else if (r < fr && c >= fc && mModel->rows() > fr) {
                mModel->setRow(fr); // a header click selects the column
                mModel->setCol(c);
                mModel->setRowSel(mModel->rows() - 1);
            } else if (c < fc && r >= fr && mModel->cols() > fc) {
                mModel->setRow(r);
                mModel->setCol(fc);
                mModel->setColSel(mModel->cols() - 1);
            } else if (r >= fr && c >= fc) {
                if (e->modifiers() & Qt::ShiftModifier) {
                    mModel->setRowSel(r);
                    mModel->setColSel(c);
                } else {
                    mModel->setRow(r);
                    mModel->setCol(c);
                }
                mDragging = e->button() == Qt::LeftButton;
            }
            viewport()->update();
            mOwner->accessibilityChanged();
            updateMicroFocus(Qt::ImCursorRectangle); // the input method's candidates follow
        }
        mOwner->grid_MouseDown(
            e->button() == Qt::RightButton ? 2 : (e->button() == Qt::LeftButton ? 1 : 4));
    });
}

void FlexGrid::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    guarded([&] {
        if (mResizeCol >= 0 && (e->buttons() & Qt::LeftButton)) {
            // never down to 0, which would hide the column
            const int px = std::max(4, mResizeFromWidth + pos.x() - mResizeFromX);
            mOwner->setColWidth(mResizeCol, px * mOwner->twipsPerPixelX());
            return;
        }
        if (e->buttons() == Qt::NoButton) {
            const bool split = headerBorderAt(pos) >= 0;
            if (split != mSplitCursor) {
                mSplitCursor = split;
                if (split)
                    viewport()->setCursor(Qt::SplitHCursor);
                else
                    viewport()->unsetCursor();
            }
            return;
        }
        if (!mDragging || !(e->buttons() & Qt::LeftButton)) return;
        mDragPos = pos;
        dragSelect(false);
    });
}

void FlexGrid::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        mDragging = false;
        mResizeCol = -1;
        mAutoScroll.stop();
    }
    QAbstractScrollArea::mouseReleaseEvent(e);
}

// Stretches the selection to the cell under the pointer. Past the edge of
// the scrolling cells the grid scrolls a row or column at a time (`scroll`,
// from the timer) and the selection follows to the edge.
void FlexGrid::dragSelect(bool scroll) {
    if (!mDragging) {
        mAutoScroll.stop();
        return;
    }
    const int fr = mModel->fixedRows(), fc = mModel->fixedCols();
    const int top = fixedHeightPx(), left = fixedWidthPx();
    const QSize vs = viewport()->size();
    const int dr = mDragPos.y() >= vs.height() ? 1 : (mDragPos.y() < top ? -1 : 0);
    const int dc = mDragPos.x() >= vs.width() ? 1 : (mDragPos.x() < left ? -1 : 0);
    if (dr == 0 && dc == 0)
        mAutoScroll.stop();
    else if (!mAutoScroll.isActive())
        mAutoScroll.start();
    if (scroll) scrollBy(dr, dc);
    const int r = rowAt(std::clamp(mDragPos.y(), top, std::max(top, vs.height() - 1)));
    const int c = colAt(std::clamp(mDragPos.x(), left, std::max(left, vs.width() - 1)));
    if (r >= fr) mModel->setRowSel(r);
    if (c >= fc) mModel->setColSel(c);
    viewport()->update();
}

// As wide as the widest text shown in the column, the header's included.
void FlexGrid::fitColumn(int c) {
    const QFontMetrics fm(font());
    int widest = 0;
    for (const Span& s : visibleRows())
        widest = std::max(widest, fm.horizontalAdvance(mModel->text(s.index, c)));
    const int px = std::max(4, widest + 2 * fendra::TextMargin + 1);
    mOwner->setColWidth(c, px * mOwner->twipsPerPixelX());
}

void FlexGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    guarded([&] {
        const int border = headerBorderAt(e->position().toPoint());
        if (e->button() == Qt::LeftButton && border >= 0) {
            fitColumn(border);
            return;
        }
        int r, c;
        if (e->button() == Qt::LeftButton && cellAt(e->position().toPoint(), r, c) &&
            r >= mModel->fixedRows() && c >= mModel->fixedCols())
            mOwner->grid_DblClick();
    });
}

void FlexGrid::keyPressEvent(QKeyEvent* e) {
    bool handled = false;
    guarded([&] { mOwner->grid_KeyDown(e, handled); });
    if (handled)
        e->accept();
    else
        QAbstractScrollArea::keyPressEvent(e);
}

void FlexGrid::keyReleaseEvent(QKeyEvent* e) {
    mOwner->d->iActiveCtl = 1;
    mOwner->d->iShift = fendra::shiftState(e->modifiers());
    QAbstractScrollArea::keyReleaseEvent(e);
}

void FlexGrid::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    guarded([&] { mOwner->grid_GotFocus(); });
    viewport()->update();
    mOwner->accessibilityChanged(true);
}

void FlexGrid::wheelEvent(QWheelEvent* e) {
    // Fine wheels and touchpads send parts of a notch (120): they add up.
    // Shift turns the wheel sideways, as a horizontal wheel is.
    QPoint d = e->angleDelta();
    if (d.x() == 0 && (e->modifiers() & Qt::ShiftModifier)) d = QPoint(d.y(), 0);
    mWheelRest += d;
    const int rows = mWheelRest.y() / 40;  // three rows a notch
    const int cols = mWheelRest.x() / 120; // one column a notch
    mWheelRest -= QPoint(cols * 120, rows * 40);
    guarded([&] { scrollBy(-rows, -cols); });
    e->accept();
}

void FlexGrid::inputMethodEvent(QInputMethodEvent* e) {
    guarded([&] { mOwner->grid_InputMethod(e); });
    e->accept();
}

QVariant FlexGrid::inputMethodQuery(Qt::InputMethodQuery q) const {
    switch (q) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return QRect(colPosPx(mModel->col()), rowPosPx(mModel->row()), 1,
                     toPx(mModel->rowHeight(mModel->row()), true));
    default:
        return QAbstractScrollArea::inputMethodQuery(q);
    }
}

// ---- TxtFocus -------------------------------------------------------------

TxtFocus::TxtFocus(usrFlg* owner, QWidget* parent) : QLineEdit(parent), mOwner(owner) {
    setFrame(false);
    setContextMenuPolicy(Qt::NoContextMenu); // the control's menu is not shown over the editor
    setTextMargins(0, 0, 0, 0);
    connect(this, &QLineEdit::textChanged, this, [this] {
        guarded([&] {
            mOwner->txt_Change();
            mOwner->updateChoices();
        });
    });
}

bool TxtFocus::event(QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    return QLineEdit::event(e);
}

void TxtFocus::keyPressEvent(QKeyEvent* e) {
    const int k = e->key();
    if (k != Qt::Key_Shift && k != Qt::Key_Control && k != Qt::Key_Alt && k != Qt::Key_Meta)
        guarded([&] { mOwner->revealEditor(); }); // what is typed is seen
    bool swallowed = false;
    guarded([&] { swallowed = mOwner->txt_KeyDown(e); });
    if (swallowed) {
        e->accept();
        return;
    }
    if (!e->text().isEmpty()) mOwner->d->blnTyped = true; // before the change it causes
    QLineEdit::keyPressEvent(e);
}

void TxtFocus::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    guarded([&] { mOwner->txt_GotFocus(); });
}

void TxtFocus::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (e->reason() == Qt::PopupFocusReason) return; // an input method's popup is still typing here
    guarded([&] { mOwner->txt_LostFocus(); });
}

void TxtFocus::mousePressEvent(QMouseEvent* e) {
    mOwner->d->iActiveCtl = 2;
    QLineEdit::mousePressEvent(e);
}

void TxtFocus::inputMethodEvent(QInputMethodEvent* e) {
    if (!e->commitString().isEmpty() || !e->preeditString().isEmpty())
        guarded([&] { mOwner->revealEditor(); });
    if (!e->commitString().isEmpty()) mOwner->d->blnTyped = true;
    QLineEdit::inputMethodEvent(e);
}
