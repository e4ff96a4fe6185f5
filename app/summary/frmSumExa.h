#pragma once
#include <QWidget>
#include <memory>

class PresetStore;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class SumPresetsOwner;

// The presets window of one summary window: the named, saved ways of
// totalling the table. The owner creates it (as its child), calls
// SetTblNumFrm before every showing, and ends it with Unload; the user's
// close only hides it. The presets are read when it is first shown; the
// presets windows of one table share them, so a change made in one shows in
// all.
class frmSumExa : public QWidget {
    Q_OBJECT
public:
    explicit frmSumExa(QWidget* parent = nullptr);
    ~frmSumExa() override;

    void SetTblNumFrm(int intTblNum, int intSameTblNum, SumPresetsOwner* frmSumArg);
    // Closes the window for good.
    void Unload();

    void Form_Load();
    bool isLoaded() const { return mLoaded; }

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void cmdSet_Click();
    void cmdSave_Click();
    void cmdDel_Click();
    void StartRename();
    // Ends a renaming; false when the new name was refused and the box stays.
    bool EndRename(bool store);
    void txtRngCng_LostFocus();
    void FillPresetList();
    void InitRename();
    int twips(int t) const;

    QListWidget* lstRng;
    QPushButton* cmdSet;
    QPushButton* cmdSave;
    QPushButton* cmdDel;
    QLabel* lblExplain;
    QLineEdit* txtRngCng;

    int mTblNum = 0;
    int mSameTblNum = 1;
    SumPresetsOwner* mParent = nullptr;
    std::shared_ptr<PresetStore> mStore;
    int mColumnCount = 0;
    quint64 mRenameId = 0;  // the preset whose title is being edited
    bool mRenaming = false; // a renaming is being ended
    bool mBusy = false;     // a save, delete or rename is being carried out
    bool mLoaded = false;
    bool mUnloading = false;
};
