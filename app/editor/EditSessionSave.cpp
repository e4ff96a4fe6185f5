// The edit session's save: the grid back to the database in one transaction.
#include "CellValues.h"
#include "EditSession.h"
#include "GridModel.h"
#include "PerText.h"
#include "TamrocError.h"
#include "clsDBRecord.h"
#include "clsRellmark.h"
#include "modMorvi.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <algorithm>
#include <optional>

namespace {
// A display text as the save matches it with the foreign table's texts:
// numbers by value, texts without their blanks and without regard to case.
QString foreignText(const QString& text, ColumnDataType type) {
    const QString v = CellValues::comparable(text, type);
    return type == eText ? v.toCaseFolded() : v;
}

// A key cell as records and rows are matched by it: as the database compares
// keys, a text exactly as it is stored (the checks compare it so too).
QString keyPart(const QString& text, ColumnDataType type) {
    if (type == eText) return ToFieldValue(text, eText).toString();
    return CellValues::comparable(text, type);
}

// The data-access library shows a failed batch's description itself; during
// a save it is taken instead and becomes part of the save's result.
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
    QString last() const { return mTexts.isEmpty() ? QString() : mTexts.last(); }

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
    qint64 v;
    if (parsePlainInteger(text, v)) return v; // the usual key, without a copy
    if (const auto w = CellValues::wholeNumber(text, eInteger)) return w;
    if (parsePlainInteger(CellValues::plainNumberText(text), v)) return v;
    return std::nullopt;
}

// The number a text of up to nine plain digits writes as a number is written
// ("0", "17"; not "017", " 17" or "+17"): such a text is that number's text.
bool numberText(const QString& text, qint64& v) {
    const qsizetype n = text.size();
    if (n < 1 || n > 9 || (n > 1 && text[0] == QLatin1Char('0'))) return false;
    const QChar* p = text.constData();
    qint64 value = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = p[i].unicode();
        if (u < u'0' || u > u'9') return false;
        value = value * 10 + (u - u'0');
    }
    v = value;
    return true;
}

// Records and rows by their whole key; the first of several with one key.
// Keys that come as ascending whole numbers (a table read in the order of
// its number key) are kept in that order and found by halving, looked for
// first just after the last one found, as rows come in the same order;
// other keys are kept in a hash.
class KeyIndex {
public:
    void reserve(size_t n) { mOrdered.reserve(n); }
    // Adds the key of the next ordinal (0, 1, 2, ...).
    void add(const RowKey& key) {
        const int ordinal = mCount++;
        if (mInOrder) {
            if (key.isNumber && (mOrdered.empty() || key.number > mOrdered.back())) {
                mOrdered.push_back(key.number);
                return;
            }
            toHash();
        }
        if (key.isNumber) {
            if (!mNumbers.contains(key.number)) mNumbers.insert(key.number, ordinal);
        } else if (!mTexts.contains(key.text)) {
            mTexts.insert(key.text, ordinal);
        }
    }
    int find(const RowKey& key) const {
        if (!mInOrder)
            return key.isNumber ? mNumbers.value(key.number, -1) : mTexts.value(key.text, -1);
        if (!key.isNumber) return -1;
        const size_t n = mOrdered.size();
        if (mNext < n && mOrdered[mNext] == key.number) return static_cast<int>(mNext++);
        const auto it = std::lower_bound(mOrdered.begin(), mOrdered.end(), key.number);
        if (it == mOrdered.end() || *it != key.number) return -1;
        mNext = static_cast<size_t>(it - mOrdered.begin()) + 1;
        return static_cast<int>(mNext - 1);
    }

private:
    void toHash() {
        mInOrder = false;
        mNumbers.reserve(static_cast<qsizetype>(mOrdered.size()));
        for (size_t i = 0; i < mOrdered.size(); ++i)
            mNumbers.insert(mOrdered[i], static_cast<int>(i));
        mOrdered = {};
    }

    int mCount = 0;
    bool mInOrder = true;
    std::vector<qint64> mOrdered;
    mutable size_t mNext = 0;
    QHash<qint64, int> mNumbers;
    QHash<QString, int> mTexts;
};

