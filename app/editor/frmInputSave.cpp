// Saving the grid back to the database in one transaction, and closing.
#include "frmInput.h"
#include "Dialogs.h"
#include "TamrocError.h"
#include "WaitCursor.h"
#include "clsDBRecord.h"
#include "clsRellmark.h"
#include "frmSelect.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QCloseEvent>
#include <QHash>
#include <QSet>

using namespace modMorvi;

namespace {
const QString NoMatch = QStringLiteral("外部キー該当なし");

QString fieldText(const QVariant& v) { return v.isNull() ? QString() : v.toString(); }

// A value as the comparisons of the save see it: numbers by value, texts
// without regard to case.
QString normalised(const QString& text, ColumnDataType type) {
    const QVariant v = ToFieldValue(text, type);
    if (type == eText) return v.toString().toCaseFolded();
    return v.isNull() ? QString() : QString::number(v.toLongLong());
}

struct GridEnabler {
    usrFlg* g;
    ~GridEnabler() { g->setEnabled(true); }
};
} // namespace

bool frmInput::SaveTable() {
    if (!AssignNewKeys()) {
        msgBox(this, QStringLiteral("使用可能なキーの限界を超えています。キー番号を全て振り直して下さい。"));
        return false;
    }
    WriteNewKeys(0);
    const int code = CheckCells();
    if (code >= 1 && code <= 4) {
        WriteNewKeys(-1);
        msgBox(this, checkMessage(code));
        return false;
    }

    clsDBRecord transaction;
    transaction.setParentConnectClass(objDB);
    bool inTransaction = false;
    bool committed = false;
    {
        GridEnabler enabler{mGrid};
        mGrid->setEnabled(false);
        try {
            transaction.BeginTrans();
            inTransaction = true;
            if (!saveForeignTables()) {
                msgBox(this, QStringLiteral("外部キーテーブルの更新失敗！！"));
                transaction.RollBackTrans();
                return false;
            }
            if (!saveMainTable()) {
                msgBox(this, QStringLiteral("メインテーブルの更新失敗！！"));
                mRecordSetStale = true;
                transaction.RollBackTrans();
                return false;
            }
            transaction.ComittTrans();
            committed = true;
        } catch (const std::exception& e) {
            // Whatever failed, nothing of this save stays in the database and
            // the user's edits stay in the grid.
            mRecordSetStale = true;
            if (inTransaction && !committed) {
                try {
                    transaction.RollBackTrans();
                } catch (const RellmarkError&) {
                }
            }
            QString text = QString::fromStdString(e.what());
            if (auto* r = dynamic_cast<const RellmarkError*>(&e)) text = r->description();
            if (auto* t = dynamic_cast<const TamrocError*>(&e)) text = t->text();
            msgBox(this, text);
            return false;
        }
    }
    mnuFileReRead_Click();
    return true;
}

bool frmInput::saveForeignTables() {
    const int k = foreignCount();
    for (int j = 1; j <= k; ++j) {
        // Display texts were only fetched for columns with input choices;
        // the keys of the others stay as they were loaded.
        if (!mForeign[j].InputPlus) continue;
        const ColumnDef& c = mCols[mForeign[j].LinkIndex];
        const int shown = mForeign[j].ipointx;
        const ColumnDataType textType = mForeign[j].GaibuTableColeDataType;
        clsDBRecord byText, byKey;
        byText.setParentConnectClass(objDB);
        byKey.setParentConnectClass(objDB);
        byText.GetRecordSet_free(QStringLiteral("select ") + c.GaibuTableColName + QStringLiteral(" , ") +
                                     c.GaibuTableColKey + QStringLiteral(" from ") + c.GaibuTableName +
                                     QStringLiteral(" Order By ") + c.GaibuTableColName,
                                 true, QStringLiteral("aa"));
        byKey.GetRecordSet_free(QStringLiteral("select ") + c.GaibuTableColKey + QStringLiteral(" , ") +
                                    c.GaibuTableColName + QStringLiteral(" from ") + c.GaibuTableName +
                                    QStringLiteral(" Order By ") + c.GaibuTableColKey,
                                true, QStringLiteral("aa"));
        QHash<QString, QString> keyOf; // display text -> key
        if (byText.RowCount() > 0)
            for (byText.MoveFirst(); !byText.Eof(); byText.MoveNext()) {
                const QString norm = normalised(fieldText(byText.Column(c.GaibuTableColName)), textType);
                if (!keyOf.contains(norm)) keyOf.insert(norm, fieldText(byText.Column(c.GaibuTableColKey)));
            }
        QSet<qint64> taken;
        if (byKey.RowCount() > 0)
            for (byKey.MoveFirst(); !byKey.Eof(); byKey.MoveNext()) {
                bool ok = false;
                const qint64 v = fieldText(byKey.Column(c.GaibuTableColKey)).trimmed().toLongLong(&ok);
                if (ok) taken.insert(v);
            }
        KeyNumbering::FreeKeys freeKeys(taken);

        // New texts take their numbers in text order, as the user sees them sorted.
        QMap<QString, QString> fresh; // normalised text -> the text as typed first
        for (int g = 1; g < mGrid->MaxRow(); ++g) {
            const QString text = mGrid->Field(g, shown);
            if (text.isEmpty() || (text == NoMatch && !mGrid->Field(g, c.ipointx).isEmpty())) continue;
            const QString norm = normalised(text, textType);
            if (!keyOf.contains(norm) && !fresh.contains(norm)) fresh.insert(norm, text);
        }
        for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
            const QString key = QString::number(freeKeys.next());
            byText.AddNew();
            byText.setColumn(c.GaibuTableColName, ToFieldValue(it.value(), textType));
            byText.setColumn(c.GaibuTableColKey, ToFieldValue(key, c.eDataType));
            byText.UpDate();
            keyOf.insert(it.key(), key);
        }
        for (int g = 1; g < mGrid->MaxRow(); ++g) {
            const QString text = mGrid->Field(g, shown);
            if (text == NoMatch && !mGrid->Field(g, c.ipointx).isEmpty()) continue; // a dangling key stays
            // an empty display text leaves the key empty: it is stored as NULL
            const QString key = text.isEmpty() ? QString() : keyOf.value(normalised(text, textType));
            if (mGrid->Field(g, c.ipointx) != key) mGrid->setField(g, c.ipointx, key);
        }
        const bool ok = byText.BatchUpdate();
        byText.CloseRecordSet();
        byKey.CloseRecordSet();
        if (!ok) return false;
    }
    return true;
}

