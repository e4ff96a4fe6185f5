#pragma once
// The grid on a window of its own, with a line edit beside it to take the
// focus, and the helpers the grid's widget tests share.
#include "FendraInternal.h"
#include "Typing.h"
#include "modpub.h"
#include "usrFlg.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

class GridFixture : public QObject {
protected:
    std::unique_ptr<QWidget> win;
    usrFlg* g = nullptr;
    QLineEdit* other = nullptr;

    QWidget* gridWidget() { return g->flgMain(); }
    QLineEdit* ed() { return g->txtfocus(); }

    // rows x cols with one fixed row; cell (r, c) holds "r-c"
    void fill(int rows, int cols) {
        g->setMaxCol(cols);
        g->setMaxRow(rows);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                g->setField(r, c, QStringLiteral("%1-%2").arg(r).arg(c));
    }
    void at(int r, int c) {
        g->setRow(r);
        g->setCol(c);
    }
    void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(w, k, m);
    }
    void type(const QString& text) { typeText(text); }
    QStringList rowTexts(int r) {
        QStringList out;
        for (int c = 0; c < g->MaxCol(); ++c)
            out << g->Field(r, c);
        return out;
    }
    // Gives the grid a click so that the edit target is this grid.
    void clickCell(int r, int c) {
        const QPoint p(g->ColPos(c) / g->twipsPerPixelX() + 3,
                       g->RowPos(r) / g->twipsPerPixelY() + 3);
        QTest::mouseClick(g->flgMain()->viewport(), Qt::LeftButton, {}, p);
    }
    QWidget* vp() { return g->flgMain()->viewport(); }
    int pxX(int twips) { return twips / g->twipsPerPixelX(); }
    int pxY(int twips) { return twips / g->twipsPerPixelY(); }
    QPoint cellPoint(int r, int c) { return QPoint(pxX(g->ColPos(c)) + 3, pxY(g->RowPos(r)) + 3); }
    void wheel(QPoint angle, Qt::KeyboardModifiers m = Qt::NoModifier) {
        const QPointF p(50, 50);
        QWheelEvent e(p, vp()->mapToGlobal(p), QPoint(), angle, Qt::NoButton, m, Qt::NoScrollPhase,
                      false);
        QApplication::sendEvent(vp(), &e);
    }
    // A mouse move with the left button held, as during a drag.
    void dragTo(QPoint p) {
        QMouseEvent e(QEvent::MouseMove, p, vp()->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(vp(), &e);
    }
    int lastFullRow() {
        int r = g->TopRow();
        while (r + 1 < g->MaxRow() && g->RowIsVisible(r + 1))
            ++r;
        return r;
    }
    int lastFullCol() {
        int c = g->LeftCol();
        while (c + 1 < g->MaxCol() && g->ColIsVisible(c + 1))
            ++c;
        return c;
    }
    // Shown to the user: visible and inside the grid's cells.
    bool editorShown() { return ed()->isVisible() && vp()->rect().intersects(ed()->geometry()); }
    bool editorOverCell(int r, int c) {
        return editorShown() &&
               std::abs(ed()->x() * g->twipsPerPixelX() - (g->ColPos(c) + 32)) <
                   g->twipsPerPixelX() &&
               std::abs(ed()->y() * g->twipsPerPixelY() - (g->RowPos(r) + 32)) <
                   g->twipsPerPixelY();
    }
    QStringList cellsHolding(const QString& text) {
        QStringList out;
        for (int r = 0; r < g->model().rows(); ++r)
            for (int c = 0; c < g->MaxCol(); ++c)
                if (g->Field(r, c) == text) out << QStringLiteral("%1,%2").arg(r).arg(c);
        return out;
    }

    void setUpGrid() {
        win = std::make_unique<QWidget>();
        win->resize(640, 400);
        g = new usrFlg(win.get());
        g->setGeometry(0, 0, 600, 300);
        other = new QLineEdit(win.get());
        other->setGeometry(0, 320, 200, 24);
        win->show();
        win->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win.get()));
        gridWidget()->setFocus();
    }
};
