#pragma once
// The control's own state, behind its interface.
#include "GridModel.h"

#include "GridSteps.h"

#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

class FlexGrid;
class TxtFocus;
class QWidget;
class QUndoStack;
class QListWidget;

struct usrFlgPrivate {
    GridModel mModel;
    FlexGrid* mGrid = nullptr;
    TxtFocus* mTxt = nullptr;
    bool mRedraw = true;
    quint32 mBackColorSel = 0x00D77800; // RGB(0, 120, 215)

    int iActiveCtl = 1;
    int iShift = 0;
    qint32 iEditRow = 1;
    qint32 iEditCol = 1;
    bool blnRefocus = false;
    bool blnNoCommit = false;
    bool blnTyped = false;
    int iLastLen = 0;
    bool blnColsSet = false;
    bool mInChange = false;
    bool mLayoutPending = false;
    int mAddedFrom = -1; // the first of the rows added since the view was laid out
    bool mEditorOpen = false;
    bool mForwardingKey = false;
    bool mFocusHandoverPending = false;
    bool mClosingEditor = false; // the editor's loss of focus is our own doing
    // Disabling the grid moves the focus away; enabling gives it back.
    bool mRefocusOnEnable = false;
    QPointer<QWidget> mFocusWhileDisabled;

    std::function<QString(const QString&)> inputFilter;
    std::function<QString(int, int)> cellNote;
    QListWidget* choices = nullptr;
    bool choicesAll = false; // Alt+Down: every choice, nothing typed
    bool choosing = false;
    bool readOnly = false;
    bool appendRows = false;
    bool pasteAddsRows = false;
    // rows added below the last one by moving there
    std::unordered_set<quint64> appended;
    std::optional<fendra::RowsPart> setAside;

    bool undoEnabled = false;
    QUndoStack* undoStack = nullptr;
    int undoSteps = 1000;
    qint64 undoBytes = 64LL * 1024 * 1024;
    qint64 heldBytes = 0; // what the steps on the stack hold
    bool rebuilding = false;

    std::vector<QString> strInputDatas;          // index 0 unused; 1..n
    std::vector<std::array<int, 3>> iInputIndex; // columns 0..m
};
