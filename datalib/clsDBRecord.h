#pragma once
#include "RellmarkError.h"
#include "rellmark_global.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

class clsRellmark;

// Record status flags (the values a record set's Status reports).
namespace RecStatus {
constexpr int OK = 0;
constexpr int New = 1;
constexpr int Modified = 2;
constexpr int Deleted = 4;
constexpr int Unmodified = 8;
constexpr int Invalid = 0x10;
constexpr int ConcurrencyViolation = 0x800;
constexpr int IntegrityViolation = 0x1000;
constexpr int DBDeleted = 0x40000;
} // namespace RecStatus

// A detached record set: the whole result of one SELECT held in memory.
// Changes stay pending inside it until BatchUpdate writes them.
//
// EOF and BOF are spelled Eof() and Bof(): EOF is a macro of the C library.
class RELLMARK_EXPORT clsDBRecord {
public:
    clsDBRecord() = default;
    clsDBRecord(const clsDBRecord&) = delete;
    clsDBRecord& operator=(const clsDBRecord&) = delete;

    void setParentConnectClass(clsRellmark* obj_rellmark) { mParentConnect = obj_rellmark; }
    clsRellmark* ParentConnectClass() const { return mParentConnect; }

    void GetRecordSet(const QString& str_TblName);
    void GetRecordSet_free(const QString& ssql, bool bln_ConnectSW = false,
                           const QString& str_tempName = QStringLiteral("aa"));

    QVariant Column(const QString& sfield) const;
    void setColumn(const QString& sfield, const QVariant& vntdata);
    QVariant Column_Num(int iColmnNum) const;
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

    void Edit() { requireOpen(); }
    void AddNew();
    void UpDate();
    void Delete();

    QVariant BookMark() const;
    void setBookMark(const QVariant& mark);

    QVariant Status() const;
    bool IsOpen() const { return mState == State::Open; }

    // The statement the set was opened with (for diagnostics and tests).
    QString source() const { return mSource; }
    QStringList fieldNames() const { return mNames; }

private:
    enum class State { New, Open, Closed };
    struct Row {
        int id = 0; // what a bookmark names: the order of reading and adding, kept by a batch
        int status = RecStatus::OK;
        bool isNew = false;
        bool deleted = false;
        bool pending = false;
    };

    void requireOpen() const;
    int requireCurrent() const;
    // The current row for reading or writing a field: not a deleted one.
    int requireLiveCurrent() const;
    int fieldIndex(const QString& name) const;
    void assign(int row, int col, const QVariant& value);
    QList<QVariant> rowValues(int row) const;
    int firstVisible() const;
    int lastVisible() const;

    clsRellmark* mParentConnect = nullptr;
    State mState = State::New;
    QString mSource;
    QStringList mNames;
    QHash<QString, int> mIndexExact;
    QHash<QString, int> mIndexFolded;
    int mCols = 0;
    std::vector<QVariant> mValues; // row-major, mCols per row
    std::vector<Row> mRows;
    QHash<int, QList<QVariant>> mOrig; // original values of rows changed since they were read
    // The fields set on each new row, NULL included; the others are left to
    // the column's default when the row is written.
    QHash<int, std::vector<bool>> mAssigned;
    int mNextId = 0;
    int mVisible = 0; // rows not deleted
    int mPos = -1;    // index into mRows; -1 = BOF, size = EOF
};
