#include "frmSum.h"
#include "Catalog.h"
#include "FormsRegistry.h"
#include "FullWidth.h"
#include "UiFont.h"
#include "modMorvi.h"

#include <QLabel>
#include <QVBoxLayout>

frmSum::frmSum(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(uiFont());
    auto* lay = new QVBoxLayout(this);
    mNote = new QLabel(QStringLiteral("集計の画面は準備中です。"), this);
    lay->addWidget(mNote);
    resize(640, 420);
    Forms::add(this);
}

void frmSum::Form_Load() {
    QString caption = QStringLiteral("集計選択") + QStringLiteral("( ") +
                      GetTableJPName(modMorvi::objPublic->TableSection(mTableNum)) +
                      QStringLiteral(" )");
    if (mSameTblNum > 1) caption += toFullWidthDigits(mSameTblNum);
    setWindowTitle(caption);
    show();
}
