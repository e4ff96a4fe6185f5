#include "SumPicker.h"
#include "FullWidth.h"
#include "Guarded.h"
#include "ScreenFit.h"
#include "UiFont.h"
#include "modMorvi.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QListWidget>

SumPicker::SumPicker(QWidget* parent, const QString& captionHead)
    : QWidget(parent, Qt::Window), mCaptionHead(captionHead) {
    setFont(uiFont());
    lstType = new QListWidget(this);
    lstType->setObjectName(QStringLiteral("lstType"));
    fitOnShow(this);
}

void SumPicker::SetTblNum(int intTblNum, int intSameTblNum) {
    mTblNum = intTblNum;
    mSameTblNum = intSameTblNum;
}

void SumPicker::SetParentFrm(frmSum* frmSumArg) {
    mParent = frmSumArg;
}

void SumPicker::Form_Load() {
    // Not in the collection of loaded windows: it belongs to its summary
    // window, which unloads it with itself.
    mLoaded = true;
    const QString section = modMorvi::objPublic->TableSection(static_cast<qint16>(mTblNum));
    QString caption = mCaptionHead + GetTableJPName(section);
    if (mSameTblNum != 1) caption += toFullWidthDigits(mSameTblNum);
    setWindowTitle(caption);
    lstType->clear();
    // a catalog that cannot be read has said so; the list stays empty
    if (LoadColumnDefs(static_cast<qint16>(mTblNum), mColumns, mForeignColumns) != 0) return;
    for (int i = 1; i < mColumns.size(); ++i) {
        if (!offers(mColumns[i])) continue;
        auto* item = new QListWidgetItem(mColumns[i].JPName, lstType);
        item->setData(Qt::UserRole, i);
    }
}

void SumPicker::showEvent(QShowEvent* e) {
    if (!mLoaded) guarded(this, [this] { Form_Load(); });
    QWidget::showEvent(e);
}

void SumPicker::closeEvent(QCloseEvent* e) {
    if (mUnloading) {
        QWidget::closeEvent(e);
        return;
    }
    // it belongs to its summary window: the user's close only hides it
    e->ignore();
    hide();
}

void SumPicker::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        close(); // hides it, as the user's close does
        return;
    }
    QWidget::keyPressEvent(e);
}

void SumPicker::Unload() {
    mUnloading = true;
    close();
}
