// The editor's side of importing a statement: which columns a file can fill,
// the rows the grid already holds, the checks a preview shows, and the rows
// appended as one step that undo takes back whole.
#include "CellValues.h"
#include "Dialogs.h"
#include "frmImport.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QFile>
#include <QFileInfo>
#include <QStatusBar>

namespace {
struct ColumnRule {
    bool required = false;
    ColumnDataType numberType = eText; // eText: any text
    int maxBytes = 0;
};
} // namespace

QList<ImportColumn> frmInput::importColumns() const {
    QList<ImportColumn> out;
    const ColumnDefs& cols = columns();
    const ColumnDefs& foreign = foreignColumns();
    for (int i = 1; i < cols.size(); ++i) {
        const ColumnDef& c = cols[i];
        if (!c.Visible) continue;
        if (IsForeignColumn(c)) {
            // the text of the foreign table, where new texts may be typed
            const ColumnDef& f = foreign[c.LinkIndex];
            if (f.InputPlus) out << ImportColumn{c.JPName, f.ipointx, false, true};
            continue;
        }
        // whole-number keys are numbered by the save
        if (c.MainKey && isNumberType(c.eDataType)) continue;
        out << ImportColumn{c.JPName, c.ipointx, isNumberType(c.eDataType), false};
    }
    std::sort(out.begin(), out.end(),
              [](const ImportColumn& a, const ImportColumn& b) { return a.gridCol < b.gridCol; });
    return out;
}

void frmInput::mnuFileImport_Click() {
    if (refusedWhileLoading()) return;
    const auto path = dialogs().openFileName(this, QStringLiteral("取り込むCSVファイル"),
                                             QStringLiteral("CSVファイル (*.csv *.txt *.tsv);;"
                                                            "すべてのファイル (*)"));
    if (!path) return;
    QFile file(*path);
    if (QFileInfo(*path).size() > CsvReader::MaxFileBytes) {
        msgBox(this, QStringLiteral("ファイルが大きすぎます（64 MB まで取り込めます）。"));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        msgBox(this, QStringLiteral("ファイルを読めませんでした：") + file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    mGrid->CloseEditor(true);

    const QList<ImportColumn> cols = importColumns();
    if (cols.isEmpty()) {
        msgBox(this, QStringLiteral("この表には取り込める項目がありません。"));
        return;
    }
    QList<ColumnRule> rules;
    for (const ImportColumn& ic : cols) {
        ColumnRule r;
        for (int i = 1; i < columns().size(); ++i) {
            const ColumnDef& c = columns()[i];
            const bool same = IsForeignColumn(c) ? foreignColumns()[c.LinkIndex].ipointx == ic.gridCol
                                                 : c.ipointx == ic.gridCol;
            if (!same) continue;
            r.required = !c.NullPermmit;
            const ColumnDataType t =
                IsForeignColumn(c) ? foreignColumns()[c.LinkIndex].GaibuTableColeDataType : c.eDataType;
            if (isNumberType(t)) r.numberType = t;
            if (t == eText) r.maxBytes = c.CheckInputTextLength;
        }
        rules << r;
    }
    frmImport::Table table;
    table.tableNum = mTblNum;
    table.iniPath = modMorvi::strIniPath;
    table.columns = cols;
    table.gridRows = [this, cols] {
        QList<QStringList> rows;
        for (int r = 1; r < mGrid->MaxRow(); ++r) {
            QStringList texts;
            for (const ImportColumn& c : cols)
                texts << mGrid->Field(r, c.gridCol);
            rows << texts;
        }
        return rows;
    };
    // the cell checks of the save, row by row (repeats are the save's to find)
    table.check = [rules](const QStringList& texts) {
        QList<int> refused;
        for (int c = 0; c < texts.size() && c < rules.size(); ++c) {
            const QString& t = texts[c];
            const ColumnRule& r = rules[c];
            if ((r.required && t.isEmpty()) ||
                (r.numberType != eText && !t.isEmpty() && !CellValues::wholeNumber(t, r.numberType)) ||
                (r.maxBytes > 0 && t.size() * 2 > r.maxBytes))
                refused << c;
        }
        return refused;
    };
    auto* window = new frmImport(this, std::move(table), bytes, QFileInfo(*path).fileName());
    connect(window, &frmImport::imported, this,
            [this, cols](const QList<QStringList>& rows) { command([&] { appendImported(cols, rows); }); });
    window->show();
}

void frmInput::appendImported(const QList<ImportColumn>& cols, const QList<QStringList>& rows) {
    if (rows.isEmpty()) return;
    mGrid->CloseEditor(true);
    // below the last row that holds anything
    int at = mGrid->MaxRow();
    while (at > 1 && mGrid->isUntouchedAppendedRow(at - 1))
        --at;
    const bool wasEmpty = mSession->countDataRows() == 0;
    if (wasEmpty) at = 1;
    mLoading = true; // one step: the rows come in, then their texts
    mGrid->insertRowsAt(at, int(rows.size()));
    for (int i = 0; i < rows.size(); ++i)
        for (int c = 0; c < cols.size() && c < rows[i].size(); ++c)
            mGrid->setField(at + i, cols[c].gridCol, rows[i][c]);
    mLoading = false;
    mModified = true;
    ShowRowCount();
    // the first imported row, in view
    mGrid->setRow(at);
    mGrid->setCol(cols.front().gridCol);
    if (!mGrid->RowIsVisible(at)) mGrid->setTopRow(at);
    statusBar()->showMessage(QStringLiteral("%1 行を取り込みました。保存するまで表には書き込まれません。")
                                 .arg(rows.size()),
                             10000);
}
