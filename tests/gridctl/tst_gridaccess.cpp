// The grid as assistive technology reads it: through the accessible
// interfaces that Qt hands to screen readers and automated checks.
#include "FlexGridAccessible.h"
#include "Typing.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QtTest>

namespace {
struct Seen {
    QAccessible::Event type;
    int child;
    QAccessibleTableModelChangeEvent::ModelChangeType change;
};
QList<Seen> seen;
void recordEvent(QAccessibleEvent* e) {
    auto change = QAccessibleTableModelChangeEvent::DataChanged;
    if (e->type() == QAccessible::TableModelChanged)
        change = static_cast<QAccessibleTableModelChangeEvent*>(e)->modelChangeType();
    seen.append({e->type(), e->child(), change});
}
} // namespace

class TestGridAccess : public QObject {
    Q_OBJECT
    std::unique_ptr<QWidget> win;
    usrFlg* g = nullptr;

    QAccessibleInterface* table() { return QAccessible::queryAccessibleInterface(g->flgMain()); }
    QAccessibleTableInterface* ti() { return table()->tableInterface(); }
    // one header row, then rows "r-c"
    void fill(int rows, int cols) {
        g->setMaxCol(cols);
        g->setMaxRow(rows);
        for (int c = 0; c < cols; ++c)
            g->setField(0, c, QStringLiteral("見出し%1").arg(c));
        for (int r = 1; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                g->setField(r, c, QStringLiteral("%1-%2").arg(r).arg(c));
    }
    // Lets the grid tell what changed: it does so once the changes of the
    // moment are over.
    void settle() { QCoreApplication::processEvents(); }
    QString name(QAccessibleInterface* i) { return i ? i->text(QAccessible::Name) : "<none>"; }
    QList<Seen> focusEvents() {
        QList<Seen> out;
        for (const Seen& s : seen)
            if (s.type == QAccessible::Focus) out << s;
        return out;
    }

private slots:
    void init() {
        win = std::make_unique<QWidget>();
        win->resize(640, 400);
        g = new usrFlg(win.get());
        g->setGeometry(0, 0, 600, 300);
        win->show();
        win->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
        g->flgMain()->setFocus();
        seen.clear();
    }
    void cleanup() {
        fendra::setAccessibilityEventTap(nullptr);
        win.reset();
    }

    // Counts, headers and texts as the user sees them: hidden columns (keys,
    // flags) left out, an empty grid's placeholder row not counted.
    void tableShape_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::addColumn<QList<int>>("hidden");
        QTest::addColumn<int>("fixedCols");
        QTest::addColumn<QList<int>>("shownCols"); // grid column of each table column
        QTest::addRow("plain") << 4 << 3 << QList<int>{} << 0 << QList<int>{0, 1, 2};
        QTest::addRow("hidden columns") << 3 << 5 << QList<int>{1, 4} << 0 << QList<int>{0, 2, 3};
        QTest::addRow("empty grid") << 1 << 3 << QList<int>{} << 0 << QList<int>{0, 1, 2};
        QTest::addRow("fixed column") << 3 << 3 << QList<int>{} << 1 << QList<int>{0, 1, 2};
    }
    void tableShape() {
        QFETCH(int, rows);
        QFETCH(int, cols);
        QFETCH(QList<int>, hidden);
        QFETCH(int, fixedCols);
        QFETCH(QList<int>, shownCols);
        fill(std::max(rows, 2), cols);
        g->setMaxRow(rows);
        g->setFixedCols(fixedCols);
        for (int c : hidden)
            g->setColWidth(c, 0);
        QAccessibleInterface* t = table();
        QVERIFY(t);
        QCOMPARE(t->role(), QAccessible::Table);
        QCOMPARE(ti()->rowCount(), rows - 1);
        QCOMPARE(ti()->columnCount(), shownCols.size());
        QCOMPARE(t->childCount(), rows * shownCols.size());
        for (int tc = 0; tc < shownCols.size(); ++tc) {
            const int c = shownCols[tc];
            QCOMPARE(ti()->columnDescription(tc), QStringLiteral("見出し%1").arg(c));
            QAccessibleInterface* head = t->child(tc);
            QCOMPARE(head->role(), QAccessible::ColumnHeader);
            QCOMPARE(name(head), QStringLiteral("見出し%1").arg(c));
            for (int r = 0; r < rows - 1; ++r) {
                QAccessibleInterface* cell = ti()->cellAt(r, tc);
                QVERIFY(cell);
                QCOMPARE(name(cell), QStringLiteral("%1-%2").arg(r + 1).arg(c));
                QCOMPARE(cell->role(), c < fixedCols ? QAccessible::RowHeader : QAccessible::Cell);
                QCOMPARE(cell->parent(), t);
                auto* ci = cell->tableCellInterface();
                QCOMPARE(ci->rowIndex(), r);
                QCOMPARE(ci->columnIndex(), tc);
                QCOMPARE(ci->table(), t);
                QCOMPARE(ci->columnHeaderCells(), QList<QAccessibleInterface*>{head});
                QCOMPARE(ci->rowHeaderCells().size(), c < fixedCols ? 0 : fixedCols);
                const int index = t->indexOfChild(cell);
                QCOMPARE(index, (r + 1) * shownCols.size() + tc);
                QCOMPARE(t->child(index), cell); // one interface per cell
            }
        }
        QVERIFY(!ti()->cellAt(rows - 1, 0));
        QVERIFY(!ti()->cellAt(0, shownCols.size()));
        QVERIFY(!t->child(t->childCount()));
    }

