// Saving the grid back to the database in one transaction, and closing.
#include "CellValues.h"
#include "Dialogs.h"
#include "ProgramEvents.h"
#include "TamrocError.h"
#include "WaitCursor.h"
#include "clsDBRecord.h"
#include "clsRellmark.h"
#include "frmInput.h"
#include "modMorvi.h"
#include "usrFlg.h"

#include <QCloseEvent>
#include <QHash>
#include <QMap>
#include <QSet>
#include <algorithm>
#include <optional>

using namespace modMorvi;

namespace {
const QString ForeignFailed = QStringLiteral("外部キーテーブルの更新失敗！！");
const QString MainFailed = QStringLiteral("メインテーブルの更新失敗！！");
const QString EditsKept = QStringLiteral("入力内容はそのまま残っています。");

// A display text as the save matches it with the foreign table's texts:
// numbers by value, texts without their blanks and without regard to case.
QString foreignText(const QString& text, ColumnDataType type) {
    const QString v = CellValues::comparable(text, type);
    return type == eText ? v.toCaseFolded() : v;
}

// A key cell as records and rows are matched by it.
QString keyPart(const QString& text, ColumnDataType type) {
    if (type == eText) return ToFieldValue(text, eText).toString().toCaseFolded();
    return CellValues::comparable(text, type);
}

// What went wrong in the database, in words the user can act on, and that
// nothing of the save was kept; then the database's own description.
QString explainFailure(int number, const QString& description) {
    const QString d = description.toLower();
    QString what;
    if (number == 5 || number == 6 || d.contains(QLatin1String("locked")) ||
        d.contains(QLatin1String("busy")))
        what = QStringLiteral("データベースが他のプログラムで使用中のため保存できませんでした。");
    else if (number == RellmarkErr::Conflict || description.contains(QStringLiteral("他で変更")))
        what = QStringLiteral(
            "読み出した後に他で変更または削除された行があるため保存できませんでした。");
    else if (d.contains(QLatin1String("constraint")) || d.contains(QLatin1String("unique")))
        what = QStringLiteral(
            "データベースの制約（重複の禁止など）に合わない値があるため保存できませんでした。");
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

// The data-access library shows a failed batch's description itself; during
// a save it is taken instead and becomes part of the one message the user
// gets.
class LibraryMessages {
public:
    LibraryMessages() {
        mPrevious = clsRellmark::setMessageHandler(
            [this](const QString& text, const QString&, clsRellmark::Icon) { mTexts << text; });
    }
    ~LibraryMessages() { clsRellmark::setMessageHandler(std::move(mPrevious)); }
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;
    // The message of the batch that failed last: one refused and tried again
    // is no longer the reason.
    QString first() const { return mTexts.isEmpty() ? QString() : mTexts.last(); }

private:
    clsRellmark::MessageHandler mPrevious;
    QStringList mTexts;
};

// The key of a record or a row: the usual single whole-number key as its
// value, any other key as one text of its parts.
struct RowKey {
    bool isNumber = false;
    qint64 number = 0;
    QString text;
    bool operator==(const RowKey& o) const {
        return isNumber == o.isNumber && (isNumber ? number == o.number : text == o.text);
    }
};

// A key cell's whole number, whatever its column's range.
std::optional<qint64> keyNumber(const QString& text) {
    if (const auto v = CellValues::wholeNumber(text, eInteger)) return v;
    qint64 v;
    if (parsePlainInteger(CellValues::plainNumberText(text), v)) return v;
    return std::nullopt;
}

// Records and rows by their whole key; the first of several with one key.
class KeyIndex {
public:
    void add(const RowKey& key, int ordinal) {
        if (key.isNumber) {
            if (!mNumbers.contains(key.number)) mNumbers.insert(key.number, ordinal);
        } else if (!mTexts.contains(key.text)) {
            mTexts.insert(key.text, ordinal);
        }
    }
    int find(const RowKey& key) const {
        return key.isNumber ? mNumbers.value(key.number, -1) : mTexts.value(key.text, -1);
    }

private:
    QHash<qint64, int> mNumbers;
    QHash<QString, int> mTexts;
};

struct GridEnabler {
    usrFlg* g;
    ~GridEnabler() { g->setEnabled(true); }
};
} // namespace

bool frmInput::SaveTable() {
    // On a shared book another program may take the numbers this save chose
    // for its new rows at the same moment; the save then numbers them again,
    // a few times at most, instead of failing.
    for (int attempt = 1;; ++attempt) {
        bool retry = attempt < 5;
        const bool saved = saveOnce(retry);
        if (!retry) return saved;
    }
}

qint64 frmInput::keyFloorOnServer() {
    if (!objDB || !objDB->isServer()) return 0;
    const int first = firstKeyColumn();
    if (first == 0 || mCols[first].eDataType == eText) return 0;
    clsDBRecord rs;
    rs.setParentConnectClass(objDB);
    rs.GetRecordSet_free(QStringLiteral("select max(") + mCols[first].FieldName +
                             QStringLiteral(") from ") + objPublic->TableSection(mTblNum),
                         false);
    if (rs.RowCount() == 0) return 0;
    rs.MoveFirst();
    qint64 v = 0;
    return parsePlainInteger(FieldText(rs.Column_Num(0)), v) ? v : 0;
}

bool frmInput::saveOnce(bool& retry) {
    const bool mayRetry = retry;
    retry = false;
    mConflictRow = -1;
    mConflictKey.clear();
    mKeyFloor = keyFloorOnServer();
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

    QString failure; // shown once the grid is enabled again
    bool numbersTaken = false;
    // Whether the server refused new rows of the main table for a key that
    // someone else has just taken.
    auto newRowsRefused = [this] {
        if (!objDB->isServer() || mNewKeys.empty() || !mRecordSet || mRecordSet->RowCount() == 0)
            return false;
        for (mRecordSet->MoveFirst(); !mRecordSet->Eof(); mRecordSet->MoveNext()) {
            const int status = mRecordSet->Status().toInt();
            if ((status & RecStatus::New) && (status & RecStatus::IntegrityViolation)) return true;
        }
        return false;
    };
    {
        LibraryMessages library;
        clsDBRecord transaction;
        transaction.setParentConnectClass(objDB);
        bool inTransaction = false;
        bool committed = false;
        GridEnabler enabler{mGrid};
        mGrid->setEnabled(false);
        try {
            transaction.BeginTrans();
            inTransaction = true;
            if (!saveForeignTables()) {
                failure = ForeignFailed + QLatin1Char('\n') + explainFailure(0, library.first());
            } else {
                switch (saveMainTable()) {
                case MainSave::Written:
                    transaction.ComittTrans();
                    committed = true;
                    break;
                case MainSave::Conflict:
                    failure = MainFailed + QLatin1Char('\n') + conflictText(mConflictKey);
                    break;
                case MainSave::Failed:
                    numbersTaken = newRowsRefused();
                    failure =
                        MainFailed + QLatin1Char('\n') +
                        (mConflictKey.isEmpty() ? explainFailure(0, library.first())
                                                : conflictText(mConflictKey) +
                                                      QStringLiteral("\n\n") + library.first());
                    break;
                }
            }
        } catch (const RellmarkError& e) {
            failure = explainFailure(e.number(), e.description());
        } catch (const std::exception& e) {
            failure = QStringLiteral("保存できませんでした。") + EditsKept +
                      QStringLiteral("\n\n") + QString::fromStdString(e.what());
        }
        // Whatever failed, nothing of this save stays in the database and the
        // user's edits stay in the grid.
        if (inTransaction && !committed) {
            try {
                transaction.RollBackTrans();
            } catch (const RellmarkError&) {
            }
        }
    }
    if (!failure.isEmpty()) {
        if (mayRetry && numbersTaken) {
            // numbered again from what the table holds by now
            WriteNewKeys(-1);
            retry = true;
            return false;
        }
        if (mConflictRow >= 1 && mConflictRow < mGrid->MaxRow())
            paintRed(mConflictRow, mCols[firstKeyColumn()].ipointx);
        msgBox(this, failure);
        return false;
    }
    reloadTable();
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
        // A row whose display text is the one its key showed at loading keeps
        // that key: a record renamed since then in its own table is still the
        // record the row means, and the placeholder is not a text to store.
        std::vector<char> kept(static_cast<size_t>(mGrid->MaxRow()), 0);
        for (int g = 1; g < mGrid->MaxRow(); ++g)
            kept[static_cast<size_t>(g)] = keepsLoadedKey(j, g);
        auto noText = [&](int g) {
            const QString& text = cell(g, shown);
            return text.isEmpty() || text == NoMatch;
        };

        // On a shared book, a text or number that another program has just
        // added makes the batch fail; the table is then read again and the
        // new texts numbered anew, a few times at most.
        for (int attempt = 1;; ++attempt) {
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
                        foreignText(FieldText(byText.Column(c.GaibuTableColName)), textType);
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
                if (kept[static_cast<size_t>(g)] || noText(g)) continue;
                const QString& text = cell(g, shown);
                if (seen.contains(text)) continue;
                seen.insert(text);
                const QString norm = foreignText(text, textType);
                if (!keyOf.contains(norm) && !fresh.contains(norm)) fresh.insert(norm, text);
            }
            for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
                const QString key = QString::number(freeKeys.next());
                // the checks have let only values of the columns' types through;
                // a key number beyond its column's range is refused here
                const auto textValue = CellValues::storedValue(it.value(), textType);
                const auto keyValue = CellValues::storedValue(key, c.eDataType);
                if (!textValue) throw typeMismatch(it.value());
                if (!keyValue) throw typeMismatch(key);
                byText.AddNew();
                byText.setColumn(c.GaibuTableColName, *textValue);
                byText.setColumn(c.GaibuTableColKey, *keyValue);
                byText.UpDate();
                keyOf.insert(it.key(), key);
            }
            QHash<QString, QString> keyOfText; // the same few texts repeat on many rows
            for (int g = 1; g < mGrid->MaxRow(); ++g) {
                if (kept[static_cast<size_t>(g)]) continue;
                // no text leaves the key empty: it is stored as NULL
                QString key;
                if (!noText(g)) {
                    const QString& text = cell(g, shown);
                    auto known = keyOfText.constFind(text);
                    if (known == keyOfText.constEnd())
                        known = keyOfText.insert(text, keyOf.value(foreignText(text, textType)));
                    key = *known;
                }
                if (cell(g, c.ipointx) != key) mGrid->setField(g, c.ipointx, key);
            }
            const bool ok = byText.BatchUpdate();
            bool refused = false;
            if (!ok && objDB->isServer() && attempt < 5 && byText.RowCount() > 0)
                for (byText.MoveFirst(); !byText.Eof() && !refused; byText.MoveNext())
                    refused = (byText.Status().toInt() & RecStatus::IntegrityViolation) != 0;
            byText.CloseRecordSet();
            if (ok) break;
            if (!refused) return false;
        }
    }
    return true;
}

