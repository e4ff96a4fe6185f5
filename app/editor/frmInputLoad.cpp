// The editor's loading: the first rows at once, the rest in steps from the
// event loop while the window stays usable for looking; the completion
// lists and what a load warns of.
#include "CellValues.h"
#include "Dialogs.h"
#include "Profile.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace {
// Enough rows for any screen: the window shows them before the rest is read.
constexpr int FirstRows = 400;
// Each step of the rest takes about this long, so that the window answers
// between two steps.
constexpr qint64 StepMs = 40;
} // namespace

void frmInput::LoadRows() {
    stopLoading();
    mGrid->CloseEditor(false);
    fillStep([&] { return mSession->beginLoad(FirstRows); });
}

void frmInput::fillStep(const std::function<EditSession::LoadStep()>& step) {
    mLoading = true;
    // A load's first step fills the grid anew and is painted once it is
    // in; the steps after it add rows below, which the grid paints only
    // where they show, until the last one (which may sort) is painted whole.
    const bool anew = !isLoadingRows();
    struct Done {
        frmInput* w;
        bool anew;
        ~Done() {
            w->mLoading = false;
            if (anew || !w->isLoadingRows()) w->mGrid->setRedraw(true);
        }
    } done{this, anew};
    if (anew) mGrid->setRedraw(false);
    QElapsedTimer took;
    took.start();
    const int before = mSession->rowsRead();
    EditSession::LoadStep s = step();
    // the next step reads as many rows as fit in its time
    const qint64 ms = std::max<qint64>(took.elapsed(), 1);
    const int read = mSession->rowsRead() - before;
    if (read > 0)
        mStepRows = static_cast<int>(std::clamp<qint64>(read * StepMs / ms, 1000, 200000));
    if (!s.done) {
        if (!mGrid->ReadOnly()) {
            mGrid->setReadOnly(true);
            mGrid->setCursor(Qt::BusyCursor);
        }
        const QLocale numbers(QLocale::Japanese);
        mStatusPanel->setText(
            QStringLiteral("読み込み中… %1 / %2 件")
                .arg(numbers.toString(mSession->rowsRead()),
                     numbers.toString(std::max(mSession->rowsExpected(), mSession->rowsRead()))));
        ShowRowCount();
        if (!mLoadTimer) {
            mLoadTimer = new QTimer(this);
            mLoadTimer->setSingleShot(true);
            connect(mLoadTimer, &QTimer::timeout, this, [this] {
                command([this] { fillStep([this] { return mSession->loadMore(mStepRows); }); });
            });
        }
        mLoadTimer->start(0);
        return;
    }
    endLoading();
    if (!s.result.ok) {
        if (!mLoadCancelled) reportLoadFailure(s.result);
        return;
    }
    applyInputLists(s.result);
    mGrid->clearUndo(); // the steps belonged to the rows read before
    mModified = false;
    ShowRowCount();
}

void frmInput::endLoading() {
    if (mLoadTimer) mLoadTimer->stop();
    if (mGrid->ReadOnly()) {
        mGrid->setReadOnly(false);
        mGrid->unsetCursor();
    }
    if (mStatusPanel->text().startsWith(QStringLiteral("読み込み中"))) mStatusPanel->clear();
}

void frmInput::stopLoading() {
    if (!mSession || !mSession->isLoading()) return;
    mLoadCancelled = true;
    mSession->cancelLoad();
    endLoading();
    mLoadCancelled = false;
}

void frmInput::finishLoading() {
    while (isLoadingRows())
        fillStep([this] { return mSession->loadMore(std::numeric_limits<int>::max()); });
}

bool frmInput::isLoadingRows() const {
    return mSession && mSession->isLoading();
}

bool frmInput::refusedWhileLoading() {
    if (!isLoadingRows()) return false;
    statusBar()->showMessage(
        QStringLiteral("表を読み込み中です。読み込みが終わってからもう一度どうぞ。"), 5000);
    return true;
}

void frmInput::LoadForeignValues(int mode) {
    applyInputLists(mSession->loadForeignValues(mode));
    mGrid->setRedraw(true);
}

void frmInput::applyInputLists(const EditSession::LoadResult& loaded) {
    for (const QString& w : loaded.warnings)
        msgBox(this, w);
    mGrid->InputClear();
    mGrid->setInputColsNum(numberCount() + foreignCount() + 1);
    qint64 total = 0;
    for (const auto& list : loaded.lists) {
        mGrid->setInputColMax(list.col, list.on ? list.size : 0);
        mGrid->setInputSW(list.col, list.on ? 1 : 0);
        if (list.on) total += list.size;
    }
    mGrid->setInputMax(static_cast<int>(total + 1));
    mGrid->InputIndexMake();
    for (const auto& list : loaded.lists)
        for (int v = 0; v < list.values.size(); ++v)
            mGrid->setInputCol(list.col, v + 1, list.values[v]);
    mGrid->SortInputDatas();
    mKnownTexts.clear();
    const ColumnDefs& foreign = mSession->foreignColumns();
    for (int j = 1; j <= foreignCount(); ++j) {
        if (!foreign[j].InputPlus) continue;
        const ColumnDef& linked = mSession->columns()[foreign[j].LinkIndex];
        KnownTexts known;
        known.type = foreign[j].GaibuTableColeDataType;
        // a lookup table outside the catalog goes by its own name
        QString table = cutAtNul(Profile::GetString(
            linked.GaibuTableName, QStringLiteral("TableJPName"), {}, 255, modMorvi::strIniPath));
        if (table.isEmpty()) table = linked.GaibuTableName;
        known.note = QStringLiteral("保存すると新しい%1として追加されます").arg(table);
        for (const auto& list : loaded.lists)
            if (list.col == foreign[j].ipointx)
                for (const QString& v : list.values)
                    known.texts.insert(CellValues::matchedText(v, known.type));
        mKnownTexts.insert(foreign[j].ipointx, std::move(known));
    }
}

void frmInput::reportLoadFailure(const EditSession::LoadResult& loaded, bool afterSave) {
    QString text = afterSave ? QStringLiteral("保存しましたが、") : QString();
    text += QStringLiteral("表を読み出せませんでした。");
    // an open window shows what may be only part of the table
    if (isVisible())
        text +=
            QStringLiteral("表示中の内容は不完全なため保存できません。再読み出ししてください。");
    if (!loaded.error.isEmpty()) text += QStringLiteral("\n\n") + loaded.error;
    msgBox(this, text);
}