bool frmInput::saveMainTable() {
    if (mRecordSetStale || !mRecordSet || !mRecordSet->IsOpen()) openMainRecordSet();
    clsDBRecord& rs = *mRecordSet;
    const int n = numberCount();
    QList<int> keyCols;
    for (int i = 1; i <= n; ++i)
        if (mCols[i].MainKey) keyCols << i;
    auto keyOfRecord = [&] {
        QString key;
        for (int i : keyCols) key += normalised(fieldText(rs.Column(mCols[i].FieldName)), mCols[i].eDataType) + QChar(0x1F);
        return key;
    };
    auto keyOfRow = [&](int g) {
        QString key;
        for (int i : keyCols) key += normalised(mGrid->Field(g, mCols[i].ipointx), mCols[i].eDataType) + QChar(0x1F);
        return key;
    };

    // Records are matched to rows by the whole key, whatever order either is in.
    QHash<QString, QVariant> markOf;
    QList<QVariant> marks;
    if (rs.RowCount() > 0)
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            const QVariant mark = rs.BookMark();
            marks << mark;
            const QString key = keyOfRecord();
            if (!markOf.contains(key)) markOf.insert(key, mark);
        }
    QSet<int> matched;
    auto writeRow = [&](int g) {
        for (int i = 1; i <= n; ++i)
            rs.setColumn(mCols[i].FieldName, ToFieldValue(mGrid->Field(g, mCols[i].ipointx), mCols[i].eDataType));
    };
    const int rows = CountDataRows() == 0 ? 1 : mGrid->MaxRow();
    for (int g = 1; g < rows; ++g) {
        const auto it = markOf.constFind(keyOfRow(g));
        if (it != markOf.constEnd() && !matched.contains(it->toInt())) {
            rs.setBookMark(*it);
            matched.insert(it->toInt());
            rs.Edit();
            writeRow(g);
            rs.UpDate();
        } else {
            rs.AddNew();
            writeRow(g);
            rs.UpDate();
        }
    }
    for (const QVariant& mark : marks) {
        if (matched.contains(mark.toInt())) continue;
        rs.setBookMark(mark);
        rs.Edit();
        rs.Delete();
        rs.UpDate();
    }
    return rs.BatchUpdate();
}

// ---- closing --------------------------------------------------------------

void frmInput::Form_QueryUnload(int& cancel, int) {
    cancel = 0;
    frmSelect* menu = frmSelect::instance();
    if (mModified) {
        const auto answer = dialogs().question(this, QStringLiteral("保存しますか？？"), windowTitle() + QStringLiteral("の終了"));
        bool keep = answer == Dialogs::Answer::Cancel;
        if (answer == Dialogs::Answer::Yes) {
            WaitCursor wait;
            bool saved = false;
            command([&] { saved = SaveTable(); });
            keep = !saved; // a failed save must not lose the edits with the window
        }
        if (keep) {
            cancel = 1;
            if (menu) menu->setEndFlag(false);
            return;
        }
    }
    if (menu) menu->setEndFlag(true);
    if (mRecordSet && mRecordSet->IsOpen()) mRecordSet->CloseRecordSet();
    mRecordSet.reset();
}

void frmInput::FrmMeUnload(int& cancel, int iMode) {
    Form_QueryUnload(cancel, iMode);
    if (!cancel) mUnloadApproved = true;
}

void frmInput::closeEvent(QCloseEvent* event) {
    if (mUnloadApproved) {
        event->accept();
        return;
    }
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel) event->ignore();
    else event->accept();
}
