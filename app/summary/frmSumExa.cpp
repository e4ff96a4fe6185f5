#include "frmSumExa.h"
#include "UiFont.h"

#include <QCloseEvent>

frmSumExa::frmSumExa(QWidget* parent) : QWidget(parent, Qt::Window) {
    setFont(uiFont());
    setWindowTitle(QStringLiteral("定番の集計方法をセット"));
}

frmSumExa::~frmSumExa() = default;

void frmSumExa::SetTblNumFrm(int intTblNum, int intSameTblNum, SumPresetsOwner* frmSumArg) {
    mTblNum = intTblNum;
    mSameTblNum = intSameTblNum;
    mParent = frmSumArg;
}

void frmSumExa::Unload() {
    mUnloading = true;
    close();
}

void frmSumExa::closeEvent(QCloseEvent* e) {
    if (mUnloading) {
        e->accept();
        return;
    }
    e->ignore();
    hide();
}
