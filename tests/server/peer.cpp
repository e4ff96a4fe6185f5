// A second Tamroc on the same book, for the tests of two editors at once:
//   tamroc_test_peer FOLDER BOOK TABLE EDIT...
// opens the editor of table TABLE with the catalog in FOLDER/db and the book
// BOOK, makes the edits ("row:col=text", "+row" inserts an empty row there),
// saves, and prints every message the user would have seen, one per line.
// Exit code 0 when the save went through.
#include "Catalog.h"
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: tamroc_test_peer FOLDER BOOK TABLE EDIT...\n");
        return 2;
    }
    FakeDialogs fake;
    modMorvi::InitEnvironmentAt(args[1], args[2]);
    LoadTableList();
    int rc = 1;
    {
        frmInput editor;
        editor.mTblNum = static_cast<qint16>(args[3].toInt());
        Forms::setTag(&editor, args[3]);
        if (editor.Form_Load()) {
            usrFlg* grid = editor.grid();
            for (const QString& e : args.mid(4)) {
                if (e.startsWith(QLatin1Char('+'))) {
                    grid->RowAddWithNum(e.mid(1).toInt(), 1);
                    continue;
                }
                const qsizetype colon = e.indexOf(QLatin1Char(':'));
                const qsizetype eq = e.indexOf(QLatin1Char('='));
                grid->setField(e.left(colon).toInt(), e.mid(colon + 1, eq - colon - 1).toInt(),
                               e.mid(eq + 1));
                grid->notifyEdited();
            }
            if (editor.SaveTable()) rc = 0;
        }
        editor.setUnloadApproved();
    }
    for (const QString& m : fake.messages())
        std::printf("%s\n",
                    QString(m).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().constData());
    modMorvi::setProgramEndHandler([] {});
    modMorvi::EndProgram();
    return rc;
}
