#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reading a bank's or card company's statement: the bytes decoded, the
// separator found, the records split as RFC 4180 has them (a field in double
// quotes may hold the separator, line breaks and doubled quotes; lines may end
// in CR LF, LF or CR).
namespace CsvReader {

inline const QString Utf8 = QStringLiteral("UTF-8");
inline const QString Cp932 = QStringLiteral("CP932");

// Files larger than this are refused before they are read.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

// UTF-8 when the bytes start with its byte order mark or are valid UTF-8,
// else CP932 (Shift-JIS as Windows writes it).
QString detectEncoding(const QByteArray& bytes);
// The text, without a byte order mark; "" with *error set when a byte is not
// valid in the encoding (the message names the line) or the bytes are no text.
QString decode(const QByteArray& bytes, const QString& encoding, QString* error);
// Tab when the first lines hold more tabs than commas outside quotes.
QChar detectSeparator(QStringView text);
// The records; an empty last line is no record.
QList<QStringList> parse(QStringView text, QChar separator);

// The records of a file: `error` says why there are none.
struct File {
    QString encoding;
    QChar separator;
    QList<QStringList> records;
    QString error;
};
// `encoding` / `separator` empty or null: found by themselves.
File read(const QByteArray& bytes, const QString& encoding = {}, QChar separator = {});

} // namespace CsvReader
