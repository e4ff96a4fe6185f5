#include "CondTextBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace {
bool isMarkFormat(const QTextCharFormat& f) {
    const QBrush b = f.foreground();
    return b.style() != Qt::NoBrush && b.color().rgb() == CondTextBox::markColor().rgb();
}

QString withNewlines(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

// Takes the window's lock for one handler of the box; handlers that run
// inside another one of the box (a paste started by a key) share it.
class CondTextBox::Handler {
public:
    explicit Handler(CondTextBox* box) : mBox(box) {
        mEntered = box->mDepth > 0 || !box->mEnter || box->mEnter();
        if (mEntered) ++box->mDepth;
    }
    ~Handler() {
        if (!mEntered) return;
        if (--mBox->mDepth == 0 && mBox->mLeave) mBox->mLeave();
    }
    Handler(const Handler&) = delete;
    Handler& operator=(const Handler&) = delete;
    explicit operator bool() const { return mEntered; }

private:
    CondTextBox* mBox;
    bool mEntered = false;
};

CondTextBox::CondTextBox(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setTabChangesFocus(true);
    // Dropping would move text out of an item's middle; the box takes text
    // by typing, the input method and pasting only.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
}

void CondTextBox::setGuard(std::function<bool()> enter, std::function<void()> leave) {
    mEnter = std::move(enter);
    mLeave = std::move(leave);
}

QTextCharFormat CondTextBox::markedFormat() const {
    QTextCharFormat f;
    f.setForeground(markColor());
    f.setFontWeight(QFont::Bold);
    return f;
}

QTextCharFormat CondTextBox::ordinaryFormat() const {
    QTextCharFormat f;
    if (mDefaultColor.style() != Qt::NoBrush) f.setForeground(mDefaultColor);
    f.setFontWeight(QFont::Normal);
    return f;
}

int CondTextBox::length() const {
    return document()->characterCount() - 1;
}

bool CondTextBox::isMarked(int pos) const {
    if (pos < 0 || pos >= length()) return false;
    const QTextBlock b = document()->findBlock(pos);
    if (!b.isValid() || pos >= b.position() + b.length() - 1) return false; // a line end
    QTextCursor c(document());
    c.setPosition(pos + 1); // the format of the character before the cursor
    return isMarkFormat(c.charFormat());
}

bool CondTextBox::rangeHasMarked(int from, int to) const {
    for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() < to;
         b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.position() < to && f.position() + f.length() > from &&
                isMarkFormat(f.charFormat()))
                return true;
        }
    }
    return false;
}

QString CondTextBox::conditionText() const {
    // As typed: a plain-text reading would turn a no-break space into a
    // blank and a line separator into a line end, and a value taken from
    // the list would no longer match.
    QString t = document()->toRawText();
    t.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return t;
}

void CondTextBox::setConditionText(const QString& text) {
    // a new text: nothing before it can be undone back into the box
    document()->setUndoRedoEnabled(false);
    setPlainText(withNewlines(text));
    QTextCursor c(document());
    c.select(QTextCursor::Document);
    c.setCharFormat(ordinaryFormat());
    c.clearSelection();
    document()->setUndoRedoEnabled(true);
    setTextCursor(c);
    setCurrentCharFormat(ordinaryFormat());
}

void CondTextBox::insertItem(const QString& text) {
    QTextCursor c = textCursor();
    c.setPosition(c.selectionStart());
    c.beginEditBlock(); // one step for undo: the item comes and goes whole
    c.insertText(text, markedFormat());
    c.endEditBlock();
    // The caret stays behind the item without selecting what follows: a
    // following item keeps its colour, and the next key replaces nothing.
    setTextCursor(c);
    setCurrentCharFormat(ordinaryFormat());
}

bool CondTextBox::refusedHere() const {
    const QTextCursor c = textCursor();
    if (c.hasSelection()) return rangeHasMarked(c.selectionStart(), c.selectionEnd());
    const int s = c.position();
    return isMarked(s - 1) && isMarked(s);
}

bool CondTextBox::insertOrdinary(const QString& text) {
    if (refusedHere()) return false;
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.removeSelectedText();
    const QStringList lines = withNewlines(text).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) c.insertBlock(c.blockFormat(), ordinaryFormat());
        if (!lines[i].isEmpty()) c.insertText(lines[i], ordinaryFormat());
    }
    c.endEditBlock();
    setTextCursor(c);
    setCurrentCharFormat(ordinaryFormat());
    ensureCursorVisible();
    return true;
}

