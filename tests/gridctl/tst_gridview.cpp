// The grid's view: scrolling by keys, wheel and drag, the header's borders
// and texts, alignment, the menu key, and pastes of lines ending in LF.
#include "GridFixture.h"

#include <QInputMethod>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>

class TestGridView : public GridFixture {
    Q_OBJECT
private slots:
    void init() { setUpGrid(); }
    void cleanup() { win.reset(); }

    void arrowsAtTheEdgeScrollByOne_data() {
        QTest::addColumn<bool>("across");
        QTest::addColumn<bool>("shift");
        QTest::newRow("Down") << false << false;
        QTest::newRow("Shift+Down") << false << true;
        QTest::newRow("Right") << true << false;
        QTest::newRow("Shift+Right") << true << true;
    }
    void arrowsAtTheEdgeScrollByOne() {
        QFETCH(bool, across);
        QFETCH(bool, shift);
        fill(200, 30);
        const Qt::KeyboardModifiers m = shift ? Qt::ShiftModifier : Qt::NoModifier;
        // an input method places its candidates at the cell, wherever it moves
        QSignalSpy moved(QGuiApplication::inputMethod(), &QInputMethod::cursorRectangleChanged);
        auto checkMoved = qScopeGuard([&] { QVERIFY(!moved.isEmpty()); });
        if (!across) {
            const int last = lastFullRow();
            at(last, 0);
            key(gridWidget(), Qt::Key_Down, m);
            QCOMPARE(shift ? g->RowSel() : g->row(), last + 1);
            QCOMPARE(g->TopRow(), 2);
            QVERIFY(g->RowIsVisible(last + 1));
        } else {
            const int last = lastFullCol();
            at(1, last);
            key(gridWidget(), Qt::Key_Right, m);
            QCOMPARE(shift ? g->ColSel() : g->col(), last + 1);
            QCOMPARE(g->LeftCol(), 1);
            QVERIFY(g->ColIsVisible(last + 1));
        }
    }

    void wheelScrollsForSmallDeltasAndSideways() {
        fill(200, 30);
        for (int i = 0; i < 8; ++i)
            wheel({0, -15}); // one notch in eighths, as a fine wheel sends it
        QCOMPARE(g->TopRow(), 4);
        wheel({0, 120});
        QCOMPARE(g->TopRow(), 1);
        wheel({-120, 0}); // a horizontal wheel
        QCOMPARE(g->LeftCol(), 1);
        wheel({0, -120}, Qt::ShiftModifier);
        QCOMPARE(g->LeftCol(), 2);
        QCOMPARE(g->TopRow(), 1);
        for (int i = 0; i < 4; ++i)
            wheel({30, 0});
        QCOMPARE(g->LeftCol(), 1);
    }

    void draggingPastTheEdgeScrolls() {
        fill(200, 30);
        const QPoint start = cellPoint(2, 1);
        QTest::mousePress(vp(), Qt::LeftButton, {}, start);
        const QPoint below(start.x(), vp()->height() + 10);
        dragTo(below);
        QTRY_VERIFY(g->TopRow() > 2);
        QCOMPARE(g->row(), 2);
        QVERIFY(g->RowSel() >= lastFullRow());
        QTest::mouseRelease(vp(), Qt::LeftButton, {}, below);
        const int top = g->TopRow();
        QTest::qWait(150);
        QCOMPARE(g->TopRow(), top); // stops with the button

        const QPoint inside = cellPoint(top + 1, 1);
        QTest::mousePress(vp(), Qt::LeftButton, {}, inside);
        dragTo(QPoint(inside.x(), 2)); // over the header row
        QTRY_VERIFY(g->TopRow() < top);
        QCOMPARE(g->RowSel(), g->TopRow());
        dragTo(QPoint(vp()->width() + 10, inside.y()));
        QTRY_VERIFY(g->LeftCol() > 0);
        QTest::mouseRelease(vp(), Qt::LeftButton, {}, QPoint(vp()->width() + 10, inside.y()));
        QVERIFY(g->ColSel() >= lastFullCol());
    }

