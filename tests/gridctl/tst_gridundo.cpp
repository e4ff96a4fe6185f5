// Undo and redo in the grid, and what the host may allow or forbid.
#include "Typing.h"
#include "modpub.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QUndoStack>
#include <QtTest>

class TestGridUndo : public QObject {
    Q_OBJECT
    std::unique_ptr<QWidget> win;
    usrFlg* g = nullptr;

    QWidget* gridWidget() { return g->flgMain(); }
    QLineEdit* ed() { return g->txtfocus(); }
    void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(w, k, m);
    }
    void at(int r, int c) {
        g->setRow(r);
        g->setCol(c);
    }
    // Every cell of the grid, hidden ones included, with the rows' heights.
    QStringList all() {
        const GridModel& m = g->model();
        QStringList out;
        for (int r = 0; r < m.rows(); ++r) {
            QString line = QString::number(m.rowHeight(r) > 0);
            for (int c = 0; c < m.cols(); ++c)
                line += QLatin1Char('|') + m.text(r, c);
            out << line;
        }
        return out;
    }
    // Six rows of four columns, column 3 hidden (a key or a flag); (r, c) holds "r-c".
    void fill() {
        g->setMaxCol(4);
        g->setMaxRow(6);
        g->setColWidth(3, 0);
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 4; ++c)
                g->setField(r, c, QStringLiteral("%1-%2").arg(r).arg(c));
        g->clearUndo();
        gridWidget()->setFocus();
        modpub::editTarget().ctlType = 2;
        modpub::editTarget().MsFLG = g;
    }

