#pragma once
// Helpers shared by the control's own source files; not part of its interface.
#include <QtGlobal>
#include <qnamespace.h>
#include <exception>

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

} // namespace fendra