frmInput::MainSave frmInput::saveMainTable() {
    // The baseline is what the grid was loaded from. While the record set
    // still holds exactly that, it is written directly, and the library
    // refuses any row changed or deleted by someone else since. After a
    // failed save the table is read again, and each row is compared here
    // with both its baseline and what the table holds now.
    const bool fromBaseline = mRecordSet && mRecordSet->IsOpen() && !mRecordSetTouched;
    if (!fromBaseline) openMainRecordSet();
    clsDBRecord& rs = *mRecordSet;
    const int n = numberCount();
    QList<int> keyCols;
    for (int i = 1; i <= n; ++i)
        if (mCols[i].MainKey) keyCols << i;
    const bool numberKey = keyCols.size() == 1 && mCols[keyCols[0]].eDataType != eText;
    using TextOf = std::function<QString(int)>;
    auto keyOf = [&](const TextOf& textOf) {
        RowKey key;
        if (numberKey) {
            key.text = textOf(keyCols[0]);
            if (const auto v = keyNumber(key.text)) {
                key.isNumber = true;
                key.number = *v;
            }
            return key;
        }
        for (int i : keyCols)
            key.text += keyPart(textOf(i), mCols[i].eDataType) + QChar(0x1F);
        return key;
    };
    auto gridText = [&](int g) {
        return TextOf([this, g](int i) { return cell(g, mCols[i].ipointx); });
    };
    const size_t loadedCount = n ? mLoaded.size() / static_cast<size_t>(n) : 0;
    auto loadedText = [&](size_t b) {
        return TextOf([this, b, n](int i) { return mLoaded[b * n + (i - 1)]; });
    };
    const TextOf recordText = [&](int i) { return FieldText(rs.Column(mCols[i].FieldName)); };
    // A record's number key is read as the number it is.
    auto recordKey = [&] {
        if (numberKey) {
            const QVariant v = rs.Column(mCols[keyCols[0]].FieldName);
            const int type = v.metaType().id();
            if (!v.isNull() && (type == QMetaType::LongLong || type == QMetaType::Int))
                return RowKey{true, v.toLongLong(), {}};
        }
        return keyOf(recordText);
    };

    // The records as the set holds them, by key and by position.
    std::vector<QVariant> marks;
    KeyIndex records;
    if (rs.RowCount() > 0) {
        marks.reserve(static_cast<size_t>(rs.RowCount()));
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            records.add(recordKey(), static_cast<int>(marks.size()));
            marks.push_back(rs.BookMark());
        }
    }
    // The baseline by key; while the set is the baseline, the same index.
    KeyIndex loadedIndex;
    if (!fromBaseline)
        for (size_t b = 0; b < loadedCount; ++b)
            loadedIndex.add(keyOf(loadedText(b)), static_cast<int>(b));
    const KeyIndex& baseline = fromBaseline ? records : loadedIndex;

    auto rowUnchanged = [&](int g, size_t b) {
        const QString* loaded = &mLoaded[b * n];
        for (int i = 1; i <= n; ++i)
            if (cell(g, mCols[i].ipointx) != loaded[i - 1]) return false;
        return true;
    };
    // Whether the record the set is on still holds baseline b.
    auto untouchedElsewhere = [&](size_t b) {
        if (fromBaseline) return true;
        for (int i = 1; i <= n; ++i)
            if (recordText(i) != mLoaded[b * n + (i - 1)]) return false;
        return true;
    };
    auto conflict = [&](int g, const QString& label) {
        mConflictRow = g;
        mConflictKey = label;
        return MainSave::Conflict;
    };
    auto writeRow = [&](int g, bool existing) {
        for (int i = 1; i <= n; ++i) {
            const QString& text = cell(g, mCols[i].ipointx);
            // An empty text over a NULL stays NULL: saving must not turn
            // every missing value into an empty string.
            if (existing && text.isEmpty() && mCols[i].eDataType == eText &&
                rs.Column(mCols[i].FieldName).isNull())
                continue;
            // Where empty values may repeat, they go in as NULL: the database
            // takes any number of NULLs in a unique column, but one empty text.
            if (text.isEmpty() && mCols[i].Unique && mCols[i].NullPermmit) {
                rs.setColumn(mCols[i].FieldName, QVariant());
                continue;
            }
            const auto value = CellValues::storedValue(text, mCols[i].eDataType);
            if (!value) throw typeMismatch(text);
            rs.setColumn(mCols[i].FieldName, *value);
        }
    };

    std::vector<char> claimed(loadedCount, 0);
    const int rows = CountDataRows() == 0 ? 1 : mGrid->MaxRow();
    for (int g = 1; g < rows; ++g) {
        const RowKey key = keyOf(gridText(g));
        int b = baseline.find(key);
        if (b >= 0 && claimed[static_cast<size_t>(b)]) b = -1; // a second row with one key
        if (b >= 0) {
            claimed[static_cast<size_t>(b)] = 1;
            if (rowUnchanged(g, static_cast<size_t>(b))) continue; // not changed here
            const int f = fromBaseline ? b : records.find(key);
            if (f < 0) return conflict(g, keyLabel(gridText(g)));
            rs.setBookMark(marks[static_cast<size_t>(f)]);
            if (!untouchedElsewhere(static_cast<size_t>(b)))
                return conflict(g, keyLabel(gridText(g)));
            mRecordSetTouched = true;
            rs.Edit();
            writeRow(g, true);
            rs.UpDate();
        } else {
            // a key that someone else has added since is theirs
            if (!fromBaseline && records.find(key) >= 0 && loadedIndex.find(key) < 0)
                return conflict(g, keyLabel(gridText(g)));
            mRecordSetTouched = true;
            rs.AddNew();
            writeRow(g, false);
            rs.UpDate();
        }
    }
    // Records the user deleted from the grid; one that someone else has
    // deleted as well is simply gone.
    for (size_t b = 0; b < loadedCount; ++b) {
        if (claimed[b]) continue;
        const int f = fromBaseline ? static_cast<int>(b) : records.find(keyOf(loadedText(b)));
        if (f < 0) continue;
        rs.setBookMark(marks[static_cast<size_t>(f)]);
        if (!untouchedElsewhere(b)) return conflict(-1, keyLabel(loadedText(b)));
        mRecordSetTouched = true;
        rs.Edit();
        rs.Delete();
        rs.UpDate();
    }
    if (rs.BatchUpdate()) return MainSave::Written;
    // The library refuses a row that someone else changed or deleted since
    // it was read; name it, and show where it is.
    if (rs.RowCount() > 0)
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext())
            if (rs.Status().toInt() & RecStatus::ConcurrencyViolation) {
                const RowKey key = recordKey();
                mConflictKey = keyLabel(recordText);
                for (int g = 1; g < rows && mConflictRow < 0; ++g)
                    if (keyOf(gridText(g)) == key) mConflictRow = g;
                break;
            }
    return MainSave::Failed;
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
