#pragma once
#include <QBrush>
#include <QTextCharFormat>
#include <QTextEdit>
#include <functional>

// The text box of the condition editor. Column names and values inserted
// from the lists are marked items: red (255) and bold. The box knows an item
// only by that colour, and keeps items whole: Delete and Backspace remove an
// item at once, nothing is typed, pasted or composed inside one, and text
// written next to one is always ordinary.
class CondTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit CondTextBox(QWidget* parent = nullptr);

    static QColor markColor() { return QColor(255, 0, 0); }
    // The colour of ordinary text (read when the window loads).
    void setDefaultColor(const QBrush& brush) { mDefaultColor = brush; }
    QBrush defaultColor() const { return mDefaultColor; }
    QTextCharFormat markedFormat() const;
    QTextCharFormat ordinaryFormat() const;

    // Whether the character at `pos` (from 0) belongs to an item.
    bool isMarked(int pos) const;
    // Number of characters, line breaks counted as one.
    int length() const;

    // Inserts a marked item at the caret (a selection is not replaced).
    void insertItem(const QString& text);
    // The text as the condition language reads it: line ends CR LF.
    QString conditionText() const;
    // Replaces the whole text with ordinary text; CR LF, CR or LF end lines.
    void setConditionText(const QString& text);

    // The window's lock, taken by every handler that changes the text: a
    // handler that cannot take it drops its input.
    void setGuard(std::function<bool()> enter, std::function<void()> leave);

signals:
    // A key or some input reached the box (the window restarts its timer).
    void userInput();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    class Handler;
    void handleKey(QKeyEvent* e);
    // Removes the items that the range of a Delete or Backspace touches;
    // false when it holds none (the key then acts as usual).
    bool removeItems(int s, int l, bool forward);
    // Inserts ordinary text at the caret, replacing the selection; refused
    // (false) inside an item or over a selection holding item characters.
    bool insertOrdinary(const QString& text);
    bool refusedHere() const;
    bool rangeHasMarked(int from, int to) const;
    void cutWhole();
    void deleteSelection();

    QBrush mDefaultColor;
    std::function<bool()> mEnter;
    std::function<void()> mLeave;
    int mDepth = 0;
};
