#include "frmSelType.h"
#include "Guarded.h"
#include "frmSum.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

frmSelType::frmSelType(QWidget* parent)
    : SumPicker(parent, QStringLiteral("分類する項目の選択：")) {
    setObjectName(QStringLiteral("frmSelType"));
    lblTypSel = new QLabel(QStringLiteral("分類して集計する項目の選択"), this);
    lblTypSel->setObjectName(QStringLiteral("lblTypSel"));
    cmdAdd = new QPushButton(QStringLiteral("追加"), this);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdClear = new QPushButton(QStringLiteral("全クリア"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdAdd->setAutoDefault(true); // Return presses the button that has the focus
    cmdClear->setAutoDefault(true);
    // Return on an entry of the list adds it, as 追加 does
    lstType->installEventFilter(this);
    auto* lay = new QGridLayout(this);
    lay->addWidget(lblTypSel, 0, 0, 1, 2);
    lay->addWidget(lstType, 1, 0, 3, 1);
    lay->addWidget(cmdAdd, 1, 1);
    lay->addWidget(cmdClear, 2, 1);
    lay->setRowStretch(3, 1);
    resize(320, 300);
    connect(cmdAdd, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdAdd_Click(); }); });
    connect(cmdClear, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdClear_Click(); }); });
}

bool frmSelType::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lstType && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded(this, [this] { cmdAdd_Click(); });
            return true;
        }
    }
    return SumPicker::eventFilter(watched, e);
}

void frmSelType::cmdAdd_Click() {
    QListWidgetItem* item = lstType->currentItem();
    if (!item || !item->isSelected()) return;
    if (mParent) mParent->TypesAdd(item->text(), item->data(Qt::UserRole).toInt());
}

void frmSelType::cmdClear_Click() {
    if (mParent) mParent->TypesClear();
}