    // ---- columns ---------------------------------------------------------------

    void headerBorderDragResizesTheColumn() {
        fill(20, 5);
        QSignalSpy edited(g, &usrFlg::cellsEdited);
        at(3, 3);
        const int before = g->ColWidth(1);
        const int border = pxX(g->ColPos(2)) - 1;
        const int y = pxY(g->RowPos(0)) + 3;
        QTest::mousePress(vp(), Qt::LeftButton, {}, QPoint(border, y));
        dragTo(QPoint(border + 40, y));
        QTest::mouseRelease(vp(), Qt::LeftButton, {}, QPoint(border + 40, y));
        QVERIFY(std::abs(g->ColWidth(1) - (before + 40 * g->twipsPerPixelX())) <=
                g->twipsPerPixelX());
        QCOMPARE(g->row(), 3); // no column selected
        QCOMPARE(g->RowSel(), 3);
        QCOMPARE(edited.count(), 0); // a width is not a change of the table

        // never down to nothing: a width of 0 would hide the column
        const int b2 = pxX(g->ColPos(2)) - 1;
        QTest::mousePress(vp(), Qt::LeftButton, {}, QPoint(b2, y));
        dragTo(QPoint(0, y));
        QTest::mouseRelease(vp(), Qt::LeftButton, {}, QPoint(0, y));
        QVERIFY(g->ColWidth(1) > 0);

        // a double click on the border fits the widest shown text
        const QString wide = QStringLiteral("とても長い品名の文字列です");
        g->setField(4, 1, wide);
        const int b3 = pxX(g->ColPos(2)) - 1;
        QTest::mouseDClick(vp(), Qt::LeftButton, {}, QPoint(b3, y));
        const int textPx = QFontMetrics(gridWidget()->font()).horizontalAdvance(wide);
        QVERIFY(pxX(g->ColWidth(1)) >= textPx + 2);
        QVERIFY(pxX(g->ColWidth(1)) <= textPx + 12);
    }

    void headerTextIsWholeWhenItFits_data() {
        QTest::addColumn<int>("room"); // pixels beyond the text's own width
        QTest::addColumn<bool>("whole");
        QTest::newRow("2 px") << 2 << true;
        QTest::newRow("4 px") << 4 << true;
        QTest::newRow("10 px") << 10 << true;
        QTest::newRow("too narrow") << -5 << false;
    }
    void headerTextIsWholeWhenItFits() {
        QFETCH(int, room);
        QFETCH(bool, whole);
        const QFontMetrics fm(gridWidget()->font());
        const QString t = QStringLiteral("購入した月");
        const int w = fm.horizontalAdvance(t) + room;
        const QString shown = fendra::fitText(fm, t, w).text;
        QCOMPARE(shown == t, whole);
        QVERIFY(fm.horizontalAdvance(shown) <= w);
    }

