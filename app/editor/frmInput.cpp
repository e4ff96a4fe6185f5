// The editor window, its menus and toolbar, and loading a table into the grid.
#include "frmInput.h"
#include "CellValues.h"
#include "Dialogs.h"
#include "ExportFile.h"
#include "FormsRegistry.h"
#include "Profile.h"
#include "ScreenFit.h"
#include "TamrocError.h"
#include "TextNormalise.h"
#include "UiFont.h"
#include "WaitCursor.h"
#include "clsRellmark.h"
#include "modMorvi.h"
#include "modpub.h"
#include "usrFlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QStatusBar>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>

using namespace modMorvi;

namespace {
const QString DesignCaption = QStringLiteral("Tamroc編集画面");
const QString CountMarker = QStringLiteral("\u3000\u3000現在の件数：");

// A curved arrow turning back to the left (undo) or, mirrored, forward.
QIcon turnArrowIcon(bool forward) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        if (forward) {
            p.translate(size, 0);
            p.scale(-1, 1);
        }
        p.scale(size / 24.0, size / 24.0);
        QPainterPath arc;
        arc.moveTo(7, 9);
        arc.lineTo(14, 9);
        arc.cubicTo(22, 9, 22, 20, 14, 20);
        arc.lineTo(9, 20);
        p.setPen(QPen(QColor(0x1f, 0x5f, 0xa8), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(arc);
        QPainterPath head;
        head.moveTo(2, 9);
        head.lineTo(9, 3.5);
        head.lineTo(9, 14.5);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x5f, 0xa8));
        p.drawPath(head);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

frmInput::frmInput(QWidget* parent) : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(DesignCaption);
    setFont(uiFont());
    auto* central = new QWidget(this);
    auto* lay = new QVBoxLayout(central);
    lay->setContentsMargins(7, 2, 7, 2);
    mGrid = new usrFlg(central);
    lay->addWidget(mGrid);
    setCentralWidget(central);
    mStatusPanel = new QLabel(this);
    statusBar()->addWidget(mStatusPanel, 1);
    buildMenus();
    setupEntry();
    mSession = makeSession();
    connect(mGrid, &usrFlg::cellsEdited, this, [this] {
        if (mLoading) return;
        mModified = true;
        ShowRowCount(); // rows may have come or gone
    });
    resize(1000, 640);
    fitOnShow(this); // a smaller screen gets a smaller window, its grid scrolling
    Forms::add(this);
}

frmInput::~frmInput() {
    // the grid's undo steps go with the grid, after this window's members
    if (mGrid) disconnect(mGrid->undoStack(), nullptr, this, nullptr);
}

QAction* frmInput::action(const QString& name) const {
    return findChild<QAction*>(name);
}

QString frmInput::statusText() const {
    return mStatusPanel->text();
}

