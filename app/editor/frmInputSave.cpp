// The checks and the save as the user sees them (messages, red cells, the
// cursor), and closing.
#include "Dialogs.h"
#include "GridModel.h"
#include "ProgramEvents.h"
#include "RellmarkError.h"
#include "TamrocError.h"
#include "WaitCursor.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <algorithm>

using namespace modMorvi;

namespace {
const QString ForeignFailed = QStringLiteral("外部キーテーブルの更新失敗！！");
const QString MainFailed = QStringLiteral("メインテーブルの更新失敗！！");
const QString EditsKept = QStringLiteral("入力内容はそのまま残っています。");

// What went wrong in the database, in words the user can act on, and that
// nothing of the save was kept; then the database's own description.
QString explainFailure(RellmarkError::Kind kind, const QString& description) {
    using Kind = RellmarkError::Kind;
    QString what;
    if (kind == Kind::Busy)
        what = QStringLiteral("データベースが他のプログラムで使用中のため保存できませんでした。");
    else if (kind == Kind::Conflict)
        what = QStringLiteral(
            "読み出した後に他で変更または削除された行があるため保存できませんでした。");
    else if (kind == Kind::Constraint)
        what = QStringLiteral(
            "データベースの制約（重複の禁止など）に合わない値があるため保存できませんでした。");
    else if (kind == Kind::DiskFull)
        what = QStringLiteral("ディスクがいっぱいか、データベースに書き込めないため保存できません"
                              "でした。");
    else if (kind == Kind::ConnectionLost)
        what = QStringLiteral("データベースとの接続が切れたため保存できませんでした。");
    else if (kind == Kind::TimedOut)
        what =
            QStringLiteral("データベースサーバーが時間内に応えなかったため保存できませんでした。");
    else
        what = QStringLiteral("データベースでエラーが起きたため保存できませんでした。");
    what += EditsKept;
    if (!description.isEmpty()) what += QStringLiteral("\n\n") + description;
    return what;
}

QString conflictText(const QString& key) {
    if (key.isEmpty())
        return QStringLiteral("読み出した後に他で変更または削除された行があるため保存できませんでし"
                              "た。") +
               EditsKept;
    return key +
           QStringLiteral("の行は、読み出した後に他で変更または削除されたため保存できませ"
                          "んでした。") +
           EditsKept;
}

constexpr quint32 White = 0x00FFFFFF;
constexpr quint32 Red = 0x000000FF; // RGB(255, 0, 0): red in the low byte

struct GridEnabler {
    usrFlg* g;
    ~GridEnabler() { g->setEnabled(true); }
};
} // namespace

QString frmInput::checkMessage(int code) {
    switch (code) {
    case 1:
        return QStringLiteral("このフィールドは重複が禁止されています");
    case 2:
        return QStringLiteral("このフィールドは空白が禁止されています");
    case 3:
        return QStringLiteral("このフィールドは文字型のデータが禁止されています");
    case 4:
        return QStringLiteral("保存できる文字の長さを超えました");
    default:
        return {};
    }
}

bool frmInput::AssignNewKeys() {
    return mSession->assignNewKeys();
}

void frmInput::WriteNewKeys(int mode) {
    mSession->writeNewKeys(mode);
    mGrid->setRedraw(true);
}

qint16 frmInput::CountDataRows() {
    return mSession->countDataRows();
}

void frmInput::clearRed() {
    const int rows = mGrid->MaxRow();
    if (rows > 1) mGrid->setColorSet(1, 0, rows - 1, mGrid->MaxCol() - 1, White);
}

void frmInput::paintRed(int row, int col) {
    mGrid->setColorSet(row, col, row, col, Red);
    mGrid->setRedraw(true);
    mGrid->setTopRow(row);
    if (!mGrid->ColIsVisible(col)) mGrid->setLeftCol(col);
    mGrid->setRow(row);
    mGrid->setCol(col);
}

qint16 frmInput::CheckCells() {
    mGrid->setRedraw(false);
    clearRed();
    const EditSession::CheckResult check = mSession->checkCells();
    if (check.code > 0) paintRed(check.row, check.col);
    mGrid->setRedraw(true);
    return check.code;
}

QString frmInput::saveFailureText(const EditSession::SaveResult& r) const {
    using Table = EditSession::SaveResult::Table;
    if (r.outcome == EditSession::SaveResult::Outcome::Conflict)
        return MainFailed + QLatin1Char('\n') + conflictText(r.rowLabel) +
               (r.description.isEmpty() ? QString() : QStringLiteral("\n\n") + r.description);
    switch (r.table) {
    case Table::Foreign:
        return ForeignFailed + QLatin1Char('\n') + explainFailure(r.kind, r.description);
    case Table::Main:
        return MainFailed + QLatin1Char('\n') + explainFailure(r.kind, r.description);
    case Table::None:
        break;
    }
    if (r.errorNumber == 0 && r.description.isEmpty())
        return QStringLiteral("保存できませんでした。") + EditsKept;
    return explainFailure(r.kind, r.description);
}

// The cell a message is about, for the status bar: "金額（3 行目）".
QString frmInput::cellName(int row, int col) const {
    if (row < 1 || row >= mGrid->MaxRow() || col < 0 || col >= mGrid->MaxCol()) return {};
    return QStringLiteral("%1（%2 行目）").arg(mGrid->Field(0, col)).arg(row);
}

