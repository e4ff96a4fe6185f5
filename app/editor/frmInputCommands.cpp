// The editor's commands besides saving: search, sort, inserting rows,
// reloading, the Edit menu and the row details.
#include "Dialogs.h"
#include "ExportFile.h"
#include "ScreenFit.h"
#include "WaitCursor.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

void frmInput::mnuFileSave_Click() {
    mGrid->CloseEditor(true);
    WaitCursor wait;
    SaveTable();
}

void frmInput::mnuFileReRead_Click() {
    if (refusedWhileLoading()) return;
    mGrid->CloseEditor(true); // what is being typed counts as a change
    if (mModified) {
        const auto answer = dialogs().question(
            this,
            QStringLiteral("保存していない変更があります。再読み出しすると変更は失われます。"
                           "再読み出ししますか？"),
            windowTitle() + QStringLiteral("の再読み出し"));
        if (answer != Dialogs::Answer::Yes) return;
    }
    reloadTable();
}

void frmInput::reloadTable() {
    mGrid->CloseEditor(false);
    WaitCursor wait;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            mGrid->setMaxRow(0);
            mGrid->setMaxRow(1);
            break;
        } catch (const std::exception&) {
            if (attempt == 1) throw;
        }
    }
    SetupGrid();
    LoadRows();
    ShowRowCount();
}

void frmInput::mnuFileFkeyRead_Click() {
    mGrid->CloseEditor(true);
    WaitCursor wait;
    LoadForeignValues(0);
}

void frmInput::mnuFileCsv_Click() {
    if (refusedWhileLoading()) return;
    mGrid->CloseEditor(true); // what is being typed is shown, so it is written
    const QString path = exportGridCsv(this, mGrid->model(),
                                       GetTableJPName(modMorvi::objPublic->TableSection(mTblNum)));
    if (!path.isEmpty())
        statusBar()->showMessage(
            QStringLiteral("CSVファイルに書き出しました：") + QDir::toNativeSeparators(path), 8000);
}

void frmInput::mnuFileClose_Click() {
    close();
}

void frmInput::mnuEditCopy_Click() {
    mGrid->EditCopy();
}
void frmInput::mnuEditPaste_Click() {
    mGrid->EditPaste();
}
void frmInput::mnuEditCut_Click() {
    mGrid->EditCut();
}
void frmInput::mnuEditClear_Click() {
    mGrid->EditClear();
}

void frmInput::mnuEditSearch_Click() {
    activateWindow();
    const auto answer = dialogs().input(this, QStringLiteral("検索する文字列を指定して下さい。"));
    if (!answer || answer->isEmpty()) return;
    FindText(true, *answer);
    mSearchText = *answer;
    action("mnuEditSearchDown")->setEnabled(true);
    action("mnuEditSearchUp")->setEnabled(true);
}

void frmInput::mnuEditSearchDown_Click() {
    FindText(true, mSearchText);
}
void frmInput::mnuEditSearchUp_Click() {
    FindText(false, mSearchText);
}

void frmInput::FindText(bool forward, const QString& text) {
    if (refusedWhileLoading()) return;
    mGrid->CloseEditor(true);
    activateWindow();
    int r = mGrid->row(), c = mGrid->col();
    const int step = forward ? 1 : -1;
    const int fc = mGrid->FixedCols(), fr = mGrid->FixedRows();
    const int maxRow = mGrid->MaxRow(), maxCol = mGrid->MaxCol();
    // Every cell once, starting after the current one; the current cell last.
    const qint64 cells = static_cast<qint64>(maxRow) * maxCol;
    bool found = false;
    for (qint64 n = 0; n < cells; ++n) {
        c += step;
        if (c >= maxCol) {
            c = fc;
            ++r;
            if (r >= maxRow) break;
        } else if (c < fc) {
            c = maxCol - 1;
            --r;
            if (r < fr) break;
        }
        if (mGrid->ColWidth(c) > 0 && mGrid->Field(r, c).contains(text, Qt::CaseSensitive)) {
            found = true;
            break;
        }
    }
    if (!found) {
        mStatusPanel->setText(QStringLiteral("検索の結果見つかりませんんでした：") + text);
        return;
    }
    mStatusPanel->setText(QString());
    if (!mGrid->RowIsVisible(r)) {
        const int rowPx = std::max(1, mGrid->RowHeight(fr) / mGrid->twipsPerPixelY());
        const int visible = mGrid->flgMain()->viewport()->height() / rowPx - 2;
        mGrid->setTopRow(std::max(r - visible / 2, fr));
    }
    if (!mGrid->ColIsVisible(c)) mGrid->setLeftCol(c);
    mGrid->setRow(r);
    mGrid->setCol(c);
}