void frmInput::buildMenus() {
    auto add = [this](QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& key, void (frmInput::*slot)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WindowShortcut);
        }
        // While the table is still being read, only looking is possible.
        const bool whileLoading =
            qstrcmp(name, "mnuFileClose") == 0 || qstrcmp(name, "mnuEditCopy") == 0;
        if (slot)
            connect(a, &QAction::triggered, this, [this, slot, whileLoading] {
                command([&] {
                    if (!whileLoading && refusedWhileLoading()) return;
                    (this->*slot)();
                });
            });
        return a;
    };
    // The captions' access keys: "（&F)" shows as "（F)" with F underlined.
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("ファイル（&F)"));
    mnuFile->menuAction()->setObjectName(QStringLiteral("mnuFile"));
    add(mnuFile, "mnuFileSave", QStringLiteral("保存（&S)"), QKeySequence(Qt::CTRL | Qt::Key_S),
        &frmInput::mnuFileSave_Click);
    add(mnuFile, "mnuFileReRead", QStringLiteral("再読み出し"), {}, &frmInput::mnuFileReRead_Click);
    add(mnuFile, "mnuFileFkeyRead", QStringLiteral("外部キー再読み出し"), {},
        &frmInput::mnuFileFkeyRead_Click);
    add(mnuFile, "mnuFileCsv", CsvExportCaption, {}, &frmInput::mnuFileCsv_Click);
    add(mnuFile, "mnuFileImport", QStringLiteral("CSVから取り込み…"), {},
        &frmInput::mnuFileImport_Click);
    add(mnuFile, "mnuFileClose", QStringLiteral("閉じる（&C)"), {}, &frmInput::mnuFileClose_Click);

    QMenu* menuEdit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    menuEdit->menuAction()->setObjectName(QStringLiteral("menuEdit"));
    add(menuEdit, "mnuEditUndo", QStringLiteral("元に戻す(&U)"), QKeySequence(Qt::CTRL | Qt::Key_Z),
        &frmInput::mnuEditUndo_Click);
    QAction* redo = add(menuEdit, "mnuEditRedo", QStringLiteral("やり直し(&R)"), {},
                        &frmInput::mnuEditRedo_Click);
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    redo->setShortcutContext(Qt::WindowShortcut);
    menuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditDum0"));
    add(menuEdit, "menuEditSyosai", QStringLiteral("詳細の表示(&H)"),
        QKeySequence(Qt::CTRL | Qt::Key_H), &frmInput::menuEditSyosai_Click);
    menuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditDum"));
    // The grid and its editor handle these keys themselves while they have
    // the focus; the shortcuts are shown and reach the grid from elsewhere.
    add(menuEdit, "mnuEditCopy", QStringLiteral("コピー(&C)"), QKeySequence(Qt::CTRL | Qt::Key_C),
        &frmInput::mnuEditCopy_Click);
    add(menuEdit, "mnuEditPaste", QStringLiteral("貼り付け（&P)"),
        QKeySequence(Qt::CTRL | Qt::Key_V), &frmInput::mnuEditPaste_Click);
    add(menuEdit, "mnuEditCut", QStringLiteral("切り取り(&T)"), QKeySequence(Qt::CTRL | Qt::Key_X),
        &frmInput::mnuEditCut_Click);
    add(menuEdit, "mnuEditClear", QStringLiteral("クリア(&N)"), {}, &frmInput::mnuEditClear_Click);
    menuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditDum2"));
    add(menuEdit, "mnuEditSearch", QStringLiteral("検索(&F)"), QKeySequence(Qt::CTRL | Qt::Key_F),
        &frmInput::mnuEditSearch_Click);
    add(menuEdit, "mnuEditSearchDown", QStringLiteral("下へ検索(F3)"), QKeySequence(Qt::Key_F3),
        &frmInput::mnuEditSearchDown_Click);
    add(menuEdit, "mnuEditSearchUp", QStringLiteral("上へ検索(Shift+F3)"),
        QKeySequence(Qt::SHIFT | Qt::Key_F3), &frmInput::mnuEditSearchUp_Click);
    menuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditDum3"));
    add(menuEdit, "mnuEditAddNum", QStringLiteral("指定行を挿入"), {},
        &frmInput::mnuEditAddNum_Click);
    add(menuEdit, "mnuEditSort", QStringLiteral("ソート"), {}, &frmInput::mnuEditSort_Click);
}

void frmInput::setupEntry() {
    mGrid->setInputFilter([this](const QString& text) {
        TextNormalise::Result r = TextNormalise::normalise(text);
        if (r.replacedSurrogate) mSurrogateReplaced = true;
        return r.text;
    });
    connect(mGrid, &usrFlg::inputFiltered, this, [this](int row, int col, int) {
        if (!mSurrogateReplaced) return;
        mSurrogateReplaced = false;
        mStatusPanel->setText(
            QStringLiteral("%1 行目「%2」：保存できない文字（サロゲートの片割れ）を"
                           "置換文字「\uFFFD」にしました。")
                .arg(row)
                .arg(mGrid->Field(0, col)));
    });
    mGrid->setCellNote([this](int r, int c) { return newTextNote(r, c); });
    mGrid->setAppendRows(true);
    mGrid->setPasteAddsRows(true);
    mGrid->setUndoEnabled(true);
    mGrid->setUndoLimits(1000, 64LL * 1024 * 1024);
    connect(mGrid, &usrFlg::rowCountChanged, this, [this] {
        if (!mLoading) ShowRowCount();
    });
    QUndoStack* stack = mGrid->undoStack();
    // Taking back every step since the load or the save leaves nothing to save.
    connect(stack, &QUndoStack::indexChanged, this, [this, stack] {
        mModified = !stack->isClean();
        updateUndoActions();
    });
    connect(stack, &QUndoStack::canUndoChanged, this, &frmInput::updateUndoActions);
    connect(stack, &QUndoStack::canRedoChanged, this, &frmInput::updateUndoActions);
    updateUndoActions();
}

