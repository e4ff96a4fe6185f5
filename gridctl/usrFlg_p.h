#pragma once
// The control's own state, behind its interface.
#include "GridModel.h"

#include <QPointer>
#include <QString>
#include <array>
#include <vector>

class FlexGrid;
class TxtFocus;
class QWidget;

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
    bool mEditorOpen = false;
    bool mForwardingKey = false;
    bool mFocusHandoverPending = false;
    bool mClosingEditor = false; // the editor's loss of focus is our own doing
    // Disabling the grid moves the focus away; enabling gives it back.
    bool mRefocusOnEnable = false;
    QPointer<QWidget> mFocusWhileDisabled;

    std::vector<QString> strInputDatas;          // index 0 unused; 1..n
    std::vector<std::array<int, 3>> iInputIndex; // columns 0..m
};
