#pragma once
// Helpers shared by the control's own source files; not part of its interface.
#include "GridModel.h"

#include <QFontMetrics>
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <exception>
#include <qnamespace.h>

namespace fendra {

constexpr int EditorInset = 32;     // twips between a cell's edge and the editor over it
constexpr int EditorParked = -2000; // twips: where a closed editor waits
constexpr quint32 White = 0x00FFFFFF;

// The platform's shift mask: 1 = Shift, 2 = Ctrl, 4 = Alt.
inline int shiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}

// The control reports nothing to its host: a failure inside its own event
// handling leaves the grid as it was and goes to the debug log.
template <typename F> void guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        qWarning("usrFlg: %s", e.what());
    }
}

constexpr int TextMargin = 3; // pixels between a cell's text and its edges

// A header's text as it is drawn into a cell `width` pixels wide, with the
// margin kept on each side. A text that fits the cell is drawn whole, the
// margins giving way to it; only a text wider than the cell is cut.
struct FittedText {
    QString text;
    int margin;
};
inline FittedText fitText(const QFontMetrics& fm, const QString& t, int width) {
    const int w = fm.horizontalAdvance(t);
    if (w <= width - 2) return {t, std::clamp((width - w) / 2, 1, TextMargin)};
    return {fm.elidedText(t, Qt::ElideRight, width - 2 * TextMargin), TextMargin};
}

// Restores the grid's current cell and selection when a command is done.
struct KeepCursor {
    GridModel& m;
    int row, col, rowSel, colSel;
    explicit KeepCursor(GridModel& model)
        : m(model), row(model.row()), col(model.col()), rowSel(model.rowSel()),
          colSel(model.colSel()) {}
    ~KeepCursor() {
        try {
            m.setRow(row);
            m.setCol(col);
            m.setRowSel(rowSel);
            m.setColSel(colSel);
        } catch (const GridError&) {
        }
    }
};

} // namespace fendra
