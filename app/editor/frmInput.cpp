// The editor window, its menus and toolbar, and loading a table into the grid.
#include "frmInput.h"
#include "Dialogs.h"
#include "ExportFile.h"
#include "FormsRegistry.h"
#include "TamrocError.h"
#include "UiFont.h"
#include "WaitCursor.h"
#include "clsDBRecord.h"
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
#include <QSet>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

using namespace modMorvi;

namespace {
const QString DesignCaption = QStringLiteral("Tamroc編集画面");
const QString CountMarker = QStringLiteral("\u3000\u3000現在の件数：");

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
    connect(mGrid, &usrFlg::cellsEdited, this, [this] {
        if (mLoading) return;
        mModified = true;
        ShowRowCount(); // rows may have come or gone
    });
    resize(1000, 640);
    Forms::add(this);
}

frmInput::~frmInput() = default;

const QString& frmInput::cell(int row, int col) const {
    return mGrid->model().text(row, col);
}

// A key in a number column is joined by its value; anything else (a text
// stored in a number column) as it stands, so that it matches nothing
// instead of stopping the load.
void frmInput::ShownTexts::insert(const QString& key, const QString& text) {
    qint64 v;
    if (mNumeric && parsePlainInteger(key, v)) {
        if (!mNumbers.contains(v)) mNumbers.insert(v, text);
    } else if (!mTexts.contains(key)) {
        mTexts.insert(key, text);
    }
}

const QString* frmInput::ShownTexts::find(const QString& key) const {
    qint64 v;
    if (mNumeric && parsePlainInteger(key, v)) {
        const auto it = mNumbers.constFind(v);
        return it == mNumbers.constEnd() ? nullptr : &*it;
    }
    const auto it = mTexts.constFind(key);
    return it == mTexts.constEnd() ? nullptr : &*it;
}

bool frmInput::keepsLoadedKey(int j, int row) const {
    if (static_cast<size_t>(j) >= mShown.size()) return false;
    const QString& key = cell(row, mCols[mForeign[j].LinkIndex].ipointx);
    if (key.isEmpty()) return false;
    // a key the foreign table did not hold showed the placeholder
    const QString* text = mShown[j].find(key);
    return cell(row, mForeign[j].ipointx) == (text ? *text : NoMatch);
}

QString frmInput::keyLabel(const std::function<QString(int)>& textOf) const {
    QStringList parts;
    for (int i = 1; i <= numberCount(); ++i)
        if (mCols[i].MainKey)
            parts << mCols[i].JPName + QStringLiteral("「") + textOf(i) + QStringLiteral("」");
    return parts.join(QStringLiteral("・"));
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
        if (slot)
            connect(a, &QAction::triggered, this,
                    [this, slot] { command([&] { (this->*slot)(); }); });
        return a;
    };
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("ファイル（＆F)"));
    mnuFile->menuAction()->setObjectName(QStringLiteral("mnuFile"));
    add(mnuFile, "mnuFileSave", QStringLiteral("保存（＆S)"), QKeySequence(Qt::CTRL | Qt::Key_S),
        &frmInput::mnuFileSave_Click);
    add(mnuFile, "mnuFileReRead", QStringLiteral("再読み出し"), {}, &frmInput::mnuFileReRead_Click);
    add(mnuFile, "mnuFileFkeyRead", QStringLiteral("外部キー再読み出し"), {},
        &frmInput::mnuFileFkeyRead_Click);
    add(mnuFile, "mnuFileCsv", CsvExportCaption, {}, &frmInput::mnuFileCsv_Click);
    add(mnuFile, "mnuFileClose", QStringLiteral("閉じる（＆C)"), {}, &frmInput::mnuFileClose_Click);

    QMenu* menuEdit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    menuEdit->menuAction()->setObjectName(QStringLiteral("menuEdit"));
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
    add(menuEdit, "mnuEditClear", QStringLiteral("クリア(&C)"), {}, &frmInput::mnuEditClear_Click);
    menuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditDum2"));
    add(menuEdit, "mnuEditSearch", QStringLiteral("検索(&F)"), QKeySequence(Qt::CTRL | Qt::Key_F),
        &frmInput::mnuEditSearch_Click);
    add(menuEdit, "mnuEditSearchDown", QStringLiteral("下へ検索(&F3)"), QKeySequence(Qt::Key_F3),
        &frmInput::mnuEditSearchDown_Click);
    add(menuEdit, "mnuEditSearchUp", QStringLiteral("上へ検索(Shift+F3)"),
        QKeySequence(Qt::SHIFT | Qt::Key_F3), &frmInput::mnuEditSearchUp_Click);
    menuEdit->addSeparator()->setObjectName(QStringLiteral("mnuEditDum3"));
    add(menuEdit, "mnuEditAddNum", QStringLiteral("指定行を挿入"), {},
        &frmInput::mnuEditAddNum_Click);
    add(menuEdit, "mnuEditSort", QStringLiteral("ソート"), {}, &frmInput::mnuEditSort_Click);
}

