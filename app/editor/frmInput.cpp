#include "frmInput.h"
#include "Dialogs.h"
#include "FormsRegistry.h"
#include "frmSelect.h"
#include "modMorvi.h"

#include <QCloseEvent>

frmInput::frmInput(QWidget* parent) : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tamroc編集画面"));
    Forms::add(this);
}

frmInput::~frmInput() = default;

bool frmInput::Form_Load() {
    setWindowTitle(QStringLiteral("Tamroc編集画面") + QStringLiteral("（") +
                   GetTableJPName(modMorvi::objPublic->TableSection(mTblNum)) + QStringLiteral("）"));
    if (LoadColumnDefs(mTblNum, mCols, mForeign) != 0) return false;
    resize(900, 600);
    show();
    return true;
}

void frmInput::Form_QueryUnload(int& cancel, int) {
    cancel = 0;
    if (auto* menu = frmSelect::instance()) menu->setEndFlag(true);
}

void frmInput::FrmMeUnload(int& cancel, int iMode) { Form_QueryUnload(cancel, iMode); }

void frmInput::closeEvent(QCloseEvent* event) {
    if (mUnloadApproved) {
        event->accept();
        return;
    }
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel) event->ignore();
    else event->accept();
}