private slots:
    void init() {
        win = std::make_unique<QWidget>();
        win->resize(640, 400);
        g = new usrFlg(win.get());
        g->setGeometry(0, 0, 600, 300);
        g->setUndoEnabled(true);
        g->setAppendRows(true);
        g->setPasteAddsRows(true);
        win->show();
        win->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
        fill();
    }
    void cleanup() { win.reset(); }

    void everyKindOfStep_data() {
        QTest::addColumn<QString>("kind");
        for (const char* k : {"typed", "completion", "paste", "pasteAddingRows", "cut", "delete",
                              "rowInsert", "rowsAtPoint", "rowDelete", "deleteEveryRow",
                              "appendByDown", "tabPastTheEnd", "enterOnTheLastRow"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }
    void everyKindOfStep() {
        QFETCH(QString, kind);
        g->InputClear();
        g->setInputColsNum(3);
        g->setInputColMax(1, 2);
        g->setInputSW(1, 1);
        g->setInputMax(2);
        g->InputIndexMake();
        g->setInputCol(1, 1, "東京");
        g->setInputCol(1, 2, "大阪");
        g->SortInputDatas();
        const QStringList before = all();
        QSignalSpy rowsChanged(g, &usrFlg::rowCountChanged);
        at(2, 1);
        int focus = 2; // where the change was
        if (kind == "typed") {
            typeText("x");
            key(ed(), Qt::Key_Tab);
            typeText("y");
            key(ed(), Qt::Key_Escape); // given up: no step
        } else if (kind == "completion") {
            typeText("東");
            key(ed(), Qt::Key_Return);
        } else if (kind == "paste" || kind == "pasteAddingRows") {
            QApplication::clipboard()->setText(kind == "paste" ? "a\tb\tc\r\nd\r\ne\tf\r\ng"
                                                               : "a\tb\tc\r\nd\r\ne\tf\r\ng\r\nh");
            g->EditPaste();
        } else if (kind == "cut" || kind == "delete") {
            g->setRowSel(4);
            g->setColSel(3);
            if (kind == "cut")
                g->EditCut();
            else
                key(gridWidget(), Qt::Key_Delete);
        } else if (kind == "rowInsert") {
            g->setRowSel(3);
            g->EditRowAdd();
        } else if (kind == "rowsAtPoint") {
            g->RowAddWithNum(focus = 5, 3);
        } else if (kind == "rowDelete" || kind == "deleteEveryRow") {
            g->setRowSel(kind == "rowDelete" ? 3 : 5);
            if (kind == "deleteEveryRow") g->setRow(focus = 1);
            g->EditRowDelete();
        } else if (kind == "appendByDown") {
            at(5, 1);
            key(gridWidget(), Qt::Key_Down);
            QCOMPARE(g->row(), focus = 6);
        } else if (kind == "enterOnTheLastRow") {
            at(5, 1);
            key(gridWidget(), Qt::Key_F2);
            key(ed(), Qt::Key_F2); // F2 closes the editor, and stays
            QCOMPARE(g->MaxRow(), 6);
            key(gridWidget(), Qt::Key_F2);
            key(ed(), Qt::Key_Return);
            QCOMPARE(g->row(), focus = 6);
        } else if (kind == "tabPastTheEnd") {
            at(5, 2);
            key(gridWidget(), Qt::Key_Tab);
            QCOMPARE(g->row(), focus = 6);
        }
        const QStringList after = all();
        QVERIFY(after != before);
        QCOMPARE(g->undoStack()->count(), 1);
        QCOMPARE(rowsChanged.isEmpty(), after.size() == before.size());

        at(1, 0);
        g->undo();
        QCOMPARE(all(), before);
        g->redo();
        QCOMPARE(all(), after);
        g->undo();
        QCOMPARE(all(), before);
        // the current cell is where the change was (the row after rows taken out)
        QCOMPARE(g->row(), std::min(focus, g->MaxRow() - 1));
    }

    // Steps find their rows by identity: a sort between the step and its
    // undoing restores the right rows, and a row deleted comes back whole.
    void undoAfterSorting() {
        g->setField(1, 3, "key1");
        at(1, 1);
        typeText("zz");
        key(ed(), Qt::Key_Return);
        at(3, 0);
        g->EditRowDelete();
        g->setRow(1);
        g->SortOn(1, 8); // descending: row "zz" first
        QCOMPARE(g->undoStack()->count(), 2);
        g->undo(); // row 3 back, before the row that followed it
        QCOMPARE(g->Field(g->row(), 0), QStringLiteral("3-0"));
        QCOMPARE(g->Field(g->row() + 1, 0), QStringLiteral("4-0"));
        g->undo();
        QCOMPARE(g->Field(g->row(), 3), QStringLiteral("key1"));
        QCOMPARE(g->Field(g->row(), 1), QStringLiteral("1-1"));
    }

    void ctrlZInTheOpenEditorIsTheEditorsOwn() {
        at(1, 1);
        typeText("abc");
        key(ed(), Qt::Key_Return); // a step
        key(gridWidget(), Qt::Key_F2);
        key(ed(), Qt::Key_End);
        typeText("d");
        key(ed(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ed()->text(), QStringLiteral("abc"));
        QVERIFY(g->isEditorOpen());
        key(ed(), Qt::Key_Escape);
        QCOMPARE(g->Field(1, 1), QStringLiteral("abc"));
        key(gridWidget(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(g->Field(1, 1), QStringLiteral("1-1"));
        key(gridWidget(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(g->Field(1, 1), QStringLiteral("abc"));
    }

    void limitsDropTheOldestSteps() {
        g->setUndoLimits(3, 1 << 20);
        for (int i = 0; i < 5; ++i)
            g->commitCell(1, 0, QString::number(i));
        QCOMPARE(g->undoStack()->count(), 3);
        g->clearUndo(); // as a save does
        g->commitCell(1, 0, "a");
        g->commitCell(1, 0, "b");
        // a step of 1.2 MB of text: the older ones go, the newest stays
        g->commitCell(2, 0, QString(600000, QLatin1Char('x')));
        QCOMPARE(g->undoStack()->count(), 1);
        QVERIFY(!g->undoStack()->isClean());
        g->undo();
        QCOMPARE(g->Field(2, 0), QStringLiteral("2-0"));
        QVERIFY(!g->undoStack()->canUndo());
        QVERIFY(!g->undoStack()->isClean()); // the saved state was dropped with its step
    }

    void filterReadOnlyAndClippedPaste() {
        QSignalSpy filteredSpy(g, &usrFlg::inputFiltered);
        g->setInputFilter([](const QString& s) { return s.trimmed(); });
        at(1, 1);
        typeText(" a ");
        key(ed(), Qt::Key_Return);
        QCOMPARE(g->Field(1, 1), QStringLiteral("a"));
        QApplication::clipboard()->setText(" p \tq\r\n r");
        g->EditPaste();
        QCOMPARE(g->Field(1, 1), QStringLiteral("p"));
        QCOMPARE(g->Field(2, 1), QStringLiteral("r"));
        QCOMPARE(filteredSpy.count(), 2);
        QCOMPARE(filteredSpy.last().at(2).toInt(), 2);

        g->setPasteAddsRows(false);
        QSignalSpy clipped(g, &usrFlg::pasteClipped);
        at(4, 0);
        QApplication::clipboard()->setText("1\r\n2\r\n3\r\n4\r\n5");
        g->EditPaste();
        QCOMPARE(g->MaxRow(), 6);
        QCOMPARE(clipped.count(), 1);
        QCOMPARE(clipped.first().at(0).toInt(), 3);

        g->setReadOnly(true);
        const QStringList shown = all();
        key(gridWidget(), Qt::Key_Delete);
        typeText("z");
        g->EditPaste();
        g->EditRowDelete();
        key(gridWidget(), Qt::Key_Down);
        key(gridWidget(), Qt::Key_Down);
        QCOMPARE(all(), shown);
        QVERIFY(!g->isEditorOpen());
    }

    // The choices that share the typed beginning show under the cell and
    // follow the editor's browsing; a click takes one.
    void choicesUnderTheCell() {
        g->InputClear();
        g->setInputColsNum(3);
        g->setInputColMax(1, 3);
        g->setInputSW(1, 1);
        g->setInputMax(3);
        g->InputIndexMake();
        g->setInputCol(1, 1, "東京");
        g->setInputCol(1, 2, "大阪");
        g->setInputCol(1, 3, "東北");
        g->SortInputDatas();
        auto* list = g->findChild<QListWidget*>("choices");
        QVERIFY(!list);
        at(2, 1);
        typeText("東");
        list = g->findChild<QListWidget*>("choices");
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentItem()->text(), QStringLiteral("東京"));
        key(ed(), Qt::Key_Down);
        QCOMPARE(list->currentItem()->text(), QStringLiteral("東北"));
        QCOMPARE(list->count(), 2); // stepping keeps what was typed as the list's beginning
        QVERIFY(list->geometry().top() >= ed()->mapToGlobal(ed()->rect().bottomLeft()).y());
        key(ed(), Qt::Key_Escape);
        QVERIFY(!list->isVisible());

        key(gridWidget(), Qt::Key_F2);
        ed()->clear();
        key(ed(), Qt::Key_Down, Qt::AltModifier); // nothing typed: the whole list
        QVERIFY(list->isVisible());
        QCOMPARE(list->count(), 3);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QCOMPARE(g->Field(2, 1), QStringLiteral("大阪"));
        QVERIFY(!g->isEditorOpen() && !list->isVisible());
    }

    void pasteIntoAnEmptyGrid() {
        g->setRow(1);
        g->setRowSel(5);
        g->EditRowDelete();
        QCOMPARE(g->MaxRow(), 1);
        const QStringList empty = all();
        at(1, 0);
        QApplication::clipboard()->setText("a\r\nb");
        g->EditPaste();
        QCOMPARE(g->MaxRow(), 3);
        QCOMPARE(g->Field(2, 0), QStringLiteral("b"));
        g->undo();
        QCOMPARE(all(), empty);
        g->undo();
        QCOMPARE(g->MaxRow(), 6);
        QCOMPARE(g->Field(5, 3), QStringLiteral("5-3"));
    }

    // A row added below the last that the user leaves empty holds nothing to
    // store; a second Down adds no other one.
    void untouchedRowsAreSetAside() {
        at(5, 0);
        key(gridWidget(), Qt::Key_Down);
        key(gridWidget(), Qt::Key_Down);
        QCOMPARE(g->MaxRow(), 7);
        QVERIFY(g->isUntouchedAppendedRow(6));
        QCOMPARE(g->setAsideUntouchedRows(), 1);
        QCOMPARE(g->MaxRow(), 6);
        g->putBackSetAsideRows();
        QCOMPARE(g->MaxRow(), 7);
        g->setField(6, 2, "t");
        QVERIFY(!g->isUntouchedAppendedRow(6));
        QCOMPARE(g->setAsideUntouchedRows(), 0);
    }
};

QTEST_MAIN(TestGridUndo)
#include "tst_gridundo.moc"