    // A cell names a place in the grid and reads it anew each time.
    void cellsFollowTheGrid() {
        fill(4, 3);
        QAccessibleInterface* cell = ti()->cellAt(0, 1);
        g->setField(1, 1, QStringLiteral("食費"));
        QCOMPARE(name(cell), QStringLiteral("食費"));
        g->SortOn(1, 7); // "食費" sorts after "2-1" and "3-1"
        QCOMPARE(name(cell), QStringLiteral("2-1"));
        QCOMPARE(name(ti()->cellAt(2, 1)), QStringLiteral("食費"));
        g->setMaxRow(2);
        QVERIFY(!ti()->cellAt(1, 1));
        QCOMPARE(ti()->rowCount(), 1);
    }

    void selectionAsCells() {
        fill(5, 4);
        g->setRow(1);
        g->setCol(1);
        QCOMPARE(ti()->selectedCellCount(), 0); // the current cell alone is no selection
        QVERIFY(!ti()->cellAt(0, 1)->tableCellInterface()->isSelected());
        g->setRowSel(2);
        g->setColSel(2);
        QCOMPARE(ti()->selectedCellCount(), 4);
        QCOMPARE(ti()->selectedCells().size(), 4);
        QVERIFY(ti()->cellAt(1, 2)->state().selected);
        QVERIFY(!ti()->cellAt(2, 2)->state().selected);
        QCOMPARE(ti()->selectedRows(), QList<int>{});
        g->setCol(0);
        g->setColSel(3); // every column of rows 1 and 2
        g->setRowSel(2);
        QCOMPARE(ti()->selectedRows(), (QList<int>{0, 1}));
        QVERIFY(ti()->isRowSelected(1));
        QVERIFY(!ti()->isColumnSelected(0));
    }

    // The current cell is the focused one, and a client listening hears of
    // each move; one that is not listening costs the grid nothing.
    void focusFollowsTheCurrentCell() {
        fill(6, 4);
        g->setColWidth(1, 0);
        g->setRow(2);
        g->setCol(2);
        QAccessibleInterface* t = table();
        QCOMPARE(t->focusChild(), ti()->cellAt(1, 1));
        QVERIFY(ti()->cellAt(1, 1)->state().focused);
        QVERIFY(!ti()->cellAt(1, 2)->state().focused);

        fendra::setAccessibilityEventTap(recordEvent);
        for (Qt::Key k : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Left}) {
            QTest::keyClick(g->flgMain(), k); // the last one over the hidden column
            settle();
        }
        QCOMPARE(g->col(), 0);
        QList<int> children;
        for (const Seen& s : focusEvents())
            children << s.child;
        // children: header row first, three shown columns a row
        QCOMPARE(children, (QList<int>{2 * 3 + 2, 3 * 3 + 2, 3 * 3 + 1, 3 * 3 + 0}));
        QCOMPARE(t->focusChild(), ti()->cellAt(2, 0));
        QCOMPARE(t->child(children.last()), ti()->cellAt(2, 0));

        seen.clear(); // a click, and the grid's own setters
        const QRect r = ti()->cellAt(3, 2)->rect();
        QCOMPARE(t->childAt(r.center().x(), r.center().y()), ti()->cellAt(3, 2));
        QTest::mouseClick(g->flgMain()->viewport(), Qt::LeftButton, {},
                          g->flgMain()->viewport()->mapFromGlobal(r.center()));
        settle();
        g->setRow(1);
        settle();
        QCOMPARE(focusEvents().size(), 2);
        QCOMPARE(focusEvents()[0].child, 4 * 3 + 2);
        QCOMPARE(focusEvents()[1].child, 1 * 3 + 2);