// The cells a save writes, with the texts they held, to be put back as they
// were: the last noted first, so that a cell written twice ends as it began.
class WrittenCells {
public:
    void note(const GridModel& model, int row, int col) {
        mCells.push_back({row, col, model.text(row, col)});
    }
    void restore(GridModel& model) const {
        for (auto it = mCells.rbegin(); it != mCells.rend(); ++it)
            if (model.text(it->row, it->col) != it->text) model.setText(it->row, it->col, it->text);
    }

private:
    struct Cell {
        int row, col;
        QString text;
    };
    std::vector<Cell> mCells;
};
} // namespace

EditSession::SaveResult EditSession::save() {
    if (mState != State::Loaded) {
        SaveResult refused;
        refused.outcome = SaveResult::Outcome::NotLoaded;
        return refused;
    }
    // On a shared book another program may take the numbers this save chose
    // for its new rows at the same moment; the save then numbers them again,
    // a few times at most, instead of failing.
    bool reconnected = false;
    for (int attempt = 1;; ++attempt) {
        bool retry = attempt < 5;
        SaveResult result = saveOnce(retry);
        if (!retry && result.outcome == SaveResult::Outcome::Failed && !reconnected &&
            result.reconnectMayHelp) {
            // nothing of the failed attempt was kept: the same save again
            reconnected = true;
            try {
                mDb->reconnect();
                continue;
            } catch (const RellmarkError&) {
            }
        }
        if (!retry) return result;
    }
}

qint64 EditSession::keyFloorInTable() {
    const int first = firstKeyColumn();
    if (first == 0 || mCols[first].eDataType == eText) return 0;
    clsDBRecord rs;
    rs.setParentConnectClass(mDb);
    rs.GetRecordSet_free(QStringLiteral("select max(") + mCols[first].FieldName +
                             QStringLiteral(") from ") + mSection,
                         false);
    if (rs.RowCount() == 0) return 0;
    rs.MoveFirst();
    qint64 v = 0;
    return parsePlainInteger(FieldText(rs.Column_Num(0)), v) ? v : 0;
}

QString EditSession::stillReferredTo(const std::function<QString(int column)>& loaded) {
    const QString key = loaded(firstKeyColumn());
    if (!modMorvi::objPublic || key.isEmpty()) return {};
    const ColumnDef& keyCol = mCols[firstKeyColumn()];
    QString literal = key;
    if (isNumberType(keyCol.eDataType)) {
        qint64 v = 0;
        if (!parsePlainInteger(key, v)) return {};
        literal = QString::number(v);
    } else {
        literal = QLatin1Char('\'') +
                  QString(key).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    }
    // The named text of the record: the column the referring tables show.
    for (qint16 t = 1; t <= modMorvi::objPublic->TableNumber(); ++t) {
        const QString section = modMorvi::objPublic->TableSection(t);
        if (section.compare(mSection, Qt::CaseInsensitive) == 0) continue;
        const qint16 n = CountColumns(section);
        for (int i = 1; i <= n; ++i) {
            ColumnDef d;
            try {
                if (ReadColumnDef(d, i, section)) continue;
            } catch (const TamrocError&) {
                continue; // a faulty catalog entry refers to nothing
            }
            if (!IsForeignColumn(d) ||
                d.GaibuTableName.compare(mSection, Qt::CaseInsensitive) != 0 ||
                d.GaibuTableColKey.compare(keyCol.FieldName, Qt::CaseInsensitive) != 0)
                continue;
            clsDBRecord rs;
            rs.setParentConnectClass(mDb);
            rs.GetRecordSet_free(QStringLiteral("select count(*) from ") + section +
                                     QStringLiteral(" where ") + d.FieldName +
                                     QStringLiteral(" = ") + literal,
                                 false);
            if (rs.RowCount() == 0) continue;
            rs.MoveFirst();
            qint64 count = 0;
            if (!parsePlainInteger(FieldText(rs.Column_Num(0)), count) || count == 0) continue;
            QString name = key;
            for (int c = 1; c < mCols.size(); ++c)
                if (mCols[c].FieldName.compare(d.GaibuTableColName, Qt::CaseInsensitive) == 0)
                    name = loaded(c);
            return QStringLiteral("「%1」は%2の%3件で使われているため削除できません。")
                .arg(name, GetTableJPName(section))
                .arg(count);
        }
    }
    return {};
}

