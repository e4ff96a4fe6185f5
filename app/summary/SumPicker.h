#pragma once
#include "Catalog.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class frmSum;

// What the two pickers of a summary window share: the table, the owning
// window, loading at the first showing, and a close by the user that only
// hides (the owner ends them with Unload).
class SumPicker : public QWidget {
    Q_OBJECT
public:
    void SetTblNum(int intTblNum, int intSameTblNum);
    void SetParentFrm(frmSum* frmSumArg);
    // Closes the window for good.
    void Unload();

    bool isLoaded() const { return mLoaded; }
    QListWidget* list() const { return lstType; }
    void Form_Load();

protected:
    SumPicker(QWidget* parent, const QString& captionHead);
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    // Which columns the list offers.
    virtual bool offers(const ColumnDef& column) const = 0;

    int mTblNum = 0;
    int mSameTblNum = 1;
    frmSum* mParent = nullptr;
    ColumnDefs mColumns;
    ColumnDefs mForeignColumns;
    QListWidget* lstType;

private:
    QString mCaptionHead;
    bool mLoaded = false;
    bool mUnloading = false;
};
