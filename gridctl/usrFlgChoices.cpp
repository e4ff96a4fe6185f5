// The input choices shown under the edited cell: the values of its column's
// list that begin with what was typed (all of them after Alt+Down).
#include "FlexGrid.h"
#include "usrFlg.h"
#include "usrFlg_p.h"

#include <QListWidget>
#include <QScrollBar>

namespace {
constexpr int MaxShown = 8;     // entries in view at once
constexpr int MaxListed = 2000; // a longer list is cut (typing narrows it)
} // namespace

void usrFlg::hideChoices() {
    d->choicesAll = false;
    if (d->choices) d->choices->hide();
}

void usrFlg::updateChoices() {
    if (d->choosing) return; // the list is being clicked: it stays as it is meanwhile
    if (!d->mEditorOpen || !hasList(d->iEditCol)) {
        hideChoices();
        return;
    }
    const QString text = d->mTxt->text();
    const QString typed = d->mTxt->hasSelectedText() && text.endsWith(d->mTxt->selectedText())
                              ? text.left(d->mTxt->selectionStart())
                              : text;
    if (typed.isEmpty() && !d->choicesAll) {
        if (d->choices) d->choices->hide();
        return;
    }
    QStringList values;
    const int first = typed.isEmpty() ? sliceStart(d->iEditCol) : InputSearch(typed, false);
    for (int i = first; i >= 0 && i <= sliceEnd(d->iEditCol) && values.size() < MaxListed; ++i) {
        const QString& v = d->strInputDatas[static_cast<size_t>(i)];
        if (!v.startsWith(typed)) break;
        if (values.isEmpty() || values.back() != v) values << v;
    }
    if (values.isEmpty()) {
        if (d->choices) d->choices->hide();
        return;
    }
    if (!d->choices) {
        // A window of its own: a click on it must not give the focus to the
        // grid beneath, which would close the editor.
        d->choices = new QListWidget(this);
        d->choices->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
        d->choices->setAttribute(Qt::WA_ShowWithoutActivating);
        d->choices->setObjectName(QStringLiteral("choices"));
        d->choices->setFocusPolicy(Qt::NoFocus); // the editor keeps the keys
        d->choices->setUniformItemSizes(true);
        d->choices->setFont(d->mTxt->font());
        connect(d->choices, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
            if (!d->mEditorOpen) return;
            const QString v = item->text();
            d->choosing = true;
            d->blnTyped = false;
            d->mTxt->setText(v);
            txt_EnterOrEsc(true);
            d->choosing = false;
        });
    }
    QListWidget* list = d->choices;
    if (list->count() != values.size() || list->item(0)->text() != values.front() ||
        list->item(list->count() - 1)->text() != values.back()) {
        list->clear();
        list->addItems(values);
    }
    const QList<QListWidgetItem*> current = list->findItems(text, Qt::MatchExactly);
    list->setCurrentItem(current.isEmpty() ? nullptr : current.front());
    if (!current.isEmpty()) list->scrollToItem(current.front());
    placeChoices();
    list->show();
    list->raise();
}

void usrFlg::placeChoices() {
    QListWidget* list = d->choices;
    if (!list || !d->mEditorOpen) return;
    const QRect cell = d->mTxt->geometry();
    if (!d->mGrid->viewport()->rect().intersects(cell)) { // the cell is scrolled away
        list->hide();
        return;
    }
    const int rowPx = std::max(list->sizeHintForRow(0), 1);
    const int h = rowPx * std::min<int>(list->count(), MaxShown) + 2 * list->frameWidth();
    const int w = std::max(cell.width() + 8, 160);
    const QWidget* vp = d->mGrid->viewport();
    int y = cell.bottom() + 2;
    if (y + h > vp->height() && cell.top() - h - 2 >= 0) y = cell.top() - h - 2; // above it
    const QPoint at = vp->mapToGlobal(QPoint(std::max(cell.left() - 2, 0), y));
    list->setGeometry(at.x(), at.y(), w, h);
}
