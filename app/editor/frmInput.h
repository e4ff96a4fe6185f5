#pragma once
#include "Catalog.h"

#include <QMainWindow>

// The table editor (filled in by its own work; this is the window frame).
class frmInput : public QMainWindow {
    Q_OBJECT
public:
    explicit frmInput(QWidget* parent = nullptr);
    ~frmInput() override;

    qint16 mTblNum = 0;
    // Loads and shows the window; false when the table cannot be edited.
    bool Form_Load();
    // The close question; sets cancel to 1 when the user keeps the window.
    void FrmMeUnload(int& cancel, int iMode);
    // The main menu has already asked; closing must not ask again.
    void setUnloadApproved() { mUnloadApproved = true; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_QueryUnload(int& cancel, int unloadMode);
    bool mUnloadApproved = false;
    bool mModified = false;
    ColumnDefs mCols;
    ColumnDefs mForeign;
};