frmInput::Place frmInput::currentPlace() const {
    Place p;
    const int r = mGrid->row();
    p.col = mGrid->col();
    p.offset = r - mGrid->TopRow();
    p.leftCol = mGrid->LeftCol();
    if (r < mGrid->FixedRows() || r >= mGrid->MaxRow()) return p;
    p.row = r;
    for (int i = 1; i <= numberCount(); ++i)
        if (mSession->columns()[i].MainKey)
            p.key << mGrid->Field(r, mSession->columns()[i].ipointx);
    return p;
}

// The record of `p` by its key (a row still without one by its place), shown
// at the same height in the view as before.
void frmInput::restorePlace(const Place& p) {
    const int fr = mGrid->FixedRows(), rows = mGrid->MaxRow();
    if (rows <= fr) return;
    QList<int> keyCols;
    for (int k = 1; k <= numberCount(); ++k)
        if (mSession->columns()[k].MainKey) keyCols << mSession->columns()[k].ipointx;
    int r = -1;
    const bool keyed = keyCols.size() == p.key.size() && !p.key.join(QString()).isEmpty();
    const GridModel& m = mGrid->model();
    for (int i = fr; keyed && i < rows && r < 0; ++i) {
        bool same = true;
        for (int k = 0; k < keyCols.size() && same; ++k)
            same = m.text(i, keyCols[k]) == p.key[k];
        if (same) r = i;
    }
    if (r < 0) r = std::clamp(p.row, fr, rows - 1);
    mGrid->setTopRow(std::max(fr, r - std::max(p.offset, 0)));
    mGrid->setLeftCol(std::clamp(p.leftCol, mGrid->FixedCols(), mGrid->MaxCol() - 1));
    mGrid->setRow(r);
    mGrid->setCol(std::clamp(p.col, mGrid->FixedCols(), mGrid->MaxCol() - 1));
}

bool frmInput::SaveTable() {
    using Outcome = EditSession::SaveResult::Outcome;
    // a table not yet wholly read is no base for a save
    if (refusedWhileLoading()) return false;
    emit ProgramEvents::instance().bookAboutToBeSaved(this);
    mGrid->CloseEditor(true);
    const Place place = currentPlace();
    mGrid->setRedraw(false);
    clearRed();
    EditSession::SaveResult result;
    // Rows added below the last that were left empty hold nothing to save.
    mGrid->setAsideUntouchedRows();
    {
        GridEnabler enabler{mGrid};
        mGrid->setEnabled(false);
        mLoading = true; // what the save writes into the grid is no edit
        struct Done {
            frmInput* w;
            ~Done() { w->mLoading = false; }
        } done{this};
        result = mSession->save();
    }
    mGrid->setRedraw(true);
    if (result.outcome == Outcome::Written)
        mGrid->clearUndo(); // the steps belong to the grid before the save
    else
        mGrid->putBackSetAsideRows();
    switch (result.outcome) {
    case Outcome::Written:
        mModified = false; // what the grid held is stored, whatever the reading says
        mStatusPanel->setText(QString());
        if (!result.reload.ok) {
            reportLoadFailure(result.reload, true);
            return true;
        }
        applyInputLists(result.reload);
        restorePlace(place);
        ShowRowCount();
        return true;
    case Outcome::NotLoaded:
        msgBox(this, QStringLiteral("表を読み出せていないため保存できません。"
                                    "再読み出ししてください。"));
        return false;
    case Outcome::KeysExhausted:
        msgBox(this, QStringLiteral(
                         "使用可能なキーの限界を超えています。キー番号を全て振り直して下さい。"));
        return false;
    case Outcome::CheckFailed:
        paintRed(result.row, result.col);
        mStatusPanel->setText(cellName(result.row, result.col) + QStringLiteral("：") +
                              checkMessage(result.check));
        msgBox(this, checkMessage(result.check));
        return false;
    case Outcome::InUse:
        mStatusPanel->setText(result.description);
        msgBox(this, result.description);
        return false;
    case Outcome::Conflict:
    case Outcome::Failed:
        if (result.row >= 1 && result.row < mGrid->MaxRow() && result.col >= 0) {
            paintRed(result.row, result.col);
            mStatusPanel->setText(cellName(result.row, result.col) + QStringLiteral("：") +
                                  saveFailureText(result).section(QLatin1Char('\n'), 1, 1));
        }
        msgBox(this, saveFailureText(result));
        return false;
    }
    return false;
}

// ---- closing --------------------------------------------------------------

void frmInput::Form_QueryUnload(int& cancel, int) {
    cancel = 0;
    mGrid->CloseEditor(true); // what is being typed counts as a change

    if (mModified) {
        const auto answer = dialogs().question(this, QStringLiteral("保存しますか？？"),
                                               windowTitle() + QStringLiteral("の終了"));
        bool keep = answer == Dialogs::Answer::Cancel;
        if (answer == Dialogs::Answer::Yes) {
            WaitCursor wait;
            bool saved = false;
            command([&] { saved = SaveTable(); });
            keep = !saved; // a failed save must not lose the edits with the window
        }
        if (keep) {
            cancel = 1;
            emit ProgramEvents::instance().editorCloseAnswered(false);
            return;
        }
    }
    emit ProgramEvents::instance().editorCloseAnswered(true);
    stopLoading(); // closing gives a load in progress up
    mSession->close();
}

void frmInput::FrmMeUnload(int& cancel, int iMode) {
    Form_QueryUnload(cancel, iMode);
    if (!cancel) mUnloadApproved = true;
}

void frmInput::closeEvent(QCloseEvent* event) {
    if (mUnloadApproved) {
        stopLoading();
        event->accept();
        return;
    }
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel)
        event->ignore();
    else
        event->accept();
}