int frmInput::firstKeyColumn() const {
    for (int i = 1; i <= numberCount(); ++i)
        if (mCols[i].MainKey) return i;
    return 0;
}

int frmInput::lastKeyColumn() const {
    for (int i = numberCount(); i >= 1; --i)
        if (mCols[i].MainKey) return i;
    return 0;
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
        if (LoadColumnDefs(mTblNum, mCols, mForeign) != 0) return;
        if (numberCount() < 1) {
            msgBox(this, QStringLiteral("テーブル「%1」には列の定義がないため編集できません。")
                             .arg(section));
            return;
        }
        if (firstKeyColumn() == 0) {
            msgBox(this,
                   QStringLiteral("テーブル「%1」にはキー列（MainKey）がないため編集できません。")
                       .arg(section));
            return;
        }
        // A name the database does not know is told with its INI key, not
        // as the database's complaint about a statement.
        if (const QString wrong = CheckColumnsInDatabase(section, mCols, mForeign);
            !wrong.isEmpty()) {
            msgBox(this, wrong);
            return;
        }
        WaitCursor wait;
        SetupGrid();
        LoadRows();
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
    const int n = numberCount(), k = foreignCount();
    mGrid->setMaxCol(n);
    mGrid->setMaxCol(n + k + 1);
    mGrid->setMaxRow(1);
    mGrid->setFixedCols(0);
    mGrid->setFixedRows(1);
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        mGrid->setColWidth(c.ipointx, IsForeignColumn(c) || !c.Visible ? 0 : c.CellHeight);
        mGrid->setField(0, c.ipointx, c.JPName);
        mGrid->setColAlignment(c.ipointx,
                               isNumberType(c.eDataType) ? Qt::AlignRight : Qt::AlignLeft);
    }
    for (int j = 1; j <= k; ++j) {
        const ColumnDef& linked = mCols[mForeign[j].LinkIndex];
        mGrid->setColWidth(mForeign[j].ipointx, linked.CellHeight);
        mGrid->setField(0, mForeign[j].ipointx, linked.JPName);
        mGrid->setColAlignment(mForeign[j].ipointx, isNumberType(mForeign[j].GaibuTableColeDataType)
                                                        ? Qt::AlignRight
                                                        : Qt::AlignLeft);
    }
    mGrid->setColWidth(n + k, 0);
    mGrid->setField(0, n + k, QStringLiteral("修正フラグ"));
}

QString frmInput::mainSource() const {
    QString source = objPublic->TableSection(mTblNum) + QStringLiteral(" Order By ");
    QStringList keys;
    for (int i = 1; i <= numberCount(); ++i)
        if (mCols[i].MainKey) keys << mCols[i].FieldName;
    return source + keys.join(QStringLiteral(" , "));
}

void frmInput::openMainRecordSet() {
    if (mRecordSet && mRecordSet->IsOpen()) mRecordSet->CloseRecordSet();
    mRecordSet = std::make_unique<clsDBRecord>();
    mRecordSet->setParentConnectClass(objDB);
    mRecordSet->GetRecordSet(mainSource());
    mRecordSetTouched = false;
}

void frmInput::LoadRows() {
    mLoading = true;
    struct Done {
        frmInput* w;
        ~Done() {
            w->mLoading = false;
            w->mGrid->setRedraw(true);
        }
    } done{this};
    mGrid->setRedraw(false);
    openMainRecordSet();
    clsDBRecord& rs = *mRecordSet;
    const int n = numberCount();
    mLoaded.clear();
    if (rs.RowCount() > 0) {
        mLoaded.reserve(static_cast<size_t>(rs.RowCount()) * n);
        rs.MoveFirst();
        for (int r = 1; !rs.Eof(); ++r) {
            mGrid->setMaxRow(r + 1);
            for (int i = 1; i <= n; ++i) {
                const QString text = FieldText(rs.Column(mCols[i].FieldName));
                mGrid->setField(r, mCols[i].ipointx, text);
                mLoaded.push_back(text);
            }
            rs.MoveNext();
        }
    }
    LoadForeignValues(1);
    const ColumnDef& last = mCols[lastKeyColumn()];
    sortAll(last.ipointx, isNumberType(last.eDataType) ? 3 : 7);
    mModified = false;
}

