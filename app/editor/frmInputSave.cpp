// Saving the grid back to the database in one transaction, and closing.
#include "Dialogs.h"
#include "WaitCursor.h"
#include "clsDBRecord.h"
#include "clsRellmark.h"
#include "frmInput.h"
#include "frmSelect.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QCloseEvent>
#include <QHash>
#include <QSet>
#include <algorithm>

using namespace modMorvi;

namespace {
// A value as the comparisons of the save see it: numbers by value, texts
// without regard to case.
QString normalised(const QString& text, ColumnDataType type) {
    qint64 whole;
    if (type != eText && parsePlainInteger(text, whole)) return QString::number(whole);
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
        msgBox(this, QStringLiteral(
                         "使用可能なキーの限界を超えています。キー番号を全て振り直して下さい。"));
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
            msgBox(this, QString::fromStdString(e.what()));
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
        // One read of the foreign table gives both its texts and the keys
        // already taken.
        clsDBRecord byText;
        byText.setParentConnectClass(objDB);
        byText.GetRecordSet_free(QStringLiteral("select ") + c.GaibuTableColName +
                                     QStringLiteral(" , ") + c.GaibuTableColKey +
                                     QStringLiteral(" from ") + c.GaibuTableName +
                                     QStringLiteral(" Order By ") + c.GaibuTableColName,
                                 true, QStringLiteral("aa"));
        QHash<QString, QString> keyOf; // display text -> key
        QSet<qint64> taken;
        if (byText.RowCount() > 0)
            for (byText.MoveFirst(); !byText.Eof(); byText.MoveNext()) {
                const QString norm =
                    normalised(FieldText(byText.Column(c.GaibuTableColName)), textType);
                const QString key = FieldText(byText.Column(c.GaibuTableColKey));
                if (!keyOf.contains(norm)) keyOf.insert(norm, key);
                qint64 v;
                if (parsePlainInteger(key, v)) taken.insert(v);
            }
        KeyNumbering::FreeKeys freeKeys(taken);

        // New texts take their numbers in text order, as the user sees them sorted.
        QMap<QString, QString> fresh; // normalised text -> the text as typed first
        QSet<QString> seen;
        for (int g = 1; g < mGrid->MaxRow(); ++g) {
            const QString& text = cell(g, shown);
            if (text.isEmpty() || seen.contains(text) ||
                (text == NoMatch && !cell(g, c.ipointx).isEmpty()))
                continue;
            seen.insert(text);
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
        QHash<QString, QString> keyOfText; // the same few texts repeat on many rows
        for (int g = 1; g < mGrid->MaxRow(); ++g) {
            const QString& text = cell(g, shown);
            if (text == NoMatch && !cell(g, c.ipointx).isEmpty()) continue; // a dangling key stays
            // an empty display text leaves the key empty: it is stored as NULL
            QString key;
            if (!text.isEmpty()) {
                auto known = keyOfText.constFind(text);
                if (known == keyOfText.constEnd())
                    known = keyOfText.insert(text, keyOf.value(normalised(text, textType)));
                key = *known;
            }
            if (cell(g, c.ipointx) != key) mGrid->setField(g, c.ipointx, key);
        }
        const bool ok = byText.BatchUpdate();
        byText.CloseRecordSet();
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
        for (int i : keyCols)
            key += normalised(FieldText(rs.Column(mCols[i].FieldName)), mCols[i].eDataType) +
                   QChar(0x1F);
        return key;
    };
    auto keyOfRow = [&](int g) {
        QString key;
        for (int i : keyCols)
            key += normalised(cell(g, mCols[i].ipointx), mCols[i].eDataType) + QChar(0x1F);
        return key;
    };

    // Records are matched to rows by the whole key, whatever order either is
    // in. The usual single whole-number key is matched as a number.
    const bool numberKey = keyCols.size() == 1 && mCols[keyCols[0]].eDataType != eText;
    const QString keyField = mCols[keyCols[0]].FieldName;
    const int keyPos = mCols[keyCols[0]].ipointx;
    QHash<QString, int> markOf;
    QHash<qint64, int> markOfNumber;
    std::vector<int> marks;
    auto numberOfRecord = [&](qint64& v) {
        const QVariant value = rs.Column(keyField);
        bool ok = false;
        v = value.toLongLong(&ok);
        return ok && !value.isNull();
    };
    if (rs.RowCount() > 0) {
        marks.reserve(static_cast<size_t>(rs.RowCount()));
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            const int mark = rs.BookMark().toInt();
            marks.push_back(mark);
            qint64 v;
            if (numberKey && numberOfRecord(v)) {
                if (!markOfNumber.contains(v)) markOfNumber.insert(v, mark);
                continue;
            }
            const QString key = keyOfRecord();
            if (!markOf.contains(key)) markOf.insert(key, mark);
        }
    }
    auto findRecord = [&](int g) -> int {
        qint64 v;
        if (numberKey && parsePlainInteger(cell(g, keyPos), v)) return markOfNumber.value(v, -1);
        return markOf.value(keyOfRow(g), -1);
    };
    // The texts a record was loaded with are only known while the record set
    // is the one that was loaded (bookmarks are then the load order).
    const bool haveLoaded = mLoaded.size() == marks.size() * static_cast<size_t>(n);
    auto unchanged = [&](int g, int mark) {
        if (!haveLoaded) return false;
        const QString* loaded = &mLoaded[static_cast<size_t>(mark) * n];
        for (int i = 1; i <= n; ++i)
            if (cell(g, mCols[i].ipointx) != loaded[i - 1]) return false;
        return true;
    };
    auto writeRow = [&](int g, bool existing) {
        for (int i = 1; i <= n; ++i) {
            const QString& text = cell(g, mCols[i].ipointx);
            // An empty text over a NULL stays NULL: saving must not turn
            // every missing value into an empty string.
            if (existing && text.isEmpty() && mCols[i].eDataType == eText &&
                rs.Column(mCols[i].FieldName).isNull())
                continue;
            rs.setColumn(mCols[i].FieldName, ToFieldValue(text, mCols[i].eDataType));
        }
    };
    std::vector<char> matched(
        marks.empty() ? 0 : static_cast<size_t>(*std::max_element(marks.begin(), marks.end())) + 1,
        0);
    const int rows = CountDataRows() == 0 ? 1 : mGrid->MaxRow();
    for (int g = 1; g < rows; ++g) {
        const int mark = findRecord(g);
        if (mark >= 0 && !matched[static_cast<size_t>(mark)]) {
            matched[static_cast<size_t>(mark)] = 1;
            if (unchanged(g, mark)) continue;
            rs.setBookMark(mark);
            rs.Edit();
            writeRow(g, true);
            rs.UpDate();
        } else {
            rs.AddNew();
            writeRow(g, false);
            rs.UpDate();
        }
    }
    for (int mark : marks) {
        if (matched[static_cast<size_t>(mark)]) continue;
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
    mGrid->CloseEditor(true); // what is being typed counts as a change

    frmSelect* menu = frmSelect::instance();
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
    if (cancel)
        event->ignore();
    else
        event->accept();
}