QString frmInput::newTextNote(int row, int col) const {
    const auto it = mKnownTexts.constFind(col);
    if (it == mKnownTexts.constEnd() || row < mGrid->FixedRows() || row >= mGrid->MaxRow())
        return {};
    const QString& t = mGrid->model().text(row, col);
    if (t.isEmpty() || t == NoMatch || it->texts.contains(CellValues::matchedText(t, it->type))) return {};
    return it->note;
}

void frmInput::updateUndoActions() {
    const QUndoStack* stack = mGrid->undoStack();
    for (const char* name : {"mnuEditUndo", "tbUndo"})
        if (QAction* a = action(QLatin1String(name))) a->setEnabled(stack->canUndo());
    for (const char* name : {"mnuEditRedo", "tbRedo"})
        if (QAction* a = action(QLatin1String(name))) a->setEnabled(stack->canRedo());
}

void frmInput::mnuEditUndo_Click() {
    mGrid->undo();
}
void frmInput::mnuEditRedo_Click() {
    mGrid->redo();
}

void frmInput::sortAll(int col, int mode) {
    // Sorting for loading, checking and saving always takes every row, never
    // just the rows the user happens to have selected.
    if (mGrid->MaxRow() > mGrid->FixedRows())
        mGrid->setRow(std::max(mGrid->row(), mGrid->FixedRows()));
    mGrid->SortOn(col, mode);
}

bool frmInput::Form_Load() {
    bool ok = false;
    command([&] {
        const QString section = objPublic->TableSection(mTblNum);
        setWindowTitle(DesignCaption + QStringLiteral("（") + GetTableJPName(section) +
                       QStringLiteral("）"));
        mSearchText.clear();
        action("mnuEditSearchDown")->setEnabled(false);
        action("mnuEditSearchUp")->setEnabled(false);
        ColumnDefs cols, foreign;
        if (LoadColumnDefs(mTblNum, cols, foreign) != 0) return;
        mSession = makeSession();
        mSession->setTable(section, cols, foreign);
        if (numberCount() < 1) {
            msgBox(this, QStringLiteral("テーブル「%1」には列の定義がないため編集できません。")
                             .arg(section));
            return;
        }
        if (mSession->firstKeyColumn() == 0) {
            msgBox(this,
                   QStringLiteral("テーブル「%1」にはキー列（MainKey）がないため編集できません。")
                       .arg(section));
            return;
        }
        // A name the database does not know is told with its INI key, not
        // as the database's complaint about a statement.
        if (const QString wrong = CheckColumnsInDatabase(section, cols, foreign);
            !wrong.isEmpty()) {
            msgBox(this, wrong);
            return;
        }
        WaitCursor wait;
        SetupGrid();
        LoadRows();
        if (!mSession->isLoaded() && !mSession->isLoading()) return;
        SetupToolbar();
        LayoutControls(1);
        ok = true;
    });
    if (!ok) return false;
    // Row commands from the menu work on this grid from the start.
    clsInD& target = modpub::editTarget();
    if (target.ctlType == 0) {
        target.ctlType = 2;
        target.MsFLG = mGrid;
    }
    show();
    LayoutControls(1);
    mGrid->setFocus();
    return true;
}

