#pragma once
#include <QString>
#include <QStringList>
#include <limits>
#include <optional>

// Reading and writing INI files the way the platform's private-profile
// functions do: the file is CP932 bytes, sections and keys match without
// regard to case, results are cut to the caller's buffer (counted in bytes
// of CP932, terminating NUL included).
namespace Profile {

// The value of `key` in `section`, or `def` when either is missing. With a
// null `section` the section names are returned in file order, each ended
// by NUL, the list ended by a second NUL.
QString GetString(const QString& section, const QString& key, const QString& def, int bufferSize,
                  const QString& path);

// A buffer size for a result that is never cut.
constexpr int Unlimited = std::numeric_limits<int>::max();

// Writes `value` as the value of `key`. A null `value` removes the key, a
// null `key` removes the whole section. The file is rewritten atomically;
// every other byte, line ends and a leading byte order mark included, stays
// as it was. Returns false, and writes nothing, for text the code page
// cannot hold (or that holds a line break), for a file that exists but
// cannot be read, and when the file could not be written (the old file is
// then left untouched).
bool WriteString(const QString& section, const QString& key, const QString& value,
                 const QString& path);

// One entry of a section: its key and its value as GetString gives them
// (blanks and one pair of enclosing quotes removed), never cut.
struct Entry {
    QString key;
    QString value;
};

// Every entry of the first section named `section`, in file order, from one
// reading of the file. A missing file has none; nullopt when the file is
// there but cannot be read.
std::optional<QList<Entry>> ReadSection(const QString& section, const QString& path);

// Replaces, in one reading and one atomic rewrite of the file, every entry
// of the first section named `section` whose key begins with `keyPrefix`
// (without regard to case, as keys are looked up) by the lines key=value of
// `entries`. They go where the first replaced entry stood, else at the end of
// the section, which is added at the end of the file when it is missing.
// Every other byte stays as it was. Returns false, and leaves the file as it
// was, when the file cannot be read or written or a text cannot be stored;
// `error` then says why.
bool ReplaceEntries(const QString& section, const QString& keyPrefix, const QList<Entry>& entries,
                    const QString& path, QString* error = nullptr);

// CP932 conversions used for the file and for buffer counting.
QByteArray toCp932(const QString& s);
QString fromCp932(const QByteArray& b);

} // namespace Profile
