#pragma once
#include "SumPicker.h"

class QLabel;

// Chooses the column to total: the numeric columns, judged by the type the
// user sees in them. A choice is reported at once.
class frmSelSum : public SumPicker {
    Q_OBJECT
public:
    explicit frmSelSum(QWidget* parent = nullptr);
    void lstType_Click();

protected:
    bool offers(const ColumnDef& column) const override;

private:
    QLabel* lblTypes;
};
