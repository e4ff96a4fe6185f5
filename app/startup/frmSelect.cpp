#include "frmSelect.h"
#include "Catalog.h"
#include "DailyBackup.h"
#include "Dialogs.h"
#include "FormsRegistry.h"
#include "Guarded.h"
#include "Profile.h"
#include "ProgramEvents.h"
#include "ScreenFit.h"
#include "UiFont.h"
#include "frmInput.h"
#include "frmRestore.h"
#include "frmSum.h"
#include "modMorvi.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSet>

using namespace modMorvi;

namespace {
frmSelect* theMenu = nullptr;

} // namespace

frmSelect::frmSelect(QWidget* parent) : QWidget(parent, Qt::Window) {
    theMenu = this;
    connect(&ProgramEvents::instance(), &ProgramEvents::editorCloseAnswered, this,
            &frmSelect::setEndFlag);
    DailyBackup::follow(this);
    setWindowTitle(QStringLiteral("編集するテーブルの選択"));
    setFont(uiFont(10));
    auto* lay = new QGridLayout(this);
    lblselect = new QLabel(QStringLiteral("編集するデータの種類を選択して下さい："), this);
    cmbTbl = new QComboBox(this);
    cmbTbl->setMinimumWidth(260);
    cmdShow = new QPushButton(QStringLiteral("編集"), this);
    cmdSum = new QPushButton(QStringLiteral("集計"), this);
    cmdEnd = new QPushButton(QStringLiteral("全て終了"), this);
    cmdRestore = new QPushButton(QStringLiteral("バックアップから戻す…"), this);
    cmdRestore->setFont(uiFont(10));
    for (QWidget* w : {static_cast<QWidget*>(lblselect), static_cast<QWidget*>(cmbTbl),
                       static_cast<QWidget*>(cmdShow), static_cast<QWidget*>(cmdSum),
                       static_cast<QWidget*>(cmdEnd)})
        w->setFont(uiFont(10));
    lay->addWidget(lblselect, 0, 0, 1, 3);
    lay->addWidget(cmbTbl, 1, 0, 1, 3);
    lay->addWidget(cmdShow, 2, 0);
    lay->addWidget(cmdSum, 2, 1);
    lay->addWidget(cmdEnd, 2, 2);
    lay->addWidget(cmdRestore, 3, 0, 1, 3);
    connect(cmdShow, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdShow_Click(); }); });
    connect(cmdSum, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdSum_Click(); }); });
    connect(cmdEnd, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdEnd_Click(); }); });
    connect(cmdRestore, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { cmdRestore_Click(); }); });
    // Return presses the button that has the focus, as Space does
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(true);
    Forms::add(this);
    fitOnShow(this);
    guarded(this, [this] { Form_Load(); });
}

frmSelect::~frmSelect() {
    if (theMenu == this) theMenu = nullptr;
}

frmSelect* frmSelect::instance() {
    return theMenu;
}

void frmSelect::Form_Load() {
    cmbTbl->clear();
    cmbTbl->addItem(QString());
    for (qint16 i = 1; objPublic && i <= objPublic->TableNumber(); ++i) {
        const QString name =
            Profile::GetString(objPublic->TableSection(i), QStringLiteral("TableJPName"),
                               QStringLiteral("0"), 100, strIniPath);
        cmbTbl->addItem(cutAtNul(name));
    }
    // The first table is chosen, so 編集 and 集計 work at once.
    if (cmbTbl->count() > 1) cmbTbl->setCurrentIndex(1);
}

bool frmSelect::tableChosen() {
    if (cmbTbl->currentIndex() > 0) return true;
    msgBox(this, QStringLiteral("テーブルを選んでください。"));
    return false;
}

void frmSelect::cmdShow_Click() {
    if (!tableChosen()) return;
    const int n = cmbTbl->currentIndex();
    if (QWidget* open = Forms::findByTag(QString::number(n))) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* editor = new frmInput;
    editor->mTblNum = static_cast<qint16>(n);
    Forms::setTag(editor, QString::number(n));
    if (!editor->Form_Load()) editor->deleteLater();
}

void frmSelect::cmdSum_Click() {
    if (!tableChosen()) return;
    const int n = cmbTbl->currentIndex();
    const QString p = QStringLiteral("SUM:") + QString::number(n);
    QStringList tags;
    for (QWidget* w : Forms::all())
        tags << Forms::tag(w);
    const int s = FreeSummaryNumber(tags, n);
    auto* sum = new frmSum;
    sum->mTableNum = static_cast<qint16>(n);
    sum->mSameTblNum = static_cast<qint16>(s);
    Forms::setTag(sum, p + QStringLiteral("  ") + QString::number(s));
    sum->Form_Load();
}

int frmSelect::FreeSummaryNumber(const QStringList& tags, int table) {
    const QString p = QStringLiteral("SUM:") + QString::number(table);
    // The two spaces belong to the prefix: "SUM:1" must not match "SUM:12  1".
    const QString head = p + QStringLiteral("  ");
    // The smallest number that no open summary of the table carries, in
    // whatever order the windows were opened: stopping at the first gap of
    // the collection's order would hand out a number twice.
    QSet<int> taken;
    for (const QString& tag : tags) {
        if (!tag.startsWith(head)) continue;
        bool ok = false;
        const int k = tag.mid(p.size() + 1).trimmed().toInt(&ok);
        if (ok) taken.insert(k);
    }
    int s = 1;
    while (taken.contains(s))
        ++s;
    return s;
}

void frmSelect::cmdEnd_Click() {
    close();
}

void frmSelect::cmdRestore_Click() {
    showRestoreWindow(this, {[this] { return UnloadAllForms(); }, [this] { Form_Load(); }});
}

bool frmSelect::UnloadAllForms() {
    // A window that ends takes its own windows with it (a summary its
    // pickers and editors): whatever the list holds after it may be gone by
    // the time the walk reaches it.
    QList<QPointer<QWidget>> forms;
    for (QWidget* w : Forms::all())
        forms << w;
    for (const QPointer<QWidget>& w : forms) {
        if (auto* editor = qobject_cast<frmInput*>(w.data())) {
            int cancel = 0;
            editor->FrmMeUnload(cancel, 0);
            if (cancel) {
                // The user keeps this editor: the program goes on, and every
                // editor that already said yes or no asks again when it is
                // closed later (its edits may go on).
                for (const QPointer<QWidget>& other : forms)
                    if (auto* e = qobject_cast<frmInput*>(other.data())) e->clearUnloadApproved();
                return false;
            }
        }
    }
    for (const QPointer<QWidget>& w : forms) {
        if (!w || w == this) continue;
        if (auto* editor = qobject_cast<frmInput*>(w.data())) editor->setUnloadApproved();
        w->close();
        if (w) delete w.data();
    }
    return true;
}

void frmSelect::closeEvent(QCloseEvent* event) {
    bool ended = false;
    guarded(this, [&] { ended = UnloadAllForms(); });
    if (!ended) {
        event->ignore();
        return;
    }
    event->accept();
    EndProgram();
}