void frmInput::LoadForeignValues(int mode) {
    const int n = numberCount(), k = foreignCount();
    const QString mainTable = objPublic->TableSection(mTblNum);
    if (mode == 1) {
        mShown.assign(static_cast<size_t>(k + 1), ShownTexts());
        for (int j = 1; j <= k; ++j)
            mShown[j] = ShownTexts(isNumberType(mCols[mForeign[j].LinkIndex].eDataType));
    }
    mGrid->InputClear();
    mGrid->setInputColsNum(n + k + 1);

    QString sql =
        QStringLiteral("Select all Count(*) as Count , 0 as TableNumber From ") + mainTable;
    for (int j = 1; j <= k; ++j)
        if (mForeign[j].InputPlus)
            sql += QStringLiteral(" union all select all Count(*) as Count , ") +
                   QString::number(j) + QStringLiteral(" as TableNumber from ") +
                   mCols[mForeign[j].LinkIndex].GaibuTableName;
    clsDBRecord counts;
    counts.setParentConnectClass(objDB);
    counts.GetRecordSet_free(sql, true, QStringLiteral("aa"));
    auto countOf = [&](int table) -> int {
        if (counts.RowCount() > 0)
            for (counts.MoveFirst(); !counts.Eof(); counts.MoveNext())
                if (counts.Column(QStringLiteral("TableNumber")).toInt() == table)
                    return counts.Column(QStringLiteral("Count")).toInt();
        msgBox(this, QStringLiteral("メインテーブルの数が見つからない！！"));
        return 0;
    };
    // The main table's own count is checked for; an ordinary column with
    // input choices is sized by the values it really holds (below).
    countOf(0);

    // An ordinary column with input choices offers the values it holds.
    QVector<QStringList> ownValues(n + 1);
    qint64 total = 0;
    for (int i = 1; i <= n; ++i) {
        const ColumnDef& c = mCols[i];
        if (!c.InputPlus) {
            mGrid->setInputColMax(c.ipointx, 0);
            mGrid->setInputSW(c.ipointx, 0);
            continue;
        }
        QSet<QString> seen;
        for (int r = 1; r < mGrid->MaxRow(); ++r) {
            const QString t = mGrid->Field(r, c.ipointx);
            if (!t.isEmpty() && !seen.contains(t)) {
                seen.insert(t);
                ownValues[i] << t;
            }
        }
        mGrid->setInputColMax(c.ipointx, ownValues[i].size());
        mGrid->setInputSW(c.ipointx, 1);
        total += ownValues[i].size();
    }
    for (int j = 1; j <= k; ++j) {
        if (!mForeign[j].InputPlus) {
            mGrid->setInputColMax(mForeign[j].ipointx, 0);
            mGrid->setInputSW(mForeign[j].ipointx, 0);
            continue;
        }
        const int c = countOf(j);
        mGrid->setInputColMax(mForeign[j].ipointx, c);
        mGrid->setInputSW(mForeign[j].ipointx, 1);
        total += c;
    }
    counts.CloseRecordSet();
    mGrid->setInputMax(static_cast<int>(total + 1));
    mGrid->InputIndexMake();
    for (int i = 1; i <= n; ++i)
        for (int v = 0; v < ownValues[i].size(); ++v)
            mGrid->setInputCol(mCols[i].ipointx, v + 1, ownValues[i][v]);

    for (int j = 1; j <= k; ++j) {
        if (!mForeign[j].InputPlus) continue;
        const ColumnDef& c = mCols[mForeign[j].LinkIndex];
        const int shown = mForeign[j].ipointx;
        clsDBRecord f;
        f.setParentConnectClass(objDB);
        f.GetRecordSet_free(QStringLiteral("Select ") + c.GaibuTableColName +
                                QStringLiteral(" , ") + c.GaibuTableColKey +
                                QStringLiteral(" From ") + c.GaibuTableName +
                                QStringLiteral(" order by ") + c.GaibuTableColKey,
                            true, QStringLiteral("aa"));
        // The foreign texts are joined to the rows in one pass over each:
        // a key that the foreign table does not hold shows as such.
        ShownTexts& textOf = mShown[j];
        if (f.RowCount() > 0) {
            int r = 1;
            for (f.MoveFirst(); !f.Eof(); f.MoveNext()) {
                const QString text = FieldText(f.Column(c.GaibuTableColName));
                mGrid->setInputCol(shown, r++, text);
                if (mode == 1) textOf.insert(FieldText(f.Column(c.GaibuTableColKey)), text);
            }
        }
        if (mode == 1)
            for (int g = 1; g < mGrid->MaxRow(); ++g) {
                const QString keyText = mGrid->Field(g, c.ipointx);
                if (keyText.isEmpty()) {
                    mGrid->setField(g, shown, QString());
                    continue;
                }
                const QString* text = textOf.find(keyText);
                mGrid->setField(g, shown, text ? *text : NoMatch);
            }
        f.CloseRecordSet();
    }
    mGrid->SortInputDatas();
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
    connect(save, &QAction::triggered, this, [this] { command([this] { mnuFileSave_Click(); }); });
    QAction* reload = Toolbar1->addAction(QIcon(strIconPath + QStringLiteral("BOOK04.ICO")),
                                          QStringLiteral("再読み出し"));
    reload->setObjectName(QStringLiteral("reload"));
    reload->setToolTip(QStringLiteral("再読み出し"));
    connect(reload, &QAction::triggered, this,
            [this] { command([this] { mnuFileReRead_Click(); }); });
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