EditSession::SaveResult EditSession::saveOnce(bool& retry) {
    using Outcome = SaveResult::Outcome;
    const bool mayRetry = retry;
    retry = false;
    SaveResult result;
    // New rows are numbered past the grid's keys for the checks, and once
    // the transaction holds the table, past every key it holds as well.
    mKeyFloor = 0;
    if (!assignNewKeys()) {
        result.outcome = Outcome::KeysExhausted;
        return result;
    }
    // The cells a save writes: the numbers of new rows and the keys of the
    // foreign texts. A save that does not commit puts them back, so that the
    // next one starts from what the user typed.
    WrittenCells before;
    auto noteNewKeys = [&] {
        const int first = firstKeyColumn();
        if (first == 0) return;
        for (const auto& k : mNewKeys)
            before.note(mModel, k.row, mCols[first].ipointx);
    };
    noteNewKeys();
    writeNewKeys(0);
    const CheckResult check = checkCells();
    if (check.code >= 1 && check.code <= 4) {
        writeNewKeys(-1);
        result.outcome = Outcome::CheckFailed;
        result.check = check.code;
        result.row = check.row;
        result.col = check.col;
        return result;
    }

    bool numbersTaken = false;
    // Whether the server refused new rows of the main table for a key that
    // someone else has just taken.
    auto newRowsRefused = [this] {
        if (!mDb->isServer() || mNewKeys.empty() || !mRecordSet || mRecordSet->RowCount() == 0)
            return false;
        for (mRecordSet->MoveFirst(); !mRecordSet->Eof(); mRecordSet->MoveNext()) {
            const int status = mRecordSet->Status().toInt();
            if ((status & RecStatus::New) && (status & RecStatus::IntegrityViolation)) return true;
        }
        return false;
    };
    bool committed = false;
    {
        LibraryMessages library;
        clsDBRecord transaction;
        transaction.setParentConnectClass(mDb);
        bool inTransaction = false;
        auto fail = [&](SaveResult::Table table) {
            result.outcome = Outcome::Failed;
            result.table = table;
            const auto batch = mDb->lastBatchError();
            result.errorNumber = batch ? batch->number() : 0;
            result.kind = batch ? batch->kind() : RellmarkError::Kind::Other;
            result.reconnectMayHelp = batch && batch->reconnectMayHelp();
            result.description = library.last();
            if (result.description.isEmpty())
                result.description =
                    batch ? batch->description() : RellmarkError::textOf(result.errorNumber, {});
        };
        try {
            transaction.BeginTrans();
            inTransaction = true;
            // A record deleted in this save, or one another program added,
            // keeps its number: a new row never takes it over.
            if (const qint64 floor = keyFloorInTable(); !mNewKeys.empty() && floor > 0) {
                const qint64 firstNew = mNewKeys.front().key;
                if (floor >= firstNew) {
                    writeNewKeys(-1);
                    mKeyFloor = floor;
                    if (!assignNewKeys())
                        throw RellmarkError(0, QStringLiteral("使用可能なキーの限界を超えています。"
                                                              "キー番号を全て振り直して下さい。"));
                    noteNewKeys();
                    writeNewKeys(0);
                }
            }
            if (!saveForeignTables([&](int row, int col) { before.note(mModel, row, col); })) {
                fail(SaveResult::Table::Foreign);
            } else {
                switch (saveMainTable(result)) {
                case MainSave::Written:
                    transaction.ComittTrans();
                    committed = true;
                    break;
                case MainSave::Conflict:
                    result.outcome = Outcome::Conflict;
                    break;
                case MainSave::InUse:
                    result.outcome = Outcome::InUse;
                    break;
                case MainSave::Failed:
                    numbersTaken = newRowsRefused();
                    fail(SaveResult::Table::Main);
                    // the library refused a row someone else changed since
                    if (!result.rowLabel.isEmpty()) result.outcome = Outcome::Conflict;
                    break;
                }
            }
        } catch (const RellmarkError& e) {
            result.outcome = Outcome::Failed;
            result.table = SaveResult::Table::None;
            result.errorNumber = e.number();
            result.kind = e.kind();
            result.reconnectMayHelp = e.reconnectMayHelp();
            result.description = e.description();
        } catch (const std::exception& e) {
            result.outcome = Outcome::Failed;
            result.table = SaveResult::Table::None;
            result.description = QString::fromStdString(e.what());
        }
        // Whatever failed, nothing of this save stays in the database.
        if (inTransaction && !committed) {
            try {
                transaction.RollBackTrans();
            } catch (const RellmarkError&) {
            }
        }
    }
    if (!committed) {
        before.restore(mModel);
        // numbered again from what the table holds by now
        if (mayRetry && numbersTaken) retry = true;
        return result;
    }
    result = SaveResult{};
    result.reload = load();
    return result;
}

