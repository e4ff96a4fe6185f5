// The record set's interface: each member forwards to its private part.
#include "clsDBRecord_p.h"

#include <algorithm>

clsDBRecord::clsDBRecord() : d(std::make_unique<Private>()) {}
clsDBRecord::~clsDBRecord() = default;

void clsDBRecord::setParentConnectClass(clsRellmark* obj_rellmark) {
    d->mParentConnect = obj_rellmark;
}
clsRellmark* clsDBRecord::ParentConnectClass() const {
    return d->mParentConnect;
}
void clsDBRecord::GetRecordSet(const QString& str_TblName) {
    d->GetRecordSet(str_TblName);
}
void clsDBRecord::GetRecordSet_free(const QString& ssql, bool, const QString&) {
    d->GetRecordSet_free(ssql);
}
void clsDBRecord::OpenFirstRows(const QString& ssql, int firstRows) {
    d->GetRecordSet_free(ssql, std::max(firstRows, 1));
}
bool clsDBRecord::ReadMore(int rows) {
    return d->readSome(std::max(rows, 1));
}
bool clsDBRecord::IsReading() const {
    return d->mReading != nullptr;
}
void clsDBRecord::StopReading() {
    d->stopReading();
}
void clsDBRecord::ReserveRows(int rows) {
    if (rows <= 0) return;
    d->mRows.reserve(static_cast<size_t>(rows));
    d->mValues.reserve(static_cast<size_t>(rows));
}
QVariant clsDBRecord::Column(const QString& sfield) const {
    return d->Column(sfield);
}
void clsDBRecord::setColumn(const QString& sfield, const QVariant& vntdata) {
    d->setColumn(sfield, vntdata);
}
QVariant clsDBRecord::Column_Num(int iColmnNum) const {
    return d->Column_Num(iColmnNum);
}
clsDBRecord::FieldKind clsDBRecord::Column_Peek(int iColmnNum, qint64& number,
                                                const QString*& text) const {
    return static_cast<FieldKind>(d->Column_Peek(iColmnNum, number, text));
}
void clsDBRecord::Column_PeekRows(int iColmnNum, int count, const FieldVisitor& each) const {
    d->Column_PeekRows(iColmnNum, count, each);
}
void clsDBRecord::setColumn_Num(int iColmnNum, const QVariant& vntdata) {
    d->setColumn_Num(iColmnNum, vntdata);
}
void clsDBRecord::CloseRecordSet() {
    d->CloseRecordSet();
}
bool clsDBRecord::BatchUpdate() {
    return d->BatchUpdate();
}
void clsDBRecord::RollBackTrans() {
    d->RollBackTrans();
}
void clsDBRecord::ComittTrans() {
    d->ComittTrans();
}
void clsDBRecord::BeginTrans() {
    d->BeginTrans();
}
void clsDBRecord::MoveFirst() {
    d->MoveFirst();
}
void clsDBRecord::MoveLast() {
    d->MoveLast();
}
void clsDBRecord::MoveNext() {
    d->MoveNext();
}
void clsDBRecord::MovePrevious() {
    d->MovePrevious();
}
bool clsDBRecord::Eof() const {
    return d->Eof();
}
bool clsDBRecord::Bof() const {
    return d->Bof();
}
int clsDBRecord::RowCount() const {
    return d->RowCount();
}
int clsDBRecord::ColCount() const {
    return d->ColCount();
}
void clsDBRecord::Edit() {
    d->requireOpen();
}
void clsDBRecord::AddNew() {
    d->AddNew();
}
void clsDBRecord::UpDate() {
    d->UpDate();
}
void clsDBRecord::Delete() {
    d->Delete();
}
QVariant clsDBRecord::BookMark() const {
    return d->BookMark();
}
void clsDBRecord::setBookMark(const QVariant& mark) {
    d->setBookMark(mark);
}
QVariant clsDBRecord::Status() const {
    return d->Status();
}
bool clsDBRecord::IsOpen() const {
    return d->mState == Private::State::Open;
}
QString clsDBRecord::source() const {
    return d->mSource;
}
QStringList clsDBRecord::fieldNames() const {
    return d->mNames;
}
