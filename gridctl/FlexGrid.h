#pragma once
#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QTimer>
#include <vector>

class usrFlg;
class GridModel;

// The painted grid view: paints only the visible cells, keeps fixed rows and
// columns frozen and scrolls by whole rows and columns. Events go to the
// owning usrFlg, which carries the control's rules.
class FlexGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    FlexGrid(usrFlg* owner, GridModel* model);
    usrFlg* owner() const { return mOwner; }

    struct Span {
        int index;
        int pos; // pixels from the viewport's edge
        int size;
    };
    // Fixed rows, then rows from TopRow on, as far as the viewport reaches.
    std::vector<Span> visibleRows() const;
    std::vector<Span> visibleCols() const;
    // Pixel position of a row's top / column's left (may lie outside the view).
    int rowPosPx(int r) const;
    int colPosPx(int c) const;
    int fixedHeightPx() const;
    int fixedWidthPx() const;
    bool rowFullyVisible(int r) const;
    bool colFullyVisible(int c) const;
    // The cell under a viewport point; false outside every cell.
    bool cellAt(const QPoint& p, int& r, int& c) const;
    int rowAt(int y) const; // -1 outside every row
    int colAt(int x) const;
    // The column whose right border in the header rows lies at p, or -1.
    int headerBorderAt(const QPoint& p) const;
    // Moves TopRow and LeftCol by whole rows and columns, within the grid.
    void scrollBy(int rows, int cols);

    void updateScrollBars();
    // The last first-visible row (column) that still fills the view.
    int maxTopRow() const;
    int maxLeftCol() const;
    int toPx(int twips, bool vertical) const;

protected:
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery q) const override;
    void resizeEvent(QResizeEvent* e) override;
    bool focusNextPrevChild(bool) override { return false; }

private:
    void dragSelect(bool scroll);
    void fitColumn(int c);

    usrFlg* mOwner;
    GridModel* mModel;
    bool mDragging = false;
    bool mSyncing = false;
    QPoint mDragPos;
    QTimer mAutoScroll; // scrolls while a selection is dragged past the edge
    int mResizeCol = -1;
    int mResizeFromX = 0;
    int mResizeFromWidth = 0;
    bool mSplitCursor = false;
    QPoint mWheelRest; // wheel movement not yet worth a row or column
};

// The in-cell editor: a borderless line edit whose events follow the
// control's editing rules.
class TxtFocus : public QLineEdit {
    Q_OBJECT
public:
    explicit TxtFocus(usrFlg* owner, QWidget* parent);
    usrFlg* owner() const { return mOwner; }

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    bool focusNextPrevChild(bool) override { return false; }

private:
    usrFlg* mOwner;
};
