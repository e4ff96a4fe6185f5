// Entering rows in the table editor: what is typed is what is stored, rows
// below the last one, and taking edits back before they are saved.
#include "FakeDialogs.h"
#include "FormsRegistry.h"
#include "PurchaseBook.h"
#include "TestEnv.h"
#include "Typing.h"
#include "frmInput.h"
#include "modpub.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QUndoStack>
#include <QtTest>

// The book and its grid columns: PurchaseBook.h.
class TestEditorEntry : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeDialogs> fake;
    QPointer<frmInput> ed;

    usrFlg* g() { return ed->grid(); }
    QWidget* gridWidget() { return g()->flgMain(); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    void enter(int r, int c, const QString& text) {
        g()->setRow(r);
        g()->setCol(c);
        gridWidget()->setFocus();
        typeText(text);
        key(Qt::Key_Return);
    }
    void trigger(const char* name) { ed->action(QLatin1String(name))->trigger(); }
    bool enabled(const char* name) { return ed->action(QLatin1String(name))->isEnabled(); }
    int stored() { return env->scalar("select count(*) from buy").toInt(); }

private slots:
    void init() {
        fake = std::make_unique<FakeDialogs>();
        env = std::make_unique<TestEnv>();
        env->writeIni(purchaseCatalog());
        env->runSql(purchaseBook());
        env->startProgram();
        ed = new frmInput;
        ed->mTblNum = 1;
        Forms::setTag(ed, "1");
        QVERIFY(ed->Form_Load());
        ed->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ed));
        gridWidget()->setFocus();
    }
    void cleanup() {
        for (QWidget* w : Forms::all()) {
            if (auto* e = qobject_cast<frmInput*>(w)) e->setUnloadApproved();
            delete w;
        }
        env->stopProgram();
        env.reset();
        fake.reset();
    }

    void typedTextIsNormalised_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("paste");
        QTest::newRow("full-width digits") << "２０２６"
                                           << "2026" << false;
        QTest::newRow("letters and signs") << "Ａｂｃ（＋－）！～"
                                           << "Abc(+-)!~" << false;
        QTest::newRow("ideographic spaces") << "\u3000交通費\u3000費"
                                            << "交通費 費" << false;
        QTest::newRow("blanks at the ends") << "  牛乳 "
                                            << "牛乳" << false;
        QTest::newRow("katakana stays") << "スーパーﾏﾙﾔ"
                                        << "スーパーﾏﾙﾔ" << false;
        QTest::newRow("pasted") << "\u3000１２３"
                                << "123" << true;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "x"
                                        << "\uFFFDx" << true;
    }
    void typedTextIsNormalised() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(bool, paste);
        if (paste) {
            g()->setRow(1);
            g()->setCol(1);
            QApplication::clipboard()->setText(typed);
            g()->EditPaste();
        } else {
            enter(1, 1, typed);
        }
        QCOMPARE(g()->Field(1, 1), stored);
        QCOMPARE(ed->statusText().contains("\uFFFD"), stored.contains(QChar(0xFFFD)));
        trigger("mnuFileSave");
        QCOMPARE(fake->messages(), QStringList());
        QCOMPARE(env->scalar("select name from buy where id = 5").toString(), stored);
    }

    void undoBeforeSaving() {
        QVERIFY(!enabled("mnuEditUndo") && !enabled("tbUndo") && !enabled("mnuEditRedo"));
        enter(1, 1, "x");
        g()->setRow(2);
        g()->EditRowDelete();
        QVERIFY(enabled("mnuEditUndo") && enabled("tbUndo") && ed->isModified());
        trigger("tbUndo");
        trigger("mnuEditUndo");
        QCOMPARE(g()->Field(1, 1), QStringLiteral("パン"));
        QCOMPARE(g()->Field(2, 1), QStringLiteral("お弁当"));
        QVERIFY(!ed->isModified() && !enabled("mnuEditUndo") && enabled("mnuEditRedo"));
        QTest::keyClick(gridWidget(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(g()->Field(1, 1), QStringLiteral("x"));
        QVERIFY(ed->isModified());

        enter(3, 4, "abc"); // not a number: the save is refused
        trigger("mnuFileSave");
        QCOMPARE(fake->messages().size(), 1);
        QVERIFY(g()->undoStack()->canUndo()); // the failed edit can be taken back
        trigger("mnuEditUndo");
        trigger("mnuFileSave");
        QCOMPARE(fake->messages().size(), 1);
        QCOMPARE(env->scalar("select name from buy where id = 5").toString(), QStringLiteral("x"));
        QVERIFY(!g()->undoStack()->canUndo() && !g()->undoStack()->canRedo());
    }

    void rowsBelowTheLast() {
        QTest::keyClick(gridWidget(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(gridWidget(), Qt::Key_Down);
        QTest::keyClick(gridWidget(), Qt::Key_Down);
        QCOMPARE(g()->MaxRow(), 6);
        QVERIFY(ed->windowTitle().endsWith("５") || ed->windowTitle().endsWith("5"));
        trigger("mnuFileSave"); // the empty row is no record
        QCOMPARE(fake->messages(), QStringList());
        QCOMPARE(stored(), 4);

        // a paste past the last row adds the rows it needs
        QTest::keyClick(gridWidget(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(gridWidget(), Qt::Key_Down);
        g()->setCol(1);
        QApplication::clipboard()->setText("卵\t\tスーパー\r\n米\t\tコンビニ\r\n水\t\t八百屋");
        g()->EditPaste();
        QCOMPARE(g()->MaxRow(), 8);
        trigger("mnuFileSave");
        QCOMPARE(fake->messages(), QStringList());
        QCOMPARE(stored(), 7);
    }

    // A refused save names the cell in the status bar; a save comes back on
    // the same record, the rows shown as they were.
    void whereTheSaveLeavesTheUser() {
        enter(3, 4, "abc");
        trigger("mnuFileSave");
        QCOMPARE(
            ed->statusText(),
            QStringLiteral("金額（3 行目）：このフィールドは文字型のデータが禁止されています"));
        enter(3, 4, "80");
        g()->setRow(1);
        g()->SortOn(1, 7); // by name: お弁当 パン 牛乳 電車
        g()->setRow(3);
        g()->setCol(4);
        trigger("mnuFileSave");
        QCOMPARE(ed->statusText(), QString());
        QCOMPARE(g()->Field(g()->row(), 1), QStringLiteral("牛乳")); // rows back in key order
        QCOMPARE(g()->col(), 4);
    }

    // A text the lookup table does not hold becomes a new record there at
    // the save: it is drawn apart, with a tool tip, until it is saved.
    void newLookupTextsAreMarked() {
        QVERIFY(g()->cellNote(1, 2).isEmpty()); // 食費
        enter(1, 2, "交通費　");                // the same category, normalised
        QVERIFY(g()->cellNote(1, 2).isEmpty());
        enter(2, 2, "こうつうひ");
        QCOMPARE(g()->cellNote(2, 2), QStringLiteral("保存すると新しい分類として追加されます"));
        enter(3, 3, "スーパーマルヤ");
        QCOMPARE(g()->cellNote(3, 3), QStringLiteral("保存すると新しいshopとして追加されます"));
        trigger("mnuFileSave");
        QCOMPARE(fake->messages(), QStringList());
        QVERIFY(g()->cellNote(2, 2).isEmpty() && g()->cellNote(3, 3).isEmpty());
    }

    void accessKeys() {
        QStringList menus;
        for (QAction* m : ed->menuBar()->actions()) {
            menus << m->text();
            QString keys;
            for (QAction* a : m->menu()->actions()) {
                const int amp = a->text().indexOf('&');
                if (amp >= 0) keys += a->text().at(amp + 1);
            }
            for (const QChar k : keys)
                QCOMPARE(keys.count(k), 1);
        }
        QCOMPARE(menus, QStringList({"ファイル（&F)", "編集(&E)"}));
        QMenu* edit = ed->menuBar()->actions().at(1)->menu();
        QCOMPARE(edit->actions().at(0)->text(), QStringLiteral("元に戻す(&U)"));
        QCOMPARE(edit->actions().at(1)->shortcuts().size(), 2);
        QTest::keyClick(gridWidget(), Qt::Key_F10, Qt::ShiftModifier);
        QMenu* popup = modpub::popupForm().popup;
        QTRY_VERIFY(popup->isVisible());
        popup->hide();
    }
};

QTEST_MAIN(TestEditorEntry)
#include "tst_editorentry.moc"
