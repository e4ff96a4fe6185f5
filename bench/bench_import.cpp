// Importing a statement of 10,000 lines into the purchase editor: the preview
// (read, plan, first rows shown) and the rows appended as one undo step,
// against filling the same grid rows with the same texts through Field.
#include "BenchUtil.h"
#include "Dialogs.h"
#include "FormsRegistry.h"
#include "PurchaseBook.h"
#include "TestEnv.h"
#include "frmImport.h"
#include "frmInput.h"
#include "usrFlg.h"

#include <QApplication>
#include <QStringEncoder>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    TestEnv env;
    env.writeIni(purchaseCatalog());
    env.runSql(purchaseBook());
    env.startProgram();
    const int lines = 10000;
    QString csv = QStringLiteral("品名,店,金額,数量\r\n");
    for (int i = 0; i < lines; ++i)
        csv += QStringLiteral("品物%1,お店%2,\"%3円\",%4\r\n").arg(i).arg(i % 300).arg(i * 7 % 9000 + 100).arg(i % 9 + 1);
    const QByteArray bytes = QStringEncoder("CP932").encode(csv);

    auto* ed = new frmInput;
    ed->mTblNum = 1;
    Forms::setTag(ed, "1");
    if (!ed->Form_Load()) qFatal("no editor");
    const int base = ed->grid()->MaxRow();
    const QList<ImportColumn> cols = ed->importColumns();

    QList<QStringList> rows;
    const double preview = bestOf(3, [&] {
        frmImport w(ed, {1, env.iniPath(), cols, {}, {}}, bytes, "bench.csv");
        rows = w.chosenRows();
    });
    if (rows.size() != lines) qFatal("planned %d rows", int(rows.size()));

    const double fill = bestOf(3, [&] {
        usrFlg* g = ed->grid();
        g->setMaxRow(base + lines);
        for (int i = 0; i < lines; ++i)
            for (int c = 0; c < cols.size(); ++c)
                g->setField(base + i, cols[c].gridCol, rows[i][c]);
        g->setMaxRow(base);
    });
    const double import = bestOf(3, [&] {
        ed->appendImported(cols, rows);
        ed->grid()->undo();
    });
    std::printf("statement of %d lines (CP932), purchase editor of %d rows\n", lines, base - 1);
    report("grid rows filled through Field (baseline)", fill, fill);
    report("preview: read, plan, first rows shown", preview, fill);
    report("import: rows appended as one undo step (and undone)", import, fill);
    ed->setUnloadApproved();
    delete ed;
    env.stopProgram();
    return 0;
}
