#pragma once
// The state of a clsDBRecord, and the record set's work itself; the class
// forwards to it.
#include "ConnectionPrivate.h"
#include "RecordValues.h"
#include "clsDBRecord.h"

#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <limits>
#include <memory>
#include <vector>

struct clsDBRecord::Private {
    void setParentConnectClass(clsRellmark* obj_rellmark) { mParentConnect = obj_rellmark; }
    void GetRecordSet(const QString& str_TblName);
    void GetRecordSet_free(const QString& ssql, int firstRows = std::numeric_limits<int>::max());
    QVariant Column(const QString& sfield) const;
    void setColumn(const QString& sfield, const QVariant& vntdata);
    QVariant Column_Num(int iColmnNum) const;
    int Column_Peek(int iColmnNum, qint64& number, const QString*& text) const;
    void Column_PeekRows(int iColmnNum, int count, const clsDBRecord::FieldVisitor& each) const;
    void setColumn_Num(int iColmnNum, const QVariant& vntdata);
    void CloseRecordSet();
    bool BatchUpdate();
    void RollBackTrans();
    void ComittTrans();
    void BeginTrans();
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    bool Eof() const;
    bool Bof() const;
    int RowCount() const;
    int ColCount() const;
    void AddNew();
    void UpDate();
    void Delete();
    QVariant BookMark() const;
    void setBookMark(const QVariant& mark);
    QVariant Status() const;

    enum class State { New, Open, Closed };
    struct Row {
        int id = 0; // what a bookmark names: the order of reading and adding, kept by a batch
        int status = RecStatus::OK;
        bool isNew = false;
        bool deleted = false;
        bool pending = false;
    };

    // A statement read in steps: started (rows not yet read), read on by
    // up to `limit` rows at a time (true while rows may remain), or stopped
    // before its end (the set is then unopened).
    void startReading(const QString& ssql);
    bool readSome(int limit);
    void stopReading();
    void dropPartialRead();
    void requireRead() const;
    void requireOpen() const;
    int requireCurrent() const;
    // The current row for reading or writing a field: not a deleted one.
    int requireLiveCurrent() const;
    int fieldIndex(const QString& name) const;
    void assign(int row, int col, const QVariant& value);
    QList<QVariant> rowValues(int row) const;
    int firstVisible() const;
    int lastVisible() const;

    // The statement of a set still being read, and what holds the file
    // still for it until its first rows are in.
    struct Reading {
        explicit Reading(RellmarkConnection& c)
            : opening(c.opening), server(c.server),
              schema(std::make_unique<SchemaGuard>(c.db(), SchemaGuard::HoldUntilRead)),
              savepoint(c), q(c.db()) {}
        // the connection read through (it may be opened again between two
        // steps, which ends the read)
        quint64 opening;
        bool server;
        std::unique_ptr<SchemaGuard> schema;
        StatementSavepoint savepoint;
        QSqlQuery q;
        std::vector<char> decimal; // per column: a server's decimal, read as a number
    };
    std::unique_ptr<Reading> mReading;

    clsRellmark* mParentConnect = nullptr;
    State mState = State::New;
    QString mSource;
    QStringList mNames;
    QHash<QString, int> mIndexExact;
    QHash<QString, int> mIndexFolded;
    int mCols = 0;
    RecordValues mValues; // mCols columns, one row for each of mRows
    std::vector<Row> mRows;
    QHash<int, QList<QVariant>> mOrig; // original values of rows changed since they were read
    // The fields set on each new row, NULL included; the others are left to
    // the column's default when the row is written.
    QHash<int, std::vector<bool>> mAssigned;
    int mNextId = 0;
    int mVisible = 0; // rows not deleted
    int mPos = -1;    // index into mRows; -1 = BOF, size = EOF
};
