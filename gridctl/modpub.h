#pragma once
#include "fendra_global.h"

#include <QPointer>
#include <QString>

class QLineEdit;
class QMenu;
class QAction;
class usrFlg;

// The edit target shared by every usrFlg of the process: the clipboard and row
// commands act on the kind of control recorded here.
struct FENDRA_EXPORT clsInD {
    qint16 ctlType = 0; // 1 = text box, 2 = grid, 0 = not yet set
    QPointer<QLineEdit> TextBox;
    QPointer<usrFlg> MsFLG;
};

// The context menu form: one per process, created on first use.
struct FENDRA_EXPORT frmpopup {
    QMenu* popup = nullptr;
    QAction* popCopy = nullptr;
    QAction* popPaste = nullptr;
    QAction* popCut = nullptr;
    QAction* popClear = nullptr;
    QAction* popNone = nullptr;
    QAction* popRowAdd = nullptr;
    QAction* popRowDelete = nullptr;
};

namespace modpub {
FENDRA_EXPORT clsInD& editTarget();
FENDRA_EXPORT frmpopup& popupForm();
FENDRA_EXPORT void MenuStateSet();
FENDRA_EXPORT bool ClipHasText();
FENDRA_EXPORT void ClipCopy();
FENDRA_EXPORT void ClipPaste();
FENDRA_EXPORT void ClipClear();
FENDRA_EXPORT QString SelTextMake(int mode);
FENDRA_EXPORT void SelRowAdd();
FENDRA_EXPORT void SelRowDelete();
FENDRA_EXPORT void RowInsert(qint32 at, qint32 n);
FENDRA_EXPORT void RowRemove(qint32 at, qint32 n);
} // namespace modpub
