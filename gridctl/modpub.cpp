#include "modpub.h"
#include "FendraInternal.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>

namespace modpub {

using fendra::guarded;

clsInD& editTarget() {
    static clsInD target;
    return target;
}

namespace {
usrFlg* targetGrid() {
    clsInD& t = editTarget();
    return t.ctlType == 2 ? t.MsFLG.data() : nullptr;
}

QLineEdit* targetText() {
    clsInD& t = editTarget();
    return t.ctlType == 1 ? t.TextBox.data() : nullptr;
}

struct OverrideCursor {
    OverrideCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~OverrideCursor() { QApplication::restoreOverrideCursor(); }
};

using fendra::KeepCursor;
// The clipboard text in the grid's own form, or a null string when there is
// nothing to paste. Lines may end in LF alone (what most programs outside
// Windows write) as well as in CR LF. A break that closes the last line ends
// it; it does not start one more line, which would write the first line again
// into the row below the pasted block.
QString gridLines(const QString& text) {
    if (text.isEmpty()) return {};
    QString s;
    s.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r')))
            s += QLatin1Char('\r');
        s += text[i];
    }
    if (s.endsWith(QStringLiteral("\r\n"))) s.chop(2);
    if (s.isNull()) s = QStringLiteral(""); // one empty field
    return s;
}
} // namespace

frmpopup& popupForm() {
    static frmpopup form;
    if (!form.popup) {
        form.popup = new QMenu;
        form.popCopy = form.popup->addAction(QStringLiteral("コピー(&C)"));
        form.popPaste = form.popup->addAction(QStringLiteral("貼り付け(&P)"));
        form.popCut = form.popup->addAction(QStringLiteral("切り取り(&T)"));
        form.popClear = form.popup->addAction(QStringLiteral("クリア(&N)"));
        form.popNone = form.popup->addSeparator();
        form.popRowAdd = form.popup->addAction(QStringLiteral("行挿入"));
        form.popRowDelete = form.popup->addAction(QStringLiteral("行削除"));
        QObject::connect(form.popCopy, &QAction::triggered, [] { guarded(ClipCopy); });
        QObject::connect(form.popPaste, &QAction::triggered, [] { guarded(ClipPaste); });
        QObject::connect(form.popCut, &QAction::triggered, [] {
            guarded([] {
                ClipCopy();
                ClipClear();
            });
        });
        QObject::connect(form.popClear, &QAction::triggered, [] { guarded(ClipClear); });
        QObject::connect(form.popRowAdd, &QAction::triggered, [] { guarded(SelRowAdd); });
        QObject::connect(form.popRowDelete, &QAction::triggered, [] { guarded(SelRowDelete); });
    }
    return form;
}

void MenuStateSet() {
    frmpopup& f = popupForm();
    f.popCopy->setEnabled(true);
    f.popCut->setEnabled(true);
    f.popPaste->setEnabled(ClipHasText());
    if (editTarget().ctlType == 2)
        f.popClear->setEnabled(true);
    else if (editTarget().ctlType == 1)
        f.popClear->setEnabled(false);
    // a grid that only shows its cells offers copying alone
    const usrFlg* g = targetGrid();
    const bool writable = !(g && g->ReadOnly());
    f.popRowAdd->setEnabled(writable);
    f.popRowDelete->setEnabled(writable);
    if (!writable)
        for (QAction* a : {f.popPaste, f.popCut, f.popClear})
            a->setEnabled(false);
}

bool ClipHasText() {
    const QMimeData* d = QApplication::clipboard()->mimeData();
    return d && d->hasText();
}

QString SelTextMake(int mode) {
    usrFlg* g = targetGrid();
    if (!g) return {};
    if (mode != 0) {
        g->clearSelection();
        return {};
    }
    OverrideCursor wait;
    g->Refresh();
    g->setRedraw(false);
    GridModel& m = g->model();
    QString out;
    {
        KeepCursor keep(m);
        const int r1 = std::min(m.row(), m.rowSel()), r2 = std::max(m.row(), m.rowSel());
        const int c1 = std::min(m.col(), m.colSel()), c2 = std::max(m.col(), m.colSel());
        for (int r = r1; r <= r2; ++r) {
            for (int c = c1; c <= c2; ++c)
                if (m.colWidth(c) > 0) {
                    out += m.text(r, c);
                    if (c < c2) out += QLatin1Char('\t');
                }
            if (r < r2) out += QStringLiteral("\r\n");
        }
    }
    g->setRedraw(true);
    return out;
}

void ClipCopy() {
    if (QLineEdit* t = targetText()) {
        const QString s = t->selectedText();
        if (s.isEmpty()) return;
        QApplication::clipboard()->clear();
        QApplication::clipboard()->setText(s);
    } else if (targetGrid()) {
        const QString s = SelTextMake(0);
        QApplication::clipboard()->clear();
        QApplication::clipboard()->setText(s);
    }
}

void ClipClear() {
    if (QLineEdit* t = targetText()) {
        if (t->hasSelectedText()) t->del();
    } else if (usrFlg* g = targetGrid()) {
        g->clearSelection();
    }
}

void ClipPaste() {
    if (QLineEdit* t = targetText()) {
        const QString c = QApplication::clipboard()->text();
        const QString text = t->text();
        const int p = t->hasSelectedText() ? t->selectionStart() : t->cursorPosition();
        const int q = t->hasSelectedText() ? t->selectedText().size() : 0;
        t->setText(text.left(p) + c + text.mid(p + q));
        t->setCursorPosition(std::min<int>(p + c.size(), t->text().size()));
        return;
    }
    if (usrFlg* g = targetGrid()) g->pasteCells(gridLines(QApplication::clipboard()->text()));
}

void SelRowAdd() {
    usrFlg* g = targetGrid();
    if (!g) return;
    const GridModel& m = g->model();
    RowInsert(std::min(m.row(), m.rowSel()), std::abs(m.row() - m.rowSel()) + 1);
}

void SelRowDelete() {
    usrFlg* g = targetGrid();
    if (!g) return;
    const GridModel& m = g->model();
    RowRemove(std::min(m.row(), m.rowSel()), std::abs(m.row() - m.rowSel()) + 1);
}

void RowInsert(qint32 at, qint32 n) {
    usrFlg* g = targetGrid();
    if (!g || n <= 0) return;
    g->CloseEditor(true); // into its own row, before the rows move
    g->setRedraw(false);
    try {
        g->insertRowsAt(at, n);
    } catch (...) {
        g->setRedraw(true);
        throw;
    }
    g->setRedraw(true);
}

void RowRemove(qint32 at, qint32 n) {
    usrFlg* g = targetGrid();
    if (!g || n <= 0) return;
    g->CloseEditor(true);
    g->setRedraw(false);
    g->setEnabled(false);
    try {
        g->removeRowsAt(at, n);
    } catch (...) {
        g->setRedraw(true);
        g->setEnabled(true);
        throw;
    }
    g->setRedraw(true);
    g->setEnabled(true);
}

} // namespace modpub