void frmInput::mnuEditSort_Click() {
    if (refusedWhileLoading()) return;
    mGrid->CloseEditor(true);
    const int c = mGrid->col();
    ColumnDataType type = eText;
    bool known = false;
    for (int i = 1; i <= numberCount() && !known; ++i)
        if (mSession->columns()[i].ipointx == c) {
            type = IsForeignColumn(mSession->columns()[i])
                       ? mSession->columns()[i].GaibuTableColeDataType
                       : mSession->columns()[i].eDataType;
            known = true;
        }
    for (int j = 1; j <= foreignCount() && !known; ++j)
        if (mSession->foreignColumns()[j].ipointx == c) {
            type = mSession->foreignColumns()[j].GaibuTableColeDataType;
            known = true;
        }
    auto number = [](const QString& s) {
        bool ok = false;
        const qint64 v = s.trimmed().toLongLong(&ok);
        return ok ? v : -1;
    };
    bool anySmaller = false, anyGreater = false;
    const int fr = mGrid->FixedRows();
    for (int r = fr; r <= mGrid->MaxRow() - 2; ++r) {
        const QString a = mGrid->Field(r, c), b = mGrid->Field(r + 1, c);
        int cmp;
        if (type == eText)
            cmp = a.compare(b, Qt::CaseInsensitive);
        else
            cmp = number(a) < number(b) ? -1 : (number(a) > number(b) ? 1 : 0);
        if (cmp < 0) anySmaller = true;
        if (cmp > 0) anyGreater = true;
    }
    const bool twoRows = mGrid->MaxRow() - fr >= 2;
    bool ascending = true;
    if (!anySmaller && twoRows)
        ascending = true;
    else if (!anyGreater && twoRows)
        ascending = false;
    const int mode = isNumberType(type) ? (ascending ? 3 : 4) : (ascending ? 7 : 8);
    sortAll(c, mode);
}

void frmInput::mnuEditAddNum_Click() {
    if (refusedWhileLoading()) return;
    mGrid->CloseEditor(true);
    const auto answer = dialogs().input(this, QStringLiteral("挿入する行数を指定して下さい"),
                                        QStringLiteral("挿入行の指定"));
    if (!answer || answer->isEmpty()) return;
    bool ok = false;
    const qint64 n = answer->trimmed().toLongLong(&ok);
    if (!ok || n < 0 || n > 1000000) {
        msgBox(this, QStringLiteral("不正な値：数字を指定してください。"));
        return;
    }
    mGrid->RowAddWithNum(std::max(mGrid->row(), static_cast<int>(mGrid->FixedRows())),
                         static_cast<qint32>(n));
    ShowRowCount();
}

void frmInput::menuEditSyosai_Click() {
    if (refusedWhileLoading()) return;
    mGrid->CloseEditor(true);
    // The current row as a readable list of column name and value.
    if (!mDetail) {
        mDetail = new QWidget(this, Qt::Tool);
        mDetail->setObjectName(QStringLiteral("frmDetail"));
        auto* lay = new QVBoxLayout(mDetail);
        auto* table = new QTableWidget(mDetail);
        table->setObjectName(QStringLiteral("detailTable"));
        table->setColumnCount(2);
        table->setHorizontalHeaderLabels({QStringLiteral("項目"), QStringLiteral("値")});
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->verticalHeader()->setVisible(false);
        table->horizontalHeader()->setStretchLastSection(true);
        lay->addWidget(table);
        mDetail->resize(420, 320);
        fitOnShow(mDetail); // kept on the screen, wherever the editor stands
    }
    auto* table = mDetail->findChild<QTableWidget*>(QStringLiteral("detailTable"));
    const int r = mGrid->row();
    QList<QPair<QString, QString>> items;
    for (int c = 0; c < numberCount(); ++c) {
        if (mGrid->ColWidth(c) == 0) continue;
        items.append({mGrid->Field(0, c), r >= mGrid->FixedRows() && r < mGrid->MaxRow()
                                              ? mGrid->Field(r, c)
                                              : QString()});
    }
    table->setRowCount(items.size());
    for (int i = 0; i < items.size(); ++i) {
        table->setItem(i, 0, new QTableWidgetItem(items[i].first));
        table->setItem(i, 1, new QTableWidgetItem(items[i].second));
    }
    mDetail->setWindowTitle(QStringLiteral("詳細の表示（%1 行目）").arg(r));
    mDetail->show();
    mDetail->raise();
}
