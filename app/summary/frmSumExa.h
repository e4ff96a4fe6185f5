#pragma once
#include <QWidget>

class SumPresetsOwner;

// The presets window of one summary window: the named, saved ways of
// totalling the table. The owner creates it (as its child), calls
// SetTblNumFrm before every showing, and ends it with Unload; the user's
// close only hides it.
class frmSumExa : public QWidget {
    Q_OBJECT
public:
    explicit frmSumExa(QWidget* parent = nullptr);
    ~frmSumExa() override;

    void SetTblNumFrm(int intTblNum, int intSameTblNum, SumPresetsOwner* frmSumArg);
    // Closes the window for good.
    void Unload();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    int mTblNum = 0;
    int mSameTblNum = 1;
    SumPresetsOwner* mParent = nullptr;
    bool mUnloading = false;
};
