#include "ConnectionPrivate.h"
#include "StatementInfo.h"
#include "clsDBRecord_p.h"
#include "clsRellmark.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <limits>

namespace {
RellmarkError notSet() {
    return RellmarkError(
        RellmarkErr::ObjectNotSet,
        QStringLiteral("レコードセットが開かれていません（オブジェクトが未設定です）。"));
}

RellmarkError noCurrent() {
    return RellmarkError(
        RellmarkErr::NoCurrentRecord,
        QStringLiteral("BOF または EOF の位置にあるか、現在のレコードが削除されています。"));
}

bool isNumeric(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool isIntegral(const QVariant& v) {
    return isNumeric(v) && v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float;
}

// Equality as the database would see it: NULL only equals NULL, numbers by
// value whatever their width, everything else by its text.
bool sameValue(const QVariant& a, const QVariant& b) {
    const bool an = a.isNull() || !a.isValid(), bn = b.isNull() || !b.isValid();
    if (an || bn) return an && bn;
    if (isNumeric(a) && isNumeric(b)) {
        if (isIntegral(a) && isIntegral(b)) return a.toLongLong() == b.toLongLong();
        return a.toDouble() == b.toDouble();
    }
    if (a.typeId() == b.typeId()) return a == b;
    if (isNumeric(a) != isNumeric(b)) return false;
    return a.toString() == b.toString();
}

QString unquoted(QString name) {
    if (name.size() >= 2 && ((name.front() == '[' && name.back() == ']') ||
                             (name.front() == '"' && name.back() == '"') ||
                             (name.front() == '`' && name.back() == '`')))
        name = name.mid(1, name.size() - 2);
    return name;
}

// A value read from a server as the same value read from a file: every
// whole number as a 64-bit integer, a decimal without fraction (a sum of
// whole numbers) too, other decimals as floating point.
QVariant serverValue(const QVariant& v, bool decimal) {
    if (v.isNull()) return v;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::UInt:
    case QMetaType::UShort:
        return QVariant(v.toLongLong());
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        if (v.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
            return QVariant(v.toLongLong());
        return QVariant(v.toDouble());
    case QMetaType::QString:
        if (decimal) {
            const QString t = v.toString();
            bool ok = false;
            const qlonglong whole = t.toLongLong(&ok);
            if (ok) return QVariant(whole);
            const double d = t.toDouble(&ok);
            if (ok) return QVariant(d);
        }
        return v;
    default:
        return v;
    }
}

int flagFor(RellmarkError::Kind kind) {
    return kind == RellmarkError::Kind::Constraint ? RecStatus::IntegrityViolation
                                                   : RecStatus::Invalid;
}
} // namespace

void clsDBRecord::Private::requireOpen() const {
    if (mState == State::New) throw notSet();
    if (mState == State::Closed)
        throw RellmarkError(RellmarkErr::ObjectClosed,
                            QStringLiteral("レコードセットが閉じられているため操作できません。"));
}

int clsDBRecord::Private::requireCurrent() const {
    requireOpen();
    if (mVisible == 0 || mPos < 0 || mPos >= static_cast<int>(mRows.size())) throw noCurrent();
    return mPos;
}

int clsDBRecord::Private::requireLiveCurrent() const {
    const int r = requireCurrent();
    if (mRows[r].deleted) throw noCurrent();
    return r;
}

void clsDBRecord::Private::GetRecordSet(const QString& str_TblName) {
    GetRecordSet_free(QStringLiteral("select * from ") + str_TblName);
}

void clsDBRecord::Private::GetRecordSet_free(const QString& ssql, int firstRows) {
    try {
        startReading(ssql);
        readSome(firstRows);
    } catch (const RellmarkError& e) {
        // A read outside a transaction that failed because the connection is
        // gone (or the file was replaced, or could not be written when it was
        // opened) opens the connection again and is tried once more.
        RellmarkConnection* conn = mParentConnect ? mParentConnect->GetConnection() : nullptr;
        if (!e.reconnectMayHelp() || !conn || conn->inTransaction) throw;
        try {
            mParentConnect->reconnect();
        } catch (const RellmarkError&) {
            throw e;
        }
        startReading(ssql);
        readSome(firstRows);
    }
}

void clsDBRecord::Private::startReading(const QString& ssql) {
    // Whatever was held is dropped first; a failed open leaves a new, unopened set.
    mReading.reset();
    mState = State::New;
    mSource.clear();
    mNames.clear();
    mIndexExact.clear();
    mIndexFolded.clear();
    mValues.reset(0);
    mRows.clear();
    mOrig.clear();
    mAssigned.clear();
    mNextId = 0;
    mCols = 0;
    mVisible = 0;
    mPos = -1;

    if (!mParentConnect)
        throw RellmarkError(RellmarkErr::ObjectNotSet,
                            QStringLiteral("接続オブジェクトが設定されていません。"));
    RellmarkConnection* conn = mParentConnect->GetConnection();
    if (!conn || !conn->open)
        throw RellmarkError(RellmarkErr::ObjectNotSet,
                            QStringLiteral("データベースに接続されていません。"));

    // before the guard's savepoint, which would open a transaction of its own
    if (auto refused = beforeStatement(*conn, conn->inTransaction)) throw *refused;
    auto reading = std::make_unique<Reading>(*conn);
    QSqlQuery& q = reading->q;
    q.setForwardOnly(true);
    // Decimal results (a server's sum of whole numbers) come as their text
    // and are read below as the numbers they are.
    QString statement = ssql;
    if (conn->server) {
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
        QString refusal;
        statement = serverStatement(ssql, &refusal);
        if (statement.isEmpty()) throw RellmarkError(RellmarkErr::Provider, refusal);
    }
    if (auto failed = execWatched(*conn, q, &statement)) {
        reading->savepoint.failed();
        throw *failed;
    }
    const QSqlRecord rec = q.record();
    mCols = rec.count();
    for (int i = 0; i < mCols; ++i) {
        const QString n = rec.fieldName(i);
        mNames << n;
        if (!mIndexExact.contains(n)) mIndexExact.insert(n, i);
        const QString f = n.toCaseFolded();
        if (!mIndexFolded.contains(f)) mIndexFolded.insert(f, i);
    }
    mValues.reset(mCols);
    if (conn->server) {
        reading->decimal.resize(static_cast<size_t>(mCols));
        for (int i = 0; i < mCols; ++i)
            reading->decimal[static_cast<size_t>(i)] =
                rec.field(i).metaType().id() == QMetaType::Double;
    }
    mSource = ssql;
    mReading = std::move(reading);
    mState = State::Open;
}

bool clsDBRecord::Private::readSome(int limit) {
    if (!mReading) return false;
    Reading& rd = *mReading;
    QSqlQuery& q = rd.q;
    RellmarkConnection* conn = mParentConnect ? mParentConnect->GetConnection() : nullptr;
    if (!conn || conn->opening != rd.opening || !conn->open) {
        // what was read is only the beginning of a result that is gone
        dropPartialRead();
        throw connectionLost();
    }
    // A server hands its whole answer over at once (and a statement left
    // open there would be cut short by the next one on the connection), so
    // it is always read to the end.
    if (rd.server) limit = std::numeric_limits<int>::max();
    bool more = false;
    try {
        const std::optional<AnswerWatch> watch =
            rd.server ? std::optional<AnswerWatch>(std::in_place, *conn) : std::nullopt;
        for (int n = 0; n < limit; ++n) {
            if (!q.next()) break;
            if (rd.server)
                for (int i = 0; i < mCols; ++i)
                    mValues.append(i, serverValue(q.value(i), rd.decimal[static_cast<size_t>(i)]));
            else
                for (int i = 0; i < mCols; ++i)
                    mValues.append(i, q.value(i));
            mValues.endRow();
            Row row;
            row.id = mNextId++;
            mRows.push_back(row);
            if (n + 1 == limit) more = true;
        }
        if (q.lastError().isValid()) {
            rd.savepoint.failed();
            throw errorOf(*conn, q.lastError());
        }
    } catch (...) {
        // a set cut short holds nothing: it is unopened, as after a failed open
        dropPartialRead();
        throw;
    }
    mVisible = static_cast<int>(mRows.size());
    // the cursor stays where the reader left it: on the first of the new rows
    // after it had passed the last
    if (mPos < 0) mPos = 0;
    if (more && q.isActive()) {
        // The first rows are in: from now on the statement itself holds the
        // read lock (or snapshot) on the file, and the schema guard's
        // savepoint, a transaction of its own, must not stay open while the
        // program goes on between two steps.
        rd.schema.reset();
        return true;
    }
    q.finish(); // detached: nothing of the statement stays open
    mReading.reset();
    return false;
}

void clsDBRecord::Private::stopReading() {
    // what was read is not the whole result: nothing of it can be saved
    if (mReading) dropPartialRead();
}

void clsDBRecord::Private::dropPartialRead() {
    mReading.reset();
    mState = State::New;
    mValues.clear();
    mRows.clear();
    mNextId = 0;
    mVisible = 0;
    mPos = -1;
}

void clsDBRecord::Private::requireRead() const {
    if (mReading)
        throw RellmarkError(
            RellmarkErr::Provider,
            QStringLiteral("レコードセットはまだ読み込み中のため、書き込めません。"));
}

int clsDBRecord::Private::fieldIndex(const QString& name) const {
    auto it = mIndexExact.constFind(name);
    if (it != mIndexExact.constEnd()) return *it;
    it = mIndexFolded.constFind(name.toCaseFolded());
    if (it != mIndexFolded.constEnd()) return *it;
    throw RellmarkError(
        RellmarkErr::ItemNotFound,
        QStringLiteral("要求された名前または序数に対応する項目がありません：%1").arg(name));
}

QVariant clsDBRecord::Private::Column(const QString& sfield) const {
    requireOpen();
    const int c = fieldIndex(sfield);
    const int r = requireLiveCurrent();
    return mValues.value(r, c);
}

void clsDBRecord::Private::setColumn(const QString& sfield, const QVariant& vntdata) {
    requireOpen();
    const int c = fieldIndex(sfield);
    assign(requireLiveCurrent(), c, vntdata);
}

QVariant clsDBRecord::Private::Column_Num(int iColmnNum) const {
    requireOpen();
    if (iColmnNum < 0 || iColmnNum >= mCols)
        throw RellmarkError(
            RellmarkErr::ItemNotFound,
            QStringLiteral("要求された序数に対応する項目がありません：%1").arg(iColmnNum));
    return mValues.value(requireLiveCurrent(), iColmnNum);
}

int clsDBRecord::Private::Column_Peek(int iColmnNum, qint64& number, const QString*& text) const {
    requireOpen();
    if (iColmnNum < 0 || iColmnNum >= mCols)
        throw RellmarkError(
            RellmarkErr::ItemNotFound,
            QStringLiteral("要求された序数に対応する項目がありません：%1").arg(iColmnNum));
    return mValues.peek(requireLiveCurrent(), iColmnNum, number, text);
}

void clsDBRecord::Private::Column_PeekRows(int iColmnNum, int count,
                                           const clsDBRecord::FieldVisitor& each) const {
    requireOpen();
    if (iColmnNum < 0 || iColmnNum >= mCols)
        throw RellmarkError(
            RellmarkErr::ItemNotFound,
            QStringLiteral("要求された序数に対応する項目がありません：%1").arg(iColmnNum));
    if (count <= 0) return;
    const int from = requireLiveCurrent();
    if (count > static_cast<int>(mRows.size()) - from) throw noCurrent();
    for (int r = from; r < from + count; ++r)
        if (mRows[static_cast<size_t>(r)].deleted) throw noCurrent();
    mValues.peekRows(
        from, count, iColmnNum,
        [&](int i, int kind, qint64 number, const QString* text, const QVariant* other) {
            each(i, static_cast<clsDBRecord::FieldKind>(kind), number, text, other);
        });
}

void clsDBRecord::Private::setColumn_Num(int iColmnNum, const QVariant& vntdata) {
    requireOpen();
    if (iColmnNum < 0 || iColmnNum >= mCols)
        throw RellmarkError(
            RellmarkErr::ItemNotFound,
            QStringLiteral("要求された序数に対応する項目がありません：%1").arg(iColmnNum));
    assign(requireLiveCurrent(), iColmnNum, vntdata);
}

void clsDBRecord::Private::assign(int r, int c, const QVariant& value) {
    Row& row = mRows[r];
    if (row.isNew) mAssigned[r][static_cast<size_t>(c)] = true;
    if (sameValue(mValues.value(r, c), value)) return; // an equal value is no change
    if (!row.isNew && !mOrig.contains(r)) {
        mOrig.insert(r, rowValues(r));
    }
    mValues.set(r, c, value);
    row.pending = true;
    row.status = row.isNew ? RecStatus::New : RecStatus::Modified;
}

QList<QVariant> clsDBRecord::Private::rowValues(int r) const {
    QList<QVariant> v;
    v.reserve(mCols);
    for (int c = 0; c < mCols; ++c)
        v << mValues.value(r, c);
    return v;
}

void clsDBRecord::Private::CloseRecordSet() {
    requireOpen();
    mReading.reset();
    mState = State::Closed;
    mValues.clear();
    mRows.clear();
    mOrig.clear();
    mAssigned.clear();
    mVisible = 0;
    mPos = -1;
}

int clsDBRecord::Private::firstVisible() const {
    for (int i = 0; i < static_cast<int>(mRows.size()); ++i)
        if (!mRows[i].deleted) return i;
    return static_cast<int>(mRows.size());
}

int clsDBRecord::Private::lastVisible() const {
    for (int i = static_cast<int>(mRows.size()) - 1; i >= 0; --i)
        if (!mRows[i].deleted) return i;
    return -1;
}

void clsDBRecord::Private::MoveFirst() {
    requireOpen();
    if (mVisible == 0) throw noCurrent();
    mPos = firstVisible();
}

void clsDBRecord::Private::MoveLast() {
    requireOpen();
    if (mVisible == 0) throw noCurrent();
    mPos = lastVisible();
}

void clsDBRecord::Private::MoveNext() {
    requireOpen();
    if (Eof()) throw noCurrent();
    int p = mPos + 1;
    while (p < static_cast<int>(mRows.size()) && mRows[p].deleted)
        ++p;
    mPos = p;
}

void clsDBRecord::Private::MovePrevious() {
    requireOpen();
    if (Bof()) throw noCurrent();
    int p = mPos - 1;
    while (p >= 0 && mRows[p].deleted)
        --p;
    mPos = p;
}

bool clsDBRecord::Private::Eof() const {
    requireOpen();
    return mVisible == 0 || mPos >= static_cast<int>(mRows.size());
}

bool clsDBRecord::Private::Bof() const {
    requireOpen();
    return mVisible == 0 || mPos < 0;
}

int clsDBRecord::Private::RowCount() const {
    requireOpen();
    return mVisible;
}

int clsDBRecord::Private::ColCount() const {
    requireOpen();
    return mCols;
}

void clsDBRecord::Private::AddNew() {
    requireOpen();
    mValues.appendEmptyRow();
    Row row;
    row.id = mNextId++;
    row.isNew = true;
    row.pending = true;
    row.status = RecStatus::New;
    mRows.push_back(row);
    mAssigned.insert(static_cast<int>(mRows.size()) - 1, std::vector<bool>(mCols, false));
    ++mVisible;
    mPos = static_cast<int>(mRows.size()) - 1;
}

void clsDBRecord::Private::UpDate() {
    requireOpen();
    // Field writes are stored at once; ending the edit has nothing left to do.
}

void clsDBRecord::Private::Delete() {
    Row& row = mRows[requireCurrent()];
    if (row.deleted) throw noCurrent();
    row.deleted = true;
    row.pending = true;
    row.status = RecStatus::Deleted;
    --mVisible;
}

QVariant clsDBRecord::Private::BookMark() const {
    return QVariant(mRows[requireCurrent()].id);
}

void clsDBRecord::Private::setBookMark(const QVariant& mark) {
    requireOpen();
    bool ok = false;
    const int id = mark.toInt(&ok);
    // Rows keep their order and ids only grow, so a row is found where its id
    // says until a batch removes deleted rows, and by halving after that.
    int p = -1;
    if (ok && id >= 0) {
        if (id < static_cast<int>(mRows.size()) && mRows[id].id == id) {
            p = id;
        } else {
            const auto it = std::lower_bound(mRows.begin(), mRows.end(), id,
                                             [](const Row& row, int v) { return row.id < v; });
            if (it != mRows.end() && it->id == id) p = static_cast<int>(it - mRows.begin());
        }
    }
    if (p < 0 || mRows[p].deleted)
        throw RellmarkError(RellmarkErr::NoCurrentRecord,
                            QStringLiteral("ブックマークが無効です。"));
    mPos = p;
}

QVariant clsDBRecord::Private::Status() const {
    const int r = requireCurrent();
    return QVariant(static_cast<qint32>(mRows[r].status));
}

// ---- transactions -------------------------------------------------------

namespace {
RellmarkConnection* connectionOf(clsRellmark* parent) {
    RellmarkConnection* conn = parent ? parent->GetConnection() : nullptr;
    if (!conn || !conn->open)
        throw RellmarkError(RellmarkErr::ObjectNotSet,
                            QStringLiteral("データベースに接続されていません。"));
    return conn;
}
} // namespace

void clsDBRecord::Private::BeginTrans() {
    RellmarkConnection* conn = connectionOf(mParentConnect);
    if (conn->inTransaction)
        throw RellmarkError(RellmarkErr::Provider,
                            QStringLiteral("トランザクションは既に開始されています。"));
    auto begin = [](RellmarkConnection& c) -> std::optional<RellmarkError> {
        if (auto refused = beforeStatement(c, false)) return refused;
        QSqlDatabase db = c.db();
        if (db.driverName() == QLatin1String("QSQLITE")) {
            // Every lock the transaction needs is taken here, in one wait of at
            // most the busy timeout: taken statement by statement, a database
            // held by another program would cost that wait for every row written.
            QSqlQuery q(db);
            const QString sql = QStringLiteral("BEGIN EXCLUSIVE");
            return execWatched(c, q, &sql);
        }
        const AnswerWatch watch(c);
        if (!db.transaction()) return errorOf(c, db.lastError());
        return std::nullopt;
    };
    if (auto failed = begin(*conn)) {
        // Nothing is written yet: a connection that is gone is opened again
        // and the transaction begun once more.
        if (!failed->reconnectMayHelp()) throw *failed;
        try {
            mParentConnect->reconnect();
        } catch (const RellmarkError&) {
            throw *failed;
        }
        conn = connectionOf(mParentConnect);
        if (auto again = begin(*conn)) throw *again;
    }
    conn->inTransaction = true;
}

void clsDBRecord::Private::ComittTrans() {
    RellmarkConnection* conn = connectionOf(mParentConnect);
    if (!conn->inTransaction)
        throw RellmarkError(
            RellmarkErr::NoTransaction,
            QStringLiteral("トランザクションが開始されていないためコミットできません。"));
    if (auto refused = beforeStatement(*conn, true)) {
        if (refused->number() == RellmarkErr::TransactionEnded) conn->inTransaction = false;
        throw *refused;
    }
    QSqlDatabase db = conn->db();
    const AnswerWatch watch(*conn);
    if (!db.commit()) {
        const RellmarkError e = errorOf(*conn, db.lastError());
        if (!transactionOpen(*conn)) conn->inTransaction = false;
        throw e;
    }
    conn->inTransaction = false;
}

void clsDBRecord::Private::RollBackTrans() {
    RellmarkConnection* conn = connectionOf(mParentConnect);
    if (!conn->inTransaction)
        throw RellmarkError(
            RellmarkErr::NoTransaction,
            QStringLiteral("トランザクションが開始されていないためロールバックできません。"));
    QSqlDatabase db = conn->db();
    conn->inTransaction = false;
    // one that the database has ended already has nothing left to undo
    if (!transactionOpen(*conn)) return;
    const AnswerWatch watch(*conn);
    if (!db.rollback()) throw errorOf(*conn, db.lastError());
}

// ---- batch update --------------------------------------------------------

bool clsDBRecord::Private::BatchUpdate() {
    requireOpen();
    requireRead();
    RellmarkConnection* conn = connectionOf(mParentConnect);
    conn->errors.clear();

    // Rows added and deleted again, and rows changed back to what they were,
    // have nothing to write.
    std::vector<int> dels, upds, ins;
    for (int i = 0; i < static_cast<int>(mRows.size()); ++i) {
        const Row& row = mRows[i];
        if (!row.pending) continue;
        if (row.deleted) {
            if (!row.isNew) dels.push_back(i);
        } else if (row.isNew) {
            ins.push_back(i);
        } else {
            const QList<QVariant>& orig = mOrig[i];
            bool differs = false;
            for (int c = 0; c < mCols && !differs; ++c)
                differs = !sameValue(orig[c], mValues.value(i, c));
            if (differs) upds.push_back(i);
        }
    }

    QHash<int, qlonglong> newKeys; // rows whose integer key the database chose
    int autoKeyCol = -1;
    if (!dels.empty() || !upds.empty() || !ins.empty()) {
        const StatementInfo info = analyseSelect(mSource);
        if (!info.updatable) {
            conn->errors.append({RellmarkErr::NotUpdatable,
                                 QStringLiteral("この結果は一つの表の列だけを読むものではないため、"
                                                "変更を書き込めません（%1）。")
                                     .arg(info.reason)});
            for (int i : dels)
                mRows[i].status |= RecStatus::Invalid;
            for (int i : upds)
                mRows[i].status |= RecStatus::Invalid;
            for (int i : ins)
                mRows[i].status |= RecStatus::Invalid;
        } else {
            QSqlDatabase db = conn->db();
            QSqlDriver* drv = db.driver();
            auto field = [&](const QString& n) {
                return drv->escapeIdentifier(n, QSqlDriver::FieldName);
            };
            const QString table = info.table;

            // A row is found by the table's primary key where the result holds
            // all of it; every original value is compared as well, so a row
            // changed by someone else since it was read is not overwritten.
            const QSqlIndex pk = [&] {
                const AnswerWatch watch(*conn); // a server is asked for it
                return db.primaryIndex(unquoted(table));
            }();
            // without an answer, the table only seems to lack a primary key
            if (pk.count() == 0 && connectionGone(*conn)) {
                conn->errors.append(RellmarkProviderError(connectionLost()));
                for (auto* list : {&dels, &upds, &ins}) {
                    for (int i : *list)
                        mRows[i].status |= RecStatus::Invalid;
                    list->clear();
                }
            }
            bool pkInResult = pk.count() > 0;
            for (int k = 0; k < pk.count() && pkInResult; ++k)
                pkInResult = mIndexFolded.contains(pk.fieldName(k).toCaseFolded());
            // NULL-safe equality: SQLite's IS, the standard's IS NOT DISTINCT FROM.
            const QString same =
                conn->server ? QStringLiteral(" IS NOT DISTINCT FROM ?") : QStringLiteral(" IS ?");
            QString match;
            for (int c = 0; c < mCols; ++c)
                match += (c ? QStringLiteral(" AND ") : QString()) + field(mNames[c]) + same;
            const QString where =
                pkInResult
                    ? QStringLiteral(" WHERE ") + match
                    : QStringLiteral(" WHERE rowid = (SELECT rowid FROM %1 WHERE %2 LIMIT 1)")
                          .arg(table, match);
            if (pk.count() == 1 && pkInResult)
                autoKeyCol = mIndexFolded.value(pk.fieldName(0).toCaseFolded());
            // A server has no row id: without its primary key a row is not
            // told apart from its twins, and changing "one of them" could
            // change or delete the wrong one.
            if (conn->server && !pkInResult && (!dels.empty() || !upds.empty())) {
                conn->errors.append(
                    {RellmarkErr::NotUpdatable,
                     pk.count() == 0
                         ? QStringLiteral("表 %1 には主キーがないため、サーバーのデータベースでは"
                                          "行の変更や削除を書き込めません。")
                               .arg(table)
                         : QStringLiteral("表 %1 の主キーの列を読んでいないため、サーバーのデータ"
                                          "ベースでは行の変更や削除を書き込めません。")
                               .arg(table)});
                for (int i : dels)
                    mRows[i].status |= RecStatus::Invalid;
                for (int i : upds)
                    mRows[i].status |= RecStatus::Invalid;
                for (int i : ins)
                    mRows[i].status |= RecStatus::Invalid;
                dels.clear();
                upds.clear();
                ins.clear();
            }

            // A transaction that the database has ended by itself (a full
            // disk, an I/O error) is not the caller's any more: written now,
            // each row would be committed alone. Checked before the batch's
            // savepoint, which would begin a transaction of its own.
            if (conn->inTransaction && conn->errors.isEmpty())
                if (auto refused = beforeStatement(*conn, true)) {
                    conn->errors.append(RellmarkProviderError(*refused));
                    for (auto* list : {&dels, &upds, &ins})
                        for (int i : *list)
                            mRows[i].status |= RecStatus::Invalid;
                    dels.clear();
                    upds.clear();
                    ins.clear();
                }
            // On a server a savepoint lives only inside a transaction: a batch
            // outside one gets a transaction of its own, so that it is still
            // written whole or not at all.
            bool ownTransaction = false;
            if (conn->server && !conn->inTransaction && conn->errors.isEmpty()) {
                const AnswerWatch watch(*conn);
                ownTransaction = db.transaction();
            }
            QSqlQuery sp(db);
            auto internal = [&](const QString& sql) {
                const AnswerWatch watch(*conn);
                return sp.exec(sql);
            };
            const bool savepoint =
                conn->errors.isEmpty() && internal(QStringLiteral("SAVEPOINT rellmark_batch"));
            // Every statement of the batch runs inside its transaction, or not at all.
            const bool transacted = savepoint || ownTransaction || conn->inTransaction;
            // After a statement that failed, nothing more is written.
            bool stopped = !conn->errors.isEmpty();
            QHash<QString, QSqlQuery> prepared;
            auto run = [&](int row, const QString& sql, const QList<QVariant>& binds,
                           bool mustTouch) {
                if (stopped) return false;
                auto it = prepared.find(sql);
                if (it == prepared.end()) {
                    QSqlQuery q(db);
                    // A server checks the statement (and waits for the
                    // table) already here.
                    bool ok = false;
                    {
                        const AnswerWatch watch(*conn);
                        ok = q.prepare(sql);
                    }
                    if (!ok && conn->server) {
                        const RellmarkError e = errorOf(*conn, q.lastError());
                        conn->errors.append(RellmarkProviderError(e));
                        mRows[row].status |= flagFor(e.kind());
                        stopped = true;
                        return false;
                    }
                    it = prepared.insert(sql, q);
                }
                QSqlQuery& q = *it;
                for (int b = 0; b < binds.size(); ++b)
                    q.bindValue(b, binds[b]);
                if (auto e = runStatement(*conn, q, nullptr, transacted)) {
                    conn->errors.append(RellmarkProviderError(*e));
                    mRows[row].status |= flagFor(e->kind());
                    stopped = true;
                    return false;
                }
                if (mustTouch && q.numRowsAffected() == 0) {
                    // not a failed statement: the other rows are still tried,
                    // so that each row changed elsewhere is flagged
                    conn->errors.append({RellmarkErr::Conflict,
                                         QStringLiteral("更新しようとした行は、読み出した後に他で変"
                                                        "更または削除されています（%1）。")
                                             .arg(table),
                                         RellmarkError::Kind::Conflict});
                    mRows[row].status |= RecStatus::ConcurrencyViolation;
                    return false;
                }
                return true;
            };
            for (int i : dels)
                run(i, QStringLiteral("DELETE FROM ") + table + where,
                    mOrig.contains(i) ? mOrig[i] : rowValues(i), true);
            for (int i : upds) {
                const QList<QVariant>& orig = mOrig[i];
                QString set;
                QList<QVariant> binds;
                for (int c = 0; c < mCols; ++c) {
                    const QVariant v = mValues.value(i, c);
                    if (sameValue(orig[c], v)) continue;
                    set += (set.isEmpty() ? QString() : QStringLiteral(", ")) + field(mNames[c]) +
                           QStringLiteral(" = ?");
                    binds << v;
                }
                binds << orig;
                run(i, QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + set + where,
                    binds, true);
            }
            for (int i : ins) {
                QString cols, marks;
                QList<QVariant> binds;
                const std::vector<bool>& assigned = mAssigned[i];
                for (int c = 0; c < mCols; ++c) {
                    if (!assigned[static_cast<size_t>(c)]) continue;
                    const QVariant v = mValues.value(i, c);
                    cols += (cols.isEmpty() ? QString() : QStringLiteral(", ")) + field(mNames[c]);
                    marks += (marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?"));
                    binds << v;
                }
                QString sql =
                    cols.isEmpty()
                        ? QStringLiteral("INSERT INTO ") + table + QStringLiteral(" DEFAULT VALUES")
                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols, marks);
                const bool keyFromDb = autoKeyCol >= 0 && mValues.value(i, autoKeyCol).isNull();
                // A server tells the key it chose in the answer to the insert.
                if (keyFromDb && conn->server)
                    sql += QStringLiteral(" RETURNING ") + field(mNames[autoKeyCol]);
                if (run(i, sql, binds, false) && keyFromDb) {
                    QSqlQuery& q = prepared[sql];
                    const QVariant id =
                        conn->server ? (q.next() ? q.value(0) : QVariant()) : q.lastInsertId();
                    if (id.isValid() && !id.isNull()) newKeys.insert(i, id.toLongLong());
                }
            }
            for (auto& q : prepared)
                q.finish();
            prepared.clear();
            if (savepoint) {
                // A failed batch writes nothing at all: the caller's rollback
                // then finds the database exactly as before the batch.
                if (!conn->errors.isEmpty()) internal(QStringLiteral("ROLLBACK TO rellmark_batch"));
                internal(QStringLiteral("RELEASE rellmark_batch"));
            }
            if (ownTransaction) {
                const AnswerWatch watch(*conn);
                if (!conn->errors.isEmpty()) {
                    db.rollback();
                } else if (!db.commit()) {
                    const RellmarkError e = errorOf(*conn, db.lastError());
                    conn->errors.append(RellmarkProviderError(e));
                    for (auto* list : {&dels, &upds, &ins})
                        for (int i : *list)
                            mRows[i].status |= flagFor(e.kind());
                }
            }
        }
    }

    if (!conn->errors.isEmpty())
        clsRellmark::showMessage(conn->errors.first().description, clsRellmark::Icon::None);
    const bool result = conn->errors.isEmpty();

    if (result) {
        // Written rows are settled; rows the batch did not touch are marked so.
        std::vector<Row> rows;
        std::vector<char> keep;
        const bool compact = mVisible < static_cast<int>(mRows.size()); // deleted rows leave
        if (compact) {
            rows.reserve(mRows.size());
            keep.resize(mRows.size());
        }
        const int autoCol = newKeys.isEmpty() ? -1 : autoKeyCol;
        for (int i = 0; i < static_cast<int>(mRows.size()); ++i) {
            Row row = mRows[i];
            if (compact) keep[static_cast<size_t>(i)] = !row.deleted;
            if (row.deleted) continue; // written (or never written) deletions leave the set
            if (row.pending) {
                row = Row{row.id};
            } else {
                row.status = RecStatus::Unmodified;
            }
            if (autoCol >= 0 && newKeys.contains(i))
                mValues.set(i, autoCol, QVariant(newKeys.value(i)));
            if (compact) {
                rows.push_back(row);
            } else {
                mRows[i] = row;
            }
        }
        if (compact) {
            mValues.keepRows(keep);
            mRows.swap(rows);
        }
        mOrig.clear();
        mAssigned.clear();
        mVisible = static_cast<int>(mRows.size());
    }
    mPos = firstVisible();
    return result;
}