bool CondTextBox::removeItems(int s, int l, bool forward) {
    const int n = length();
    int a = 0, b = 0;
    if (l > 0) {
        a = s;
        b = s + l - 1;
    } else {
        // the character the key would remove: Delete the one after the
        // caret, Backspace the one before
        a = b = forward ? s : s - 1;
    }
    if (a < 0 || b >= n) return false;
    // Without an item character in the range the widening below ends with
    // a behind b: nothing to remove (found without walking the whole text).
    if (!rangeHasMarked(a, b + 1)) return false;
    if (isMarked(b)) {
        while (b + 1 < n && isMarked(b + 1))
            ++b;
    } else {
        while (b > 0 && !isMarked(b))
            --b;
    }
    if (isMarked(a)) {
        while (a > 0 && isMarked(a - 1))
            --a;
    } else {
        while (a < n && !isMarked(a))
            ++a;
    }
    if (a > b) return false;
    QTextCursor c(document());
    bool deleted = false;
    c.beginEditBlock();
    for (int i = b; i >= a; --i) {
        if (!isMarked(i)) continue;
        c.setPosition(i);
        c.setPosition(i + 1, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        deleted = true;
    }
    c.endEditBlock();
    if (!deleted) return false;
    c.setPosition(a);
    setTextCursor(c);
    setCurrentCharFormat(ordinaryFormat());
    return true;
}

void CondTextBox::deleteSelection() {
    QTextCursor c = textCursor();
    if (!c.hasSelection()) return;
    const int s = c.selectionStart(), l = c.selectionEnd() - s;
    if (!removeItems(s, l, true)) {
        c.removeSelectedText();
        setTextCursor(c);
    }
}

void CondTextBox::cutWhole() {
    QTextCursor c = textCursor();
    if (!c.hasSelection()) return;
    // an item that the selection cuts through goes as a whole
    int from = c.selectionStart(), to = c.selectionEnd();
    while (from > 0 && isMarked(from - 1) && isMarked(from))
        --from;
    while (to < length() && isMarked(to - 1) && isMarked(to))
        ++to;
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    QApplication::clipboard()->setText(
        c.selectedText().replace(QChar::ParagraphSeparator, QStringLiteral("\r\n")));
    c.removeSelectedText();
    setTextCursor(c);
    setCurrentCharFormat(ordinaryFormat());
}

void CondTextBox::keyPressEvent(QKeyEvent* e) {
    emit userInput();
    Handler h(this);
    e->accept();
    if (!h) return; // another handler of the window is running: the key is dropped
    handleKey(e);
}

void CondTextBox::handleKey(QKeyEvent* e) {
    if (e->matches(QKeySequence::Cut)) {
        cutWhole();
        return;
    }
    const bool wordOrLine =
        e->matches(QKeySequence::DeleteStartOfWord) || e->matches(QKeySequence::DeleteEndOfWord) ||
        e->matches(QKeySequence::DeleteEndOfLine) || e->matches(QKeySequence::DeleteCompleteLine);
    if (wordOrLine) {
        // what the box would remove, with the items it touches removed whole
        QTextCursor c = textCursor();
        if (!c.hasSelection()) {
            if (e->matches(QKeySequence::DeleteStartOfWord))
                c.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
            else if (e->matches(QKeySequence::DeleteEndOfWord))
                c.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
            else if (e->matches(QKeySequence::DeleteEndOfLine))
                c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            else
                c.select(QTextCursor::BlockUnderCursor);
        }
        if (rangeHasMarked(c.selectionStart(), c.selectionEnd())) {
            removeItems(c.selectionStart(), c.selectionEnd() - c.selectionStart(), true);
            return;
        }
        QTextEdit::keyPressEvent(e);
        return;
    }
    if (e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace) {
        const QTextCursor c = textCursor();
        const int s = c.selectionStart(), l = c.selectionEnd() - s;
        if (removeItems(s, l, e->key() == Qt::Key_Delete)) return;
        QTextEdit::keyPressEvent(e);
        return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (!(e->modifiers() & Qt::ControlModifier)) insertOrdinary(QStringLiteral("\n"));
        return;
    }
    const QString text = e->text();
    bool printable =
        !text.isEmpty() && !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    for (const QChar ch : text)
        if (!ch.isPrint() && !ch.isSurrogate()) printable = false;
    if (printable) {
        insertOrdinary(text); // refused inside an item: the key is swallowed
        return;
    }
    QTextEdit::keyPressEvent(e);
}

void CondTextBox::inputMethodEvent(QInputMethodEvent* e) {
    e->accept();
    const bool commit = !e->commitString().isEmpty() || e->replacementLength() > 0;
    const QString shown = textCursor().block().layout()->preeditAreaText();
    if (commit || e->preeditString() != shown) emit userInput();
    if (refusedHere()) {
        // nothing composed lands inside an item: a composition shown there is dropped
        if (!shown.isEmpty()) {
            QInputMethodEvent clear;
            QTextEdit::inputMethodEvent(&clear);
        }
        return;
    }
    Handler h(this);
    if (!h) return;
    if (commit) {
        QTextCursor c = textCursor();
        c.beginEditBlock();
        c.removeSelectedText();
        if (e->replacementLength() > 0 || e->replacementStart() != 0) {
            const int from = c.position() + e->replacementStart();
            const int to = from + e->replacementLength();
            if (from >= 0 && to <= length() && !rangeHasMarked(from, to)) {
                c.setPosition(from);
                c.setPosition(to, QTextCursor::KeepAnchor);
                c.removeSelectedText();
            }
        }
        if (!e->commitString().isEmpty()) c.insertText(e->commitString(), ordinaryFormat());
        c.endEditBlock();
        setTextCursor(c);
        setCurrentCharFormat(ordinaryFormat());
    }
    // The composition still going on is shown by the box, in the colour and
    // weight of ordinary text: beside an item it would otherwise look like a
    // part of it.
    QTextCharFormat ordinary = ordinaryFormat();
    if (!ordinary.hasProperty(QTextFormat::ForegroundBrush))
        ordinary.setForeground(palette().text());
    QList<QInputMethodEvent::Attribute> attributes;
    if (!e->preeditString().isEmpty())
        attributes.append({QInputMethodEvent::TextFormat, 0,
                           static_cast<int>(e->preeditString().size()), ordinary});
    for (QInputMethodEvent::Attribute a : e->attributes()) {
        if (a.type == QInputMethodEvent::TextFormat) {
            QTextCharFormat f = ordinary;
            f.merge(qvariant_cast<QTextFormat>(a.value).toCharFormat());
            a.value = f;
        }
        attributes.append(a);
    }
    QInputMethodEvent rest(e->preeditString(), attributes);
    QTextEdit::inputMethodEvent(&rest);
}

bool CondTextBox::canInsertFromMimeData(const QMimeData* source) const {
    return source && source->hasText();
}

void CondTextBox::insertFromMimeData(const QMimeData* source) {
    if (!canInsertFromMimeData(source)) return;
    emit userInput();
    Handler h(this);
    if (!h) return;
    insertOrdinary(source->text()); // plain text only, never another program's formatting
}

void CondTextBox::contextMenuEvent(QContextMenuEvent* e) {
    const bool sel = textCursor().hasSelection();
    QMenu menu(this);
    auto add = [&](const QString& text, bool enabled, auto&& work) {
        QAction* a = menu.addAction(text);
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, [this, work] {
            emit userInput();
            Handler h(this);
            if (h) work();
        });
    };
    add(QStringLiteral("元に戻す(&U)"), document()->isUndoAvailable(), [this] { undo(); });
    add(QStringLiteral("やり直し(&R)"), document()->isRedoAvailable(), [this] { redo(); });
    menu.addSeparator();
    add(QStringLiteral("切り取り(&T)"), sel, [this] { cutWhole(); });
    add(QStringLiteral("コピー(&C)"), sel, [this] { copy(); });
    add(QStringLiteral("貼り付け(&P)"), canPaste(), [this] { paste(); });
    add(QStringLiteral("削除(&D)"), sel, [this] { deleteSelection(); });
    menu.addSeparator();
    add(QStringLiteral("すべて選択(&A)"), length() > 0, [this] { selectAll(); });
    menu.exec(e->globalPos());
}

void CondTextBox::mousePressEvent(QMouseEvent* e) {
    // A press inside the selection would start dragging it away, an item's
    // half perhaps; it only places the caret.
    QTextCursor c = textCursor();
    if (e->button() == Qt::LeftButton && c.hasSelection()) {
        c.clearSelection();
        setTextCursor(c);
    }
    QTextEdit::mousePressEvent(e);
}