void frmInput::SetupGrid() {
    const ColumnDefs& cols = mSession->columns();
    const ColumnDefs& foreign = mSession->foreignColumns();
    const int n = numberCount(), k = foreignCount();
    mGrid->setMaxCol(n);
    mGrid->setMaxCol(n + k + 1);
    mGrid->setMaxRow(1);
    mGrid->setFixedCols(0);
    mGrid->setFixedRows(1);
    const bool widths = !mWidthsSet;
    mWidthsSet = true;
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = cols[i];
        if (widths)
            mGrid->setColWidth(c.ipointx, IsForeignColumn(c) || !c.Visible ? 0 : c.CellHeight);
        mGrid->setField(0, c.ipointx, c.JPName);
        mGrid->setColAlignment(c.ipointx,
                               isNumberType(c.eDataType) ? Qt::AlignRight : Qt::AlignLeft);
    }
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = cols[foreign[j].LinkIndex];
        if (widths) mGrid->setColWidth(foreign[j].ipointx, linked.CellHeight);
        mGrid->setField(0, foreign[j].ipointx, linked.JPName);
        mGrid->setColAlignment(foreign[j].ipointx, isNumberType(foreign[j].GaibuTableColeDataType)
                                                       ? Qt::AlignRight
                                                       : Qt::AlignLeft);
    }
    mGrid->setColWidth(n + k, 0);
    mGrid->setField(0, n + k, QStringLiteral("修正フラグ"));
}

std::unique_ptr<EditSession> frmInput::makeSession() {
    return std::make_unique<EditSession>(mGrid->model(), objDB,
                                         [this](int maxRow) { mGrid->setMaxRow(maxRow); });
}

void frmInput::SetupToolbar() {
    if (Toolbar1) return;
    Toolbar1 = addToolBar(QStringLiteral("Toolbar1"));
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    Toolbar1->setMovable(false);
    Toolbar1->setIconSize(QSize(24, 24));
    QAction* save = Toolbar1->addAction(QIcon(strIconPath + QStringLiteral("SAVE.BMP")),
                                        QStringLiteral("保存する"));
    save->setObjectName(QStringLiteral("save"));
    save->setToolTip(QStringLiteral("保存する"));
    connect(save, &QAction::triggered, this, [this] {
        command([this] {
            if (!refusedWhileLoading()) mnuFileSave_Click();
        });
    });
    QAction* reload = Toolbar1->addAction(QIcon(strIconPath + QStringLiteral("BOOK04.ICO")),
                                          QStringLiteral("再読み出し"));
    reload->setObjectName(QStringLiteral("reload"));
    reload->setToolTip(QStringLiteral("再読み出し"));
    connect(reload, &QAction::triggered, this, [this] {
        command([this] {
            if (!refusedWhileLoading()) mnuFileReRead_Click();
        });
    });
    Toolbar1->addSeparator();
    QAction* undo = Toolbar1->addAction(turnArrowIcon(false), QStringLiteral("元に戻す"));
    undo->setObjectName(QStringLiteral("tbUndo"));
    undo->setToolTip(QStringLiteral("元に戻す (Ctrl+Z)"));
    connect(undo, &QAction::triggered, this, [this] { command([this] { mnuEditUndo_Click(); }); });
    QAction* redo = Toolbar1->addAction(turnArrowIcon(true), QStringLiteral("やり直し"));
    redo->setObjectName(QStringLiteral("tbRedo"));
    redo->setToolTip(QStringLiteral("やり直し (Ctrl+Y)"));
    connect(redo, &QAction::triggered, this, [this] { command([this] { mnuEditRedo_Click(); }); });
    updateUndoActions();
}

void frmInput::LayoutControls(int) {
    // The window's layout places the toolbar, the grid and the status bar;
    // what is left to do on every layout is the count in the caption.
    ShowRowCount();
}

void frmInput::ShowRowCount() {
    QString caption = windowTitle();
    const int at = caption.indexOf(CountMarker);
    if (at >= 0) caption.truncate(at);
    setWindowTitle(caption + CountMarker + QString::number(mGrid->MaxRow() - 1));
}

void frmInput::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (mGrid) LayoutControls(0);
}