    void columnAlignment() {
        fill(4, 3);
        QCOMPARE(g->ColAlignment(1), Qt::Alignment(Qt::AlignLeft));
        g->setColAlignment(1, Qt::AlignRight);
        g->setColAlignment(2, Qt::AlignHCenter);
        QCOMPARE(g->ColAlignment(1), Qt::Alignment(Qt::AlignRight));
        g->setMaxCol(4);
        QCOMPARE(g->ColAlignment(1), Qt::Alignment(Qt::AlignRight));
        QCOMPARE(g->ColAlignment(3), Qt::Alignment(Qt::AlignLeft));
        QVERIFY_THROWS_EXCEPTION(GridError, g->setColAlignment(9, Qt::AlignRight));

        for (int c = 0; c < 3; ++c)
            g->setField(1, c, "1");
        at(3, 3);
        const QImage img = vp()->grab().toImage();
        const int top = pxY(g->RowPos(1)), h = pxY(g->RowHeight(1));
        auto inkRange = [&](int c) {
            const int x0 = pxX(g->ColPos(c)), w = pxX(g->ColWidth(c));
            int first = -1, last = -1;
            for (int x = x0; x < x0 + w - 1; ++x)
                for (int y = top + 1; y < top + h - 1; ++y)
                    if (qGray(img.pixel(x, y)) < 128) {
                        if (first < 0) first = x - x0;
                        last = x - x0;
                    }
            return std::make_pair(first, w - 1 - last); // room left, room right
        };
        const auto left = inkRange(0), right = inkRange(1), centre = inkRange(2);
        QVERIFY(left.first >= 0 && left.first < 6);
        QVERIFY(right.second < 7 && right.first > 20);
        QVERIFY(std::abs(centre.first - centre.second) <= 3);

        at(1, 1); // the editor sits as the text does
        key(gridWidget(), Qt::Key_F2);
        QVERIFY(ed()->alignment() & Qt::AlignRight);
        key(ed(), Qt::Key_Escape);
        at(1, 0);
        key(gridWidget(), Qt::Key_F2);
        QVERIFY(ed()->alignment() & Qt::AlignLeft);
        key(ed(), Qt::Key_Escape);
    }

    // Rows added where the view has room are painted; rows added below a
    // full view move its scroll bar and paint nothing of it.
    void addedRowsArePaintedWhereTheyShow() {
        struct Painted : QObject {
            QRegion region;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(e)->region();
                return false;
            }
        } painted;
        fill(3, 3);
        vp()->installEventFilter(&painted);
        auto grow = [&](int rows) {
            QTest::qWait(20); // what the last change asked for is painted
            painted.region = {};
            g->setMaxRow(rows);
            QTest::qWait(20);
        };
        grow(5);
        QVERIFY(painted.region.contains(cellPoint(4, 1)));
        grow(200);
        const int end = g->flgMain()->verticalScrollBar()->maximum();
        grow(5000);
        QVERIFY(painted.region.isEmpty());
        QVERIFY(g->flgMain()->verticalScrollBar()->maximum() > end);
    }

    void menuKeyOpensTheMenuAtTheCurrentCell() {
        fill(6, 3);
        clickCell(3, 1);
        QCursor::setPos(win->mapToGlobal(QPoint(630, 390)));
        key(gridWidget(), Qt::Key_Menu);
        QMenu* menu = modpub::popupForm().popup;
        QTRY_VERIFY(menu->isVisible());
        const QPoint cell = vp()->mapToGlobal(QPoint(pxX(g->ColPos(1)), pxY(g->RowPos(4))));
        const QPoint at = menu->geometry().topLeft();
        menu->hide();
        QVERIFY2((at - cell).manhattanLength() < 8, qPrintable(QStringLiteral("%1,%2 vs %3,%4")
                                                                   .arg(at.x())
                                                                   .arg(at.y())
                                                                   .arg(cell.x())
                                                                   .arg(cell.y())));
    }

    void pasteSplitsLinesEndingInLf_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("LF") << "a\tb\nc\td";
        QTest::newRow("LF at the end") << "a\tb\nc\td\n";
        QTest::newRow("CR LF at the end") << "a\tb\r\nc\td\r\n";
        QTest::newRow("both") << "a\tb\r\nc\td\n";
    }
    void pasteSplitsLinesEndingInLf() {
        QFETCH(QString, text);
        fill(5, 3);
        clickCell(1, 0);
        QApplication::clipboard()->setText(text);
        g->EditPaste();
        QCOMPARE(rowTexts(1), QStringList({"a", "b", "1-2"}));
        QCOMPARE(rowTexts(2), QStringList({"c", "d", "2-2"}));
        QCOMPARE(rowTexts(3), QStringList({"3-0", "3-1", "3-2"})); // beyond the text: untouched
    }
};

QTEST_MAIN(TestGridView)
#include "tst_gridview.moc"