bool EditSession::saveForeignTables(const std::function<void(int row, int col)>& writing) {
    const int k = foreignCount();
    const size_t loadedCount = mLoaded.rows();
    const int rows = maxRow(); // writing keys adds no rows
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
        std::vector<char> kept(static_cast<size_t>(rows), 0);
        if (static_cast<size_t>(j) < mShown.size()) {
            // What the loaded keys showed, looked up once for each small key
            // written as its number (the few keys of a lookup table repeat
            // on every row).
            const ShownTexts& shownOf = mShown[static_cast<size_t>(j)];
            std::vector<const QString*> byNumber;
            auto shownText = [&](const QString& key) -> const QString& {
                qint64 v;
                if (numberText(key, v) && v < 65536) {
                    if (byNumber.size() <= static_cast<size_t>(v))
                        byNumber.resize(static_cast<size_t>(v) + 1, nullptr);
                    const QString*& known = byNumber[static_cast<size_t>(v)];
                    if (!known) {
                        const QString* text = shownOf.findNumber(v);
                        known = text ? text : &NoMatch;
                    }
                    return *known;
                }
                const QString* text = shownOf.find(key);
                return text ? *text : NoMatch;
            };
            // as keepsLoadedKey tells
            PerText keyShows(mModel.column(c.ipointx), [&](const QString& key) {
                return key.isEmpty() ? nullptr : &shownText(key);
            });
            const fendra::TextColumn& texts = mModel.column(shown);
            for (int g = 1; g < rows; ++g) {
                const QString* showed = keyShows(g);
                if (!showed) continue;
                kept[static_cast<size_t>(g)] =
                    CellValues::sameText(texts.at(static_cast<size_t>(g)), *showed);
            }
        }
        auto noText = [&](int g) {
            const QString& text = mModel.text(g, shown);
            return text.isEmpty() || text == NoMatch;
        };
        // Keys the loaded rows point to are not free, even where the foreign
        // table no longer holds them: a new text must not collect those rows.
        // Gathered when there is a new text to number.
        std::optional<QSet<qint64>> pointedTo;
        auto pointedToKeys = [&]() -> const QSet<qint64>& {
            if (pointedTo) return *pointedTo;
            pointedTo.emplace();
            std::vector<char> small; // the usual few small keys, without a hash
            for (size_t b = 0; b < loadedCount; ++b) {
                qint64 v;
                if (mLoaded.number(b, mForeign[j].LinkIndex - 1, v) ||
                    parsePlainInteger(mLoaded.text(b, mForeign[j].LinkIndex - 1), v)) {
                    if (v >= 0 && v < 65536) {
                        if (small.size() <= static_cast<size_t>(v))
                            small.resize(static_cast<size_t>(v) + 1, 0);
                        small[static_cast<size_t>(v)] = 1;
                    } else {
                        pointedTo->insert(v);
                    }
                }
            }
            for (size_t v = 0; v < small.size(); ++v)
                if (small[v]) pointedTo->insert(static_cast<qint64>(v));
            return *pointedTo;
        };

        // On a shared book, a text or number that another program has just
        // added makes the batch fail; the table is then read again and the
        // new texts numbered anew, a few times at most.
        for (int attempt = 1;; ++attempt) {
            // One read of the foreign table gives both its texts and the keys
            // already taken.
            clsDBRecord byText;
            byText.setParentConnectClass(mDb);
            byText.GetRecordSet_free(QStringLiteral("select ") + c.GaibuTableColName +
                                         QStringLiteral(" , ") + c.GaibuTableColKey +
                                         QStringLiteral(" from ") + c.GaibuTableName +
                                         QStringLiteral(" Order By ") + c.GaibuTableColName,
                                     true, QStringLiteral("aa"));
            QHash<QString, QString> keyOf; // display text -> key
            std::vector<qint64> tableKeys;
            if (byText.RowCount() > 0)
                for (byText.MoveFirst(); !byText.Eof(); byText.MoveNext()) {
                    const QString norm =
                        foreignText(FieldText(byText.Column(c.GaibuTableColName)), textType);
                    const QString key = FieldText(byText.Column(c.GaibuTableColKey));
                    if (!keyOf.contains(norm)) keyOf.insert(norm, key);
                    qint64 v;
                    if (parsePlainInteger(key, v)) tableKeys.push_back(v);
                }

            // New texts take their numbers in text order, as the user sees them sorted.
            QMap<QString, QString> fresh; // normalised text -> the text as typed first
            QSet<QString> seen;
            for (int g = 1; g < rows; ++g) {
                if (kept[static_cast<size_t>(g)] || noText(g)) continue;
                const QString& text = mModel.text(g, shown);
                if (seen.contains(text)) continue;
                seen.insert(text);
                const QString norm = foreignText(text, textType);
                if (!keyOf.contains(norm) && !fresh.contains(norm)) fresh.insert(norm, text);
            }
            std::optional<KeyNumbering::FreeKeys> freeKeys;
            if (!fresh.isEmpty()) {
                QSet<qint64> taken = pointedToKeys();
                for (qint64 v : tableKeys)
                    taken.insert(v);
                freeKeys.emplace(std::move(taken));
            }
            for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
                const QString key = QString::number(freeKeys->next());
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
            for (int g = 1; g < rows; ++g) {
                if (kept[static_cast<size_t>(g)]) continue;
                // no text leaves the key empty: it is stored as NULL
                QString key;
                if (!noText(g)) {
                    const QString& text = mModel.text(g, shown);
                    auto known = keyOfText.constFind(text);
                    if (known == keyOfText.constEnd())
                        known = keyOfText.insert(text, keyOf.value(foreignText(text, textType)));
                    key = *known;
                }
                if (mModel.text(g, c.ipointx) != key) {
                    writing(g, c.ipointx);
                    setCell(g, c.ipointx, key);
                }
            }
            const bool ok = byText.BatchUpdate();
            bool refused = false;
            if (!ok && mDb->isServer() && attempt < 5 && byText.RowCount() > 0)
                for (byText.MoveFirst(); !byText.Eof() && !refused; byText.MoveNext())
                    refused = (byText.Status().toInt() & RecStatus::IntegrityViolation) != 0;
            byText.CloseRecordSet();
            if (ok) break;
            if (!refused) return false;
        }
    }
    return true;
}

