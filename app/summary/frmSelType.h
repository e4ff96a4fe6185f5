#pragma once
#include "SumPicker.h"

class QLabel;
class QPushButton;

// Adds classification columns to the summary window, or clears them.
class frmSelType : public SumPicker {
    Q_OBJECT
public:
    explicit frmSelType(QWidget* parent = nullptr);
    void cmdAdd_Click();
    void cmdClear_Click();

protected:
    bool offers(const ColumnDef&) const override { return true; }
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QLabel* lblTypSel;
    QPushButton* cmdAdd;
    QPushButton* cmdClear;
};
