#include "GridFixture.h"

class TestGrid : public GridFixture {
    Q_OBJECT
private slots:
    void init() { setUpGrid(); }
    void cleanup() { win.reset(); }

    // Must run first: the edit target is process-wide and starts unset.
    void commandsDoNothingUntilTheTargetIsSet() {
        QCOMPARE(modpub::editTarget().ctlType, 0);
        fill(4, 3);
        QApplication::clipboard()->setText("keep");
        g->setRow(1);
        g->setRowSel(2);
        g->EditCopy();
        g->EditClear();
        g->EditRowAdd();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("keep"));
        QCOMPARE(g->Field(1, 1), QStringLiteral("1-1"));
        QCOMPARE(g->MaxRow(), 4);
    }

    void startConfiguration() {
        QCOMPARE(g->MaxRow(), 5);
        QCOMPARE(g->MaxCol(), 5);
        QCOMPARE(g->FixedRows(), 1);
        QCOMPARE(g->FixedCols(), 0);
        QCOMPARE(g->InputColsNum(), 0);
        QCOMPARE(g->ColWidth(3), 800);
        QVERIFY(g->Enabled());
    }

    void placeholderRule() {
        fill(4, 3);
        g->setMaxRow(1);
        QCOMPARE(g->model().rows(), 2);
        QCOMPARE(g->RowHeight(1), 0);
        QCOMPARE(g->MaxRow(), 1);
        g->setMaxRow(2); // the placeholder shows again, emptied
        QCOMPARE(g->MaxRow(), 2);
        QVERIFY(g->RowHeight(1) > 0);
        QCOMPARE(rowTexts(1), QStringList({"", "", ""}));
        g->setMaxRow(0); // fewer rows than fixed: the fixed row hides too
        QCOMPARE(g->RowHeight(0), 0);
        g->setMaxRow(3);
        QVERIFY(g->RowHeight(0) > 0 && g->RowHeight(1) > 0);
        g->setFixedRows(2);
        QCOMPARE(g->FixedRows(), 2);
        QCOMPARE(g->MaxRow(), 3);
    }

    void fieldIsTheLinearCell() {
        fill(3, 4);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                QCOMPARE(g->model().text(r, c), g->Field(r, c));
        QCOMPARE(g->Field(0, 5), QStringLiteral("1-1")); // index 5 of a 4-column grid
        g->setMaxCol(6);
        QCOMPARE(g->Field(2, 3), QStringLiteral("2-3"));
        QCOMPARE(g->Field(2, 5), QString());
        QVERIFY_THROWS_EXCEPTION(GridError, g->Field(3, 0));
    }

    void redrawOffPaintsNothing() {
        fill(3, 3);
        g->setRedraw(false);
        QVERIFY(!g->flgMain()->viewport()->updatesEnabled());
        g->setField(1, 1, "x");
        g->setMaxRow(50);
        QVERIFY(!g->flgMain()->viewport()->updatesEnabled());
        g->setRedraw(true);
        QVERIFY(g->flgMain()->viewport()->updatesEnabled());
        QCOMPARE(g->Field(1, 1), QStringLiteral("x"));
    }

    void colorSetKeepsTheCurrentCell() {
        fill(6, 6);
        at(2, 2);
        g->setColorSet(1, 1, 3, 4, 0x0000FF);
        int coloured = 0;
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                coloured += g->model().cellColor(r, c) == 0x0000FF;
        QCOMPARE(coloured, 12);
        QCOMPARE(g->row(), 2);
        QCOMPARE(g->col(), 2);
        QCOMPARE(g->CellBackColor(), 0x0000FFu);
        g->setColorSet(3, 1, 1, 4, 0x00FF00); // empty rectangle
        QCOMPARE(g->model().cellColor(1, 1), 0x0000FFu);
        g->setColorSet(1, 1, 5, 5, 0xFFFFFF);
        QCOMPARE(g->CellBackColor(), 0xFFFFFFu);
    }

    void sorting() {
        g->setMaxCol(3);
        g->setMaxRow(4);
        const QStringList vals{"1", "10", "9"};
        for (int i = 0; i < 3; ++i) {
            g->setField(i + 1, 2, vals[i]);
            g->setField(i + 1, 0, QString::number(i));
        }
        at(1, 0);
        g->SortOn(2, 4);
        QCOMPARE(QStringList({g->Field(1, 2), g->Field(2, 2), g->Field(3, 2)}),
                 QStringList({"10", "9", "1"}));
        QCOMPARE(g->Field(1, 0), QStringLiteral("1")); // whole rows move
        g->SortOn(2, 8);
        QCOMPARE(QStringList({g->Field(1, 2), g->Field(2, 2), g->Field(3, 2)}),
                 QStringList({"9", "10", "1"}));
        g->SortOn(2);
        QCOMPARE(QStringList({g->Field(1, 2), g->Field(2, 2), g->Field(3, 2)}),
                 QStringList({"1", "10", "9"}));
        g->SortOn(2, 3);
        QCOMPARE(QStringList({g->Field(1, 2), g->Field(2, 2), g->Field(3, 2)}),
                 QStringList({"1", "9", "10"}));
        QCOMPARE(g->col(), 2);
        QCOMPARE(g->row(), 1);
    }

    void typingOverwritesEnterStoresEscDiscards() {
        fill(4, 3);
        g->setField(1, 1, "123");
        at(1, 1);
        type("7");
        QVERIFY(g->isEditorOpen());
        QCOMPARE(ed()->text(), QStringLiteral("7"));
        QCOMPARE(ed()->cursorPosition(), 1);
        key(ed(), Qt::Key_Return);
        QCOMPARE(g->Field(1, 1), QStringLiteral("7"));
        QVERIFY(!g->isEditorOpen());
        QCOMPARE(g->row(), 1); // Enter does not move
        QVERIFY(gridWidget()->hasFocus());

        key(gridWidget(), Qt::Key_F2); // F2 opens for changing
        QCOMPARE(ed()->text(), QStringLiteral("7"));
        type("89");
        key(ed(), Qt::Key_Escape);
        QCOMPARE(g->Field(1, 1), QStringLiteral("7"));
        QVERIFY(gridWidget()->hasFocus());
        QCOMPARE(g->row(), 1);
        QCOMPARE(g->col(), 1);

        key(gridWidget(), Qt::Key_Space);
        QCOMPARE(ed()->selectedText(), QStringLiteral("7"));
        key(ed(), Qt::Key_End);
        type("5");
        key(ed(), Qt::Key_F2);
        QCOMPARE(g->Field(1, 1), QStringLiteral("75"));
    }

    void tabWalksShownCells() {
        fill(4, 4);
        g->setColWidth(2, 0);
        at(1, 1);
        key(gridWidget(), Qt::Key_Tab); // on the grid: moves without opening
        QCOMPARE(g->col(), 3);
        QVERIFY(!g->isEditorOpen());
        key(gridWidget(), Qt::Key_Tab); // wraps to column 0 of the next row
        QCOMPARE(g->row(), 2);
        QCOMPARE(g->col(), 0);
        key(gridWidget(), Qt::Key_Backtab);
        QCOMPARE(g->row(), 1);
        QCOMPARE(g->col(), 3);

        // in the editor: Tab stores and opens the next shown cell
        key(gridWidget(), Qt::Key_F2);
        ed()->setText("x");
        key(ed(), Qt::Key_Tab);
        QCOMPARE(g->Field(1, 3), QStringLiteral("x"));
        QCOMPARE(g->editRow(), 2);
        QCOMPARE(g->editCol(), 0);
        QVERIFY(g->isEditorOpen() && ed()->hasFocus());
        key(ed(), Qt::Key_Tab);
        QCOMPARE(g->editCol(), 1);
        key(ed(), Qt::Key_Tab);
        QCOMPARE(g->editCol(), 3); // the hidden column is skipped
        key(ed(), Qt::Key_Escape);

        // the last cell of the last row stays; so does column 0 of row 1 backwards
        at(3, 3);
        key(gridWidget(), Qt::Key_F2);
        ed()->setText("end");
        key(ed(), Qt::Key_Tab);
        QCOMPARE(g->Field(3, 3), QStringLiteral("end"));
        QCOMPARE(g->editRow(), 3);
        QCOMPARE(g->editCol(), 3);
        key(ed(), Qt::Key_Escape);
        at(1, 0);
        key(gridWidget(), Qt::Key_Backtab);
        QCOMPARE(g->row(), 1);
        QCOMPARE(g->col(), 0);
    }

    void placeholderRowNeverOpens() {
        fill(3, 3);
        g->setMaxRow(1);
        at(1, 1);
        type("a");
        QVERIFY(!g->isEditorOpen());
        QCOMPARE(g->Field(1, 1), QStringLiteral("1-1")); // hidden with its old text
    }

    void openingScrollsTheCellIntoView() {
        fill(200, 30);
        at(199, 29);
        key(gridWidget(), Qt::Key_F2);
        QVERIFY(g->RowIsVisible(199));
        QVERIFY(g->ColIsVisible(29));
        // 32 twips inside the cell, to the pixel
        QVERIFY(std::abs(ed()->x() * g->twipsPerPixelX() - (g->ColPos(29) + 32)) <
                g->twipsPerPixelX());
        QVERIFY(std::abs(ed()->y() * g->twipsPerPixelY() - (g->RowPos(199) + 32)) <
                g->twipsPerPixelY());
        QVERIFY(ed()->x() + ed()->width() <= g->flgMain()->viewport()->width());
        QVERIFY(ed()->y() + ed()->height() <= g->flgMain()->viewport()->height());
        key(ed(), Qt::Key_Escape);
        at(1, 0);
        key(gridWidget(), Qt::Key_F2);
        QCOMPARE(g->TopRow(), 1);
        QCOMPARE(g->LeftCol(), 0);
    }

    void settingTheCurrentCellLeavesTheEditorAlone() {
        fill(5, 3);
        at(2, 1);
        key(gridWidget(), Qt::Key_F2);
        g->setRow(4);
        g->setCol(2);
        QCOMPARE(g->editRow(), 2);
        QCOMPARE(g->editCol(), 1);
    }

    void leavingTheEditorStores() {
        fill(4, 3);
        at(2, 2);
        type("new");
        other->setFocus();
        QCOMPARE(g->Field(2, 2), QStringLiteral("new"));
        QVERIFY(!g->isEditorOpen());
    }

    void inputMethodComposesIntoTheCell() {
        fill(4, 3);
        at(2, 1);
        QInputMethodEvent pre(QStringLiteral("とうきょう"), {});
        QApplication::sendEvent(gridWidget(), &pre);
        QVERIFY(g->isEditorOpen());
        // moving the focus now would make the input method drop the composition
        QVERIFY(gridWidget()->hasFocus());
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("東京"));
        QApplication::sendEvent(gridWidget(), &commit);
        QCOMPARE(ed()->text(), QStringLiteral("東京"));
        QTRY_VERIFY(ed()->hasFocus());
        key(ed(), Qt::Key_Return);
        QCOMPARE(g->Field(2, 1), QStringLiteral("東京"));

        // keys that come before the editor has taken over go on in it
        at(1, 1);
        QInputMethodEvent pre2(QStringLiteral("とう"), {});
        QApplication::sendEvent(gridWidget(), &pre2);
        QInputMethodEvent commit2;
        commit2.setCommitString(QStringLiteral("東"));
        QApplication::sendEvent(gridWidget(), &commit2);
        QVERIFY(gridWidget()->hasFocus());
        type("x");
        QCOMPARE(ed()->text(), QStringLiteral("東x"));
        QTRY_VERIFY(ed()->hasFocus());
        key(ed(), Qt::Key_Return);
        QCOMPARE(g->Field(1, 1), QStringLiteral("東x"));

        // a composition given up leaves the edit to the editor too
        at(3, 1);
        QApplication::sendEvent(gridWidget(), &pre);
        QInputMethodEvent cancel;
        QApplication::sendEvent(gridWidget(), &cancel);
        QVERIFY(g->isEditorOpen());
        QTRY_VERIFY(ed()->hasFocus());
        key(ed(), Qt::Key_Escape);
        QCOMPARE(g->Field(3, 1), QStringLiteral("3-1"));
    }

    void inputListSlices() {
        g->setMaxCol(6);
        g->InputClear();
        g->setInputColsNum(5);
        g->setInputColMax(1, 3);
        g->setInputSW(1, 1);
        g->setInputColMax(3, 2);
        g->setInputSW(3, 1);
        g->setInputMax(6);
        g->InputIndexMake();
        const QStringList a{"c", "a", "b"}, b{"z", "y"};
        for (int i = 0; i < 3; ++i)
            g->setInputCol(1, i + 1, a[i]);
        for (int i = 0; i < 2; ++i)
            g->setInputCol(3, i + 1, b[i]);
        g->SortInputDatas();
        QCOMPARE(QStringList({g->InputCol(1, 1), g->InputCol(1, 2), g->InputCol(1, 3)}),
                 QStringList({"a", "b", "c"}));
        QCOMPARE(QStringList({g->InputCol(3, 1), g->InputCol(3, 2)}), QStringList({"y", "z"}));
        QCOMPARE(g->InputColsNum(), 5);
        QVERIFY_THROWS_EXCEPTION(GridError, g->setInputColMax(6, 1));
    }

    void completionAndBrowsing() {
        fill(4, 5);
        g->InputClear();
        g->setInputColsNum(4);
        g->setInputColMax(3, 3);
        g->setInputSW(3, 1);
        g->setInputColMax(2, 2);
        g->setInputSW(2, 0);
        g->setInputMax(6);
        g->InputIndexMake();
        g->setInputCol(3, 1, "東北");
        g->setInputCol(3, 2, "大阪");
        g->setInputCol(3, 3, "東京");
        g->setInputCol(2, 1, "東京");
        g->SortInputDatas();

        at(1, 3);
        type("東");
        QCOMPARE(ed()->text(), QStringLiteral("東京"));
        QCOMPARE(ed()->selectedText(), QStringLiteral("京"));
        key(ed(), Qt::Key_Down);
        QCOMPARE(ed()->text(), QStringLiteral("東北"));
        QCOMPARE(ed()->selectedText(), QStringLiteral("北"));
        key(ed(), Qt::Key_Down);
        QCOMPARE(ed()->text(), QStringLiteral("東北"));
        key(ed(), Qt::Key_Up);
        QCOMPARE(ed()->text(), QStringLiteral("東京"));
        key(ed(), Qt::Key_Backspace); // removes the suggestion, no new completion
        QCOMPARE(ed()->text(), QStringLiteral("東"));
        key(ed(), Qt::Key_Return);
        QCOMPARE(g->Field(1, 3), QStringLiteral("東"));

        // typing in the middle never completes
        g->setField(1, 3, "大");
        key(gridWidget(), Qt::Key_F2);
        key(ed(), Qt::Key_Home);
        type("東");
        QCOMPARE(ed()->text(), QStringLiteral("東大"));
        ed()->clear();
        key(ed(), Qt::Key_Down); // empty editor: the smallest value, all selected
        QCOMPARE(ed()->text(), QStringLiteral("大阪"));
        QCOMPARE(ed()->selectedText(), QStringLiteral("大阪"));
        key(ed(), Qt::Key_Escape);

        at(1, 2); // switched off: no completion
        type("東");
        QCOMPARE(ed()->text(), QStringLiteral("東"));
        key(ed(), Qt::Key_Down);
        QCOMPARE(ed()->text(), QStringLiteral("東"));
        key(ed(), Qt::Key_Escape);
    }

    void pastedTabsAndLineBreaksAreCleaned() {
        fill(3, 3);
        at(1, 1);
        key(gridWidget(), Qt::Key_F2);
        ed()->clear();
        QApplication::clipboard()->setText("\tab\r\ncd\r\nef\t");
        QTest::keyClick(ed(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(ed()->text(), QStringLiteral("abcd\r\nef"));
        key(ed(), Qt::Key_Escape);
    }

    void copyLeavesOutHiddenColumns() {
        fill(4, 4);
        g->setColWidth(2, 0);
        clickCell(1, 1);
        g->setRowSel(2);
        g->setColSel(3);
        g->EditCopy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1-1\t1-3\r\n2-1\t2-3"));
        // pasted elsewhere, the block lands in the shown columns again
        g->setRow(2);
        g->setCol(1);
        g->setField(1, 2, "h1");
        QApplication::clipboard()->setText("A\tB\r\nC\tD");
        g->setRowSel(2);
        g->setColSel(1);
        g->EditPaste();
        QCOMPARE(rowTexts(2), QStringList({"2-0", "A", "2-2", "B"}));
        QCOMPARE(rowTexts(3), QStringList({"3-0", "C", "3-2", "D"}));
        QCOMPARE(g->row(), 2);
    }

    void pasteRepeatsAndWraps() {
        fill(7, 3);
        clickCell(1, 0);
        QApplication::clipboard()->setText("x\ty");
        g->setRowSel(5);
        g->EditPaste(); // one line into five selected rows
        for (int r = 1; r <= 5; ++r)
            QCOMPARE(rowTexts(r), QStringList({"x", "y", QStringLiteral("%1-2").arg(r)}));
        QCOMPARE(g->Field(6, 0), QStringLiteral("6-0"));

        g->setRow(2);
        g->setRowSel(3);
        QApplication::clipboard()->setText("p\r\n"); // one line, used again for the second row
        g->EditPaste();
        QCOMPARE(g->Field(2, 0), QStringLiteral("p"));
        QCOMPARE(g->Field(3, 0), QStringLiteral("p"));
        QCOMPARE(g->Field(4, 0), QStringLiteral("x"));

        g->setRow(5); // three lines at the second-to-last row: two rows written
        QApplication::clipboard()->setText("1\t2\t3\t4\r\n5\r\n6");
        g->EditPaste();
        QCOMPARE(rowTexts(5), QStringList({"1", "2", "3"}));
        QCOMPARE(rowTexts(6), QStringList({"5", "6-1", "6-2"}));
    }

    void deleteEmptiesTheSelectionHiddenColumnsToo() {
        fill(4, 4);
        g->setColWidth(1, 0);
        clickCell(1, 0);
        g->setRowSel(2);
        g->setColSel(2);
        QSignalSpy edited(g, &usrFlg::cellsEdited);
        key(gridWidget(), Qt::Key_Delete);
        QCOMPARE(rowTexts(1), QStringList({"", "", "", "1-3"}));
        QCOMPARE(rowTexts(2), QStringList({"", "", "", "2-3"}));
        QCOMPARE(edited.count(), 1);
        g->setField(3, 0, "z");
        at(3, 0);
        key(gridWidget(), Qt::Key_Backspace);
        QCOMPARE(g->Field(3, 0), QString());
    }

    void cutInTheEditorWithoutSelection() {
        fill(3, 3);
        at(1, 1);
        key(gridWidget(), Qt::Key_F2);
        key(ed(), Qt::Key_End);
        QApplication::clipboard()->setText("untouched");
        g->EditCut();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
        QCOMPARE(ed()->text(), QStringLiteral("1-1"));
        QVERIFY(!modpub::popupForm().popClear->isEnabled()); // text box target
        g->EditRowAdd(); // row commands do nothing while the editor is the target
        QCOMPARE(g->MaxRow(), 3);
        key(ed(), Qt::Key_Escape);
        QCOMPARE(modpub::editTarget().ctlType, 2);
    }

    void rowsAroundThePlaceholder() {
        fill(4, 3);
        clickCell(1, 0);
        g->setRowSel(3);
        g->EditRowDelete();
        QCOMPARE(g->MaxRow(), 1);
        QCOMPARE(g->RowHeight(1), 0);
        g->EditRowAdd();
        QCOMPARE(g->MaxRow(), 2);
        QCOMPARE(rowTexts(1), QStringList({"", "", ""}));
        g->RowAddWithNum(1, 3);
        QCOMPARE(g->MaxRow(), 5);
        g->setField(2, 0, "keep");
        g->setRow(3);
        g->setRowSel(4);
        g->EditRowDelete();
        QCOMPARE(g->MaxRow(), 3);
        QCOMPARE(g->Field(2, 0), QStringLiteral("keep"));
    }

    void contextMenu() {
        fill(3, 3);
        QApplication::clipboard()->clear();
        clickCell(1, 1);
        frmpopup& f = modpub::popupForm();
        QStringList captions;
        for (QAction* a : f.popup->actions())
            captions << a->text();
        QCOMPARE(captions, QStringList({"コピー(&C)", "貼り付け(&P)", "切り取り(&T)", "クリア(&N)",
                                        "", "行挿入", "行削除"}));
        QVERIFY(f.popNone->isSeparator() && f.popClear->isEnabled());
        QVERIFY(!f.popPaste->isEnabled());
        QApplication::clipboard()->setText("t");
        QTest::mouseClick(
            g->flgMain()->viewport(), Qt::RightButton, {},
            QPoint(g->ColPos(1) / g->twipsPerPixelX() + 3, g->RowPos(1) / g->twipsPerPixelY() + 3));
        QVERIFY(f.popPaste->isEnabled());
        f.popup->hide();
        f.popRowAdd->trigger();
        QCOMPARE(g->MaxRow(), 4);
        QCOMPARE(rowTexts(1), QStringList({"", "", ""}));
    }

    // ---- input methods, scrolling, focus -------------------------------------

    void emptyInputMethodEventsLeaveTheGridAlone() {
        fill(6, 3);
        at(2, 1);
        // what an input method sends on focus-in and on a mode switch
        QInputMethodEvent empty;
        QInputMethodEvent cursorOnly(
            QString(), {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, 0, 1, QVariant())});
        for (QInputMethodEvent* e : {&empty, &cursorOnly}) {
            QApplication::sendEvent(gridWidget(), e);
            QVERIFY(!g->isEditorOpen());
            QVERIFY(gridWidget()->hasFocus());
        }
        key(gridWidget(), Qt::Key_Down);
        QCOMPARE(g->row(), 3);
        key(gridWidget(), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(g->RowSel(), 4);

        at(3, 1); // Enter closes the editor for good
        key(gridWidget(), Qt::Key_F2);
        key(ed(), Qt::Key_Return);
        QApplication::sendEvent(gridWidget(), &empty);
        QVERIFY(!g->isEditorOpen());
        key(gridWidget(), Qt::Key_Delete);
        QCOMPARE(g->Field(3, 1), QString());

        at(4, 2); // a commit without preedit still goes into the cell
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("東京"));
        QApplication::sendEvent(gridWidget(), &commit);
        QVERIFY(g->isEditorOpen());
        QCOMPARE(ed()->text(), QStringLiteral("東京"));
        QTRY_VERIFY(ed()->hasFocus());
        key(ed(), Qt::Key_Return);
        QCOMPARE(g->Field(4, 2), QStringLiteral("東京"));
    }

    void editorKeepsItsTextWhileItsCellIsScrolledAway() {
        fill(200, 3);
        at(5, 1);
        type("GONE");
        wheel({0, -240}); // two notches down
        QVERIFY(g->TopRow() > 5);
        QVERIFY(g->isEditorOpen());
        QVERIFY(ed()->hasFocus());
        QVERIFY(!editorShown());
        g->setTopRow(6); // its row just above the first shown one: not over the header either
        QVERIFY(!editorShown());
        wheel({0, 240});
        QCOMPARE(g->TopRow(), 1);
        QVERIFY(editorOverCell(5, 1));
        QCOMPARE(ed()->text(), QStringLiteral("GONE"));
        g->CloseEditor(true);
        QVERIFY(!g->isEditorOpen());
        QCOMPARE(cellsHolding("GONE"), QStringList({"5,1"}));

        // typing while the cell is away brings it back
        at(3, 2);
        type("A");
        g->setTopRow(50);
        type("B");
        QVERIFY(editorOverCell(3, 2));
        key(ed(), Qt::Key_Return);
        QCOMPARE(g->Field(3, 2), QStringLiteral("AB"));
    }

    void closeEditorWithoutStoringDiscards() {
        fill(5, 3);
        at(2, 1);
        type("drop");
        g->CloseEditor(false);
        QVERIFY(!g->isEditorOpen());
        QCOMPARE(g->Field(2, 1), QStringLiteral("2-1"));
        QVERIFY(gridWidget()->hasFocus());
    }

    void oldEditorTextNeverReachesOtherRows_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("scrolled away and back, discarded, reloaded") << 0;
        QTest::newRow("reloaded while open") << 1;
        QTest::newRow("sorted while open") << 2;
        QTest::newRow("its row removed while open") << 3;
    }
    void oldEditorTextNeverReachesOtherRows() {
        QFETCH(int, action);
        const int rows = action == 0 ? 60 : 12; // enough to scroll, or to sort within a view
        fill(rows, 3);
        at(5, 1);
        type("OLD");
        switch (action) {
        case 0:
            wheel({0, -240});
            QVERIFY(g->TopRow() > 5);
            wheel({0, 240});
            g->CloseEditor(false);
            QVERIFY(!g->isEditorOpen());
            g->setMaxRow(0);
            fill(rows, 3);
            break;
        case 1:
            g->setMaxRow(0);
            fill(12, 3);
            break;
        case 2:
            for (int r = 1; r < rows; ++r)
                g->setField(r, 0, QString::number(r));
            g->setRow(1);
            g->SortOn(0, 4); // numbers descending: row 5 moves to row 7
            break;
        case 3:
            g->setMaxRow(4);
            break;
        }
        clickCell(2, 2); // the focus leaves wherever the editor is
        QVERIFY(!g->isEditorOpen());
        if (action == 2) {
            QCOMPARE(g->Field(7, 0), QStringLiteral("5"));
            QCOMPARE(cellsHolding("OLD"), QStringList({"7,1"})); // its own row
        } else {
            QCOMPARE(cellsHolding("OLD"), QStringList());
        }
    }

    void rowCommandsGiveTheFocusBack_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("EditRowAdd") << 0;
        QTest::newRow("EditRowDelete") << 1;
        QTest::newRow("RowAddWithNum") << 2;
        QTest::newRow("context menu row delete") << 3;
        QTest::newRow("context menu row insert") << 4;
    }
    void rowCommandsGiveTheFocusBack() {
        QFETCH(int, command);
        fill(8, 3);
        auto run = [&] {
            switch (command) {
            case 0:
                g->EditRowAdd();
                break;
            case 1:
                g->EditRowDelete();
                break;
            case 2:
                g->RowAddWithNum(2, 2);
                break;
            case 3:
                modpub::popupForm().popRowDelete->trigger();
                break;
            case 4:
                modpub::popupForm().popRowAdd->trigger();
                break;
            }
        };
        clickCell(3, 1);
        if (command >= 3) { // the menu works on the grid it was opened over
            QTest::mouseClick(vp(), Qt::RightButton, {}, cellPoint(3, 1));
            modpub::popupForm().popup->hide();
        }
        QVERIFY(gridWidget()->hasFocus());
        const int rows = g->MaxRow();
        run();
        QVERIFY(g->MaxRow() != rows);
        QVERIFY(gridWidget()->hasFocus());
        key(gridWidget(), Qt::Key_Down);
        QCOMPARE(g->row(), 4);
        // a grid without the focus does not take it
        other->setFocus();
        run();
        QVERIFY(other->hasFocus());
    }

    void commandsWorkAfterTheEditorWasClosed() {
        fill(5, 3);
        clickCell(2, 1);
        key(gridWidget(), Qt::Key_F2);
        QCOMPARE(modpub::editTarget().ctlType, 1);
        g->CloseEditor(true);
        QCOMPARE(modpub::editTarget().ctlType, 2);
        g->RowAddWithNum(2, 2);
        QCOMPARE(g->MaxRow(), 7);
        // also when the editor closed because another control took the focus
        key(gridWidget(), Qt::Key_F2);
        other->setFocus();
        QVERIFY(!g->isEditorOpen());
        g->EditRowDelete();
        QCOMPARE(g->MaxRow(), 6);
        g->setField(g->row(), g->col(), "c");
        g->EditCopy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("c"));
    }

};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