EditSession::MainSave EditSession::saveMainTable(SaveResult& result) {
    // The baseline is what the grid was loaded from. While the record set
    // still holds exactly that, it is written directly, and the library
    // refuses any row changed or deleted by someone else since. Any other
    // time the table is read again, and each row is compared here with both
    // its baseline and what the table holds now.
    const bool fromBaseline = mRecordSet && mRecordSet->IsOpen() && mRecordSetIsBaseline;
    mRecordSetIsBaseline = false; // this attempt may change the set, whatever comes of it
    if (!fromBaseline) openMainRecordSet();
    clsDBRecord& rs = *mRecordSet;
    const int n = numberCount();
    QList<int> keyCols;
    for (int i = 1; i <= n; ++i)
        if (mCols[i].MainKey) keyCols << i;
    const bool numberKey = keyCols.size() == 1 && mCols[keyCols[0]].eDataType != eText;
    // Each column's field, found once.
    std::vector<int> fields(static_cast<size_t>(n + 1), -1);
    {
        const QStringList names = rs.fieldNames();
        for (int i = 1; i <= n; ++i)
            fields[static_cast<size_t>(i)] = fieldOf(names, mCols[i].FieldName);
    }
    auto field = [&](int i) {
        const int f = fields[static_cast<size_t>(i)];
        return f >= 0 ? rs.Column_Num(f) : rs.Column(mCols[i].FieldName);
    };
    auto setField = [&](int i, const QVariant& v) {
        const int f = fields[static_cast<size_t>(i)];
        if (f >= 0)
            rs.setColumn_Num(f, v);
        else
            rs.setColumn(mCols[i].FieldName, v);
    };

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
    auto gridKey = [&](int g) {
        if (numberKey) {
            const QString& text = cell(g, mCols[keyCols[0]].ipointx);
            if (const auto v = keyNumber(text)) return RowKey{true, *v, {}};
            return RowKey{false, 0, text};
        }
        return keyOf(gridText(g));
    };
    const size_t loadedCount = mLoaded.rows();
    auto loadedText = [&](size_t b) {
        return TextOf([this, b](int i) { return mLoaded.text(b, i - 1); });
    };
    // A key loaded as a number is that number, as its text would say.
    auto loadedNumber = [&](size_t b, qint64& v) {
        constexpr qint64 Plain = 999999999999999999; // the most digits a text is read with
        return numberKey && mLoaded.number(b, keyCols[0] - 1, v) && v >= -Plain && v <= Plain;
    };
    auto loadedKey = [&](size_t b) {
        qint64 v;
        if (loadedNumber(b, v)) return RowKey{true, v, {}};
        return keyOf(loadedText(b));
    };
    const TextOf recordText = [&](int i) { return FieldText(field(i)); };
    // A record's number key is read as the number it is.
    auto recordKey = [&] {
        if (numberKey) {
            const QVariant v = field(keyCols[0]);
            const int type = v.metaType().id();
            if (!v.isNull() && (type == QMetaType::LongLong || type == QMetaType::Int))
                return RowKey{true, v.toLongLong(), {}};
        }
        return keyOf(recordText);
    };

    // The records as the set holds them, by key and by position. While the
    // set is the baseline, its records are the loaded ones in their order,
    // and their keys are the loaded keys.
    const int recordCount = rs.RowCount();
    std::vector<QVariant> marks;
    auto goTo = [&](int f) { rs.setBookMark(marks[static_cast<size_t>(f)]); };
    KeyIndex records;
    if (!fromBaseline && recordCount > 0) {
        marks.reserve(static_cast<size_t>(recordCount));
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            records.add(recordKey());
            marks.push_back(rs.BookMark());
        }
    }
    // The baseline by key (while the set is the baseline, its index too),
    // and which keys were loaded as numbers.
    KeyIndex loadedIndex;
    loadedIndex.reserve(loadedCount);
    std::vector<char> numberLoaded(numberKey ? loadedCount : 0, 0);
    for (size_t b = 0; b < loadedCount; ++b) {
        qint64 v;
        if (loadedNumber(b, v)) {
            numberLoaded[b] = 1;
            loadedIndex.add(RowKey{true, v, {}});
        } else {
            loadedIndex.add(keyOf(loadedText(b)));
        }
    }

    // Whether the record the set is on still holds baseline b.
    auto untouchedElsewhere = [&](size_t b) {
        if (fromBaseline) return true;
        for (int i = 1; i <= n; ++i)
            if (!mLoaded.is(b, i - 1, recordText(i))) return false;
        return true;
    };
    auto conflict = [&](int g, const QString& label) {
        result.row = g;
        result.col = g >= 1 ? mCols[firstKeyColumn()].ipointx : -1;
        result.rowLabel = label;
        return MainSave::Conflict;
    };
    auto writeRow = [&](int g, bool existing) {
        for (int i = 1; i <= n; ++i) {
            const QString& text = cell(g, mCols[i].ipointx);
            // An empty text over a NULL stays NULL: saving must not turn
            // every missing value into an empty string.
            if (existing && text.isEmpty() && mCols[i].eDataType == eText && field(i).isNull())
                continue;
            // Where empty values may repeat, they go in as NULL: the database
            // takes any number of NULLs in a unique column, but one empty text.
            if (text.isEmpty() && mCols[i].Unique && mCols[i].NullPermmit) {
                setField(i, QVariant());
                continue;
            }
            const auto value = CellValues::storedValue(text, mCols[i].eDataType);
            if (!value) throw typeMismatch(text);
            setField(i, *value);
        }
    };

    // Each row's baseline (-1: none, a new row), then whether the row still
    // holds it, compared a column at a time. A number key written as its
    // number, over a key loaded as that number, is the loaded text.
    std::vector<char> claimed(loadedCount, 0);
    const int rows = countDataRows() == 0 ? 1 : maxRow();
    const size_t rowSlots = static_cast<size_t>(std::max(rows, 1));
    std::vector<int> baseOf(rowSlots, -1);
    std::vector<char> unchanged(rowSlots, 0), keyAsLoaded(rowSlots, 0);
    const int keyX = numberKey ? mCols[keyCols[0]].ipointx : -1;
    for (int g = 1; g < rows; ++g) {
        const size_t at = static_cast<size_t>(g);
        qint64 v = 0;
        const bool plain = numberKey && numberText(mModel.text(g, keyX), v);
        int b = loadedIndex.find(plain ? RowKey{true, v, {}} : gridKey(g));
        if (b >= 0 && claimed[static_cast<size_t>(b)]) b = -1; // a second row with one key
        if (b >= 0) {
            claimed[static_cast<size_t>(b)] = 1;
            unchanged[at] = 1;
            keyAsLoaded[at] = plain && numberLoaded[static_cast<size_t>(b)];
        }
        baseOf[at] = b;
    }
    // A cell over a loaded number holds its text when it writes that number
    // as a number is written.
    // A column no cell of which changed since the load holds, in the row
    // after each record's place in the load, what that record was loaded with.
    for (int i = 1; i <= n; ++i) {
        const bool key = numberKey && i == keyCols[0];
        const fendra::TextColumn& column = mModel.column(mCols[i].ipointx);
        const bool asLoaded = mLoadedInPlace && static_cast<size_t>(i) < mLoadedVersions.size() &&
                              column.version() == mLoadedVersions[static_cast<size_t>(i)];
        PerText typed(column, [](const QString& t) {
            qint64 v;
            return numberText(t, v) ? std::optional<qint64>(v) : std::nullopt;
        });
        for (int g = 1; g < rows; ++g) {
            const size_t at = static_cast<size_t>(g);
            if (!unchanged[at] || (key && keyAsLoaded[at])) continue;
            const auto b = static_cast<size_t>(baseOf[at]);
            if (asLoaded && b + static_cast<size_t>(mFirstLoadedRow) == at) continue;
            qint64 loaded;
            if (mLoaded.number(b, i - 1, loaded)) {
                if (const std::optional<qint64> v = typed(g)) {
                    unchanged[at] = *v == loaded;
                    continue;
                }
            }
            unchanged[at] = mLoaded.is(b, i - 1, typed.text(g));
        }
    }
    // Bookmarks of the records to be written, taken before anything is.
    if (fromBaseline) {
        int last = -1;
        for (int g = 1; g < rows; ++g)
            if (!unchanged[static_cast<size_t>(g)])
                last = std::max(last, baseOf[static_cast<size_t>(g)]);
        for (size_t b = loadedCount; b-- > 0 && static_cast<int>(b) > last;)
            if (!claimed[b]) last = static_cast<int>(b);
        if (last >= 0) {
            marks.reserve(static_cast<size_t>(last) + 1);
            rs.MoveFirst();
            for (int f = 0; f <= last; ++f, rs.MoveNext())
                marks.push_back(rs.BookMark());
        }
    }

    for (int g = 1; g < rows; ++g) {
        if (unchanged[static_cast<size_t>(g)]) continue; // not changed here
        const int b = baseOf[static_cast<size_t>(g)];
        if (b >= 0) {
            const int f = fromBaseline ? b : records.find(gridKey(g));
            if (f < 0) return conflict(g, keyLabel(gridText(g)));
            goTo(f);
            if (!untouchedElsewhere(static_cast<size_t>(b)))
                return conflict(g, keyLabel(gridText(g)));
            rs.Edit();
            writeRow(g, true);
            rs.UpDate();
        } else {
            // a key that someone else has added since is theirs
            if (!fromBaseline) {
                const RowKey key = gridKey(g);
                if (records.find(key) >= 0 && loadedIndex.find(key) < 0)
                    return conflict(g, keyLabel(gridText(g)));
            }
            rs.AddNew();
            writeRow(g, false);
            rs.UpDate();
        }
    }
    // Records the user deleted from the grid; one that someone else has
    // deleted as well is simply gone.
    for (size_t b = 0; b < loadedCount; ++b) {
        if (claimed[b]) continue;
        const int f = fromBaseline ? static_cast<int>(b) : records.find(loadedKey(b));
        if (f < 0) continue;
        goTo(f);
        if (!untouchedElsewhere(b)) return conflict(-1, keyLabel(loadedText(b)));
        if (keyCols.size() == 1) {
            result.description = stillReferredTo(loadedText(b));
            if (!result.description.isEmpty()) return MainSave::InUse;
        }
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
                result.rowLabel = keyLabel(recordText);
                for (int g = 1; g < rows && result.row < 0; ++g)
                    if (gridKey(g) == key) {
                        result.row = g;
                        result.col = mCols[firstKeyColumn()].ipointx;
                    }
                break;
            }
    return MainSave::Failed;
}
