#pragma once
#include "RellmarkError.h"
#include "rellmark_global.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

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
    clsDBRecord();
    ~clsDBRecord();
    clsDBRecord(const clsDBRecord&) = delete;
    clsDBRecord& operator=(const clsDBRecord&) = delete;

    void setParentConnectClass(clsRellmark* obj_rellmark);
    clsRellmark* ParentConnectClass() const;

    void GetRecordSet(const QString& str_TblName);
    void GetRecordSet_free(const QString& ssql, bool bln_ConnectSW = false,
                           const QString& str_tempName = QStringLiteral("aa"));

    // A large result in steps: opened as GetRecordSet_free does, with only
    // its first `firstRows` rows read; ReadMore reads up to `rows` more and
    // is false once the whole result is in. While rows remain, the file is
    // held as it was when the statement began (so the steps make one
    // consistent read) and the set cannot be written; StopReading gives the
    // read up and leaves the set unopened. A server's result is always read
    // whole at once.
    void OpenFirstRows(const QString& ssql, int firstRows);
    bool ReadMore(int rows);
    bool IsReading() const;
    void StopReading();
    // Room for `rows` rows in all, where the reader knows about how many
    // will come (a count taken just before): the steps of a read then add
    // to what is held without moving it.
    void ReserveRows(int rows);

    QVariant Column(const QString& sfield) const;
    void setColumn(const QString& sfield, const QVariant& vntdata);
    QVariant Column_Num(int iColmnNum) const;
    // Field `iColmnNum` of the current row for a reader of many rows, without
    // a variant where it can: a whole number (in `number`), a text (in
    // `text`, valid until the set changes), a NULL, or another value, which
    // Column_Num reads.
    enum class FieldKind { Null, Number, Text, Other };
    FieldKind Column_Peek(int iColmnNum, qint64& number, const QString*& text) const;
    // Field `iColmnNum` of `count` rows from the current one on, as
    // Column_Peek gives them, for a reader of a column at a time (the cursor
    // stays): `each` is given a row's offset from the current one, and
    // another value in `other`.
    using FieldVisitor = std::function<void(int offset, FieldKind kind, qint64 number,
                                            const QString* text, const QVariant* other)>;
    void Column_PeekRows(int iColmnNum, int count, const FieldVisitor& each) const;
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

    void Edit();
    void AddNew();
    void UpDate();
    void Delete();

    QVariant BookMark() const;
    void setBookMark(const QVariant& mark);

    QVariant Status() const;
    bool IsOpen() const;

    // The statement the set was opened with (for diagnostics and tests).
    QString source() const;
    QStringList fieldNames() const;

    struct Private; // clsDBRecord_p.h

private:
    std::unique_ptr<Private> d;
};
