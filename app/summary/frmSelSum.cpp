#include "frmSelSum.h"
#include "Guarded.h"
#include "frmSum.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

frmSelSum::frmSelSum(QWidget* parent) : SumPicker(parent, QStringLiteral("集計選択 ")) {
    setObjectName(QStringLiteral("frmSelSum"));
    lblTypes = new QLabel(QStringLiteral("集計する項目の選択"), this);
    lblTypes->setObjectName(QStringLiteral("lblTypes"));
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(lblTypes);
    lay->addWidget(lstType);
    resize(260, 300);
    connect(lstType, &QListWidget::itemSelectionChanged, this,
            [this] { guarded(this, [this] { lstType_Click(); }); });
    // A click on the column already chosen here changes no selection, yet the
    // summary window may have taken another column since (from a preset).
    connect(lstType, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        guarded(this, [&] {
            const int col = item->data(Qt::UserRole).toInt();
            if (mParent && item->isSelected() && mParent->sumColumn() != col)
                mParent->PutSumCol(col);
        });
    });
}

bool frmSelSum::offers(const ColumnDef& c) const {
    // the type the user sees: a foreign key shows its foreign column
    return isNumberType(IsForeignColumn(c) ? c.GaibuTableColeDataType : c.eDataType);
}

void frmSelSum::lstType_Click() {
    for (int i = 0; i < lstType->count(); ++i) {
        QListWidgetItem* item = lstType->item(i);
        if (!item->isSelected()) continue;
        if (mParent) mParent->PutSumCol(item->data(Qt::UserRole).toInt());
        return;
    }
}