        fill(60, 4); // a cell scrolled out of view has no place on the screen
        g->setTopRow(40);
        QCOMPARE(g->TopRow(), 40);
        QVERIFY(ti()->cellAt(0, 0)->rect().isEmpty());
        QVERIFY(ti()->cellAt(0, 0)->state().offscreen);
        QVERIFY(!ti()->cellAt(39, 0)->rect().isEmpty());
        QVERIFY(!ti()->cellAt(39, 0)->state().offscreen);
    }

    // A new shape of the grid is told as a reset; the cells of the old shape
    // are gone, so that no client reads a place that no longer exists.
    void shapeChangeResetsTheCells() {
        fill(4, 3);
        fendra::setAccessibilityEventTap(recordEvent);
        g->setRow(1); // the interfaces learn the shape
        settle();
        const QAccessible::Id id = QAccessible::uniqueId(ti()->cellAt(2, 2));
        seen.clear();
        g->setColWidth(1, 0);
        QCOMPARE(seen.size(), 0); // not in the middle of the host's changes
        settle();
        QVERIFY(!QAccessible::accessibleInterface(id));
        // the reset, then the focused cell again (the one the client knew is gone)
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].type, QAccessible::TableModelChanged);
        QCOMPARE(seen[0].change, QAccessibleTableModelChangeEvent::ModelReset);
        QCOMPARE(seen[1].type, QAccessible::Focus);
        QCOMPARE(name(ti()->cellAt(2, 1)), QStringLiteral("3-2"));
        seen.clear();
        for (int rows = 5; rows <= 50; ++rows) // one burst: one reset
            g->setMaxRow(rows);
        settle();
        QCOMPARE(seen.size() - focusEvents().size(), 1);
        seen.clear();
        g->setField(3, 0, QStringLiteral("x")); // a text is no new shape
        settle();
        QCOMPARE(seen.size(), 0);
        QCOMPARE(ti()->rowCount(), 49);
    }

    // The editor is an editable text inside the cell it edits; what a client
    // types there is typed into the cell.
    void editorInsideTheCell() {
        fill(4, 3);
        g->setRow(2);
        g->setCol(1);
        QAccessibleInterface* cell = ti()->cellAt(1, 1);
        QCOMPARE(cell->childCount(), 0);
        QTest::keyClick(g->flgMain(), Qt::Key_F2);
        QVERIFY(g->isEditorOpen());
        QAccessibleInterface* ed = table()->focusChild();
        QVERIFY(ed);
        QCOMPARE(ed->role(), QAccessible::EditableText);
        QCOMPARE(ed->parent(), cell);
        QCOMPARE(cell->childCount(), 1);
        QCOMPARE(cell->child(0), ed);
        QCOMPARE(cell->indexOfChild(ed), 0);
        QCOMPARE(cell->focusChild(), ed);
        QVERIFY(ed->state().editable && ed->state().focused);
        QCOMPARE(ed->text(QAccessible::Name), QStringLiteral("見出し1"));
        QCOMPARE(ed->text(QAccessible::Value), QStringLiteral("2-1"));

        typeText(QStringLiteral("外食"));
        QAccessibleTextInterface* text = ed->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 2);
        QCOMPARE(text->text(0, 2), QStringLiteral("外食"));
        QCOMPARE(text->cursorPosition(), 2);
        QVERIFY(!text->characterRect(1).isEmpty());
        ed->editableTextInterface()->insertText(0, QStringLiteral("昼の"));
        ed->editableTextInterface()->replaceText(3, 4, QStringLiteral("和"));
        QCOMPARE(ed->text(QAccessible::Value), QStringLiteral("昼の外和"));
        text->setSelection(0, 0, 2);
        int s = -1, e = -1;
        text->selection(0, &s, &e);
        QCOMPARE(std::make_pair(s, e), std::make_pair(0, 2));

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!g->isEditorOpen());
        QCOMPARE(g->Field(2, 1), QStringLiteral("昼の外和"));
        QCOMPARE(name(cell), QStringLiteral("昼の外和"));
        QCOMPARE(cell->childCount(), 0);
        QCOMPARE(table()->focusChild(), cell);
    }

    // Reading one cell of a huge grid makes one cell interface, not one per
    // row: the cells before it are never visited.
    void oneCellOfAHugeGrid() {
        g->setMaxCol(4);
        g->setMaxRow(1000001);
        g->setField(999999, 3, QStringLiteral("最後"));
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 1000; ++i)
            QCOMPARE(name(ti()->cellAt(999998, 3)), QStringLiteral("最後"));
        QCOMPARE(table()->childCount(), 1000001 * 4);
        QVERIFY2(t.elapsed() < 500, qPrintable(QString::number(t.elapsed())));
    }
};

QTEST_MAIN(TestGridAccess)
#include "tst_gridaccess.moc"
