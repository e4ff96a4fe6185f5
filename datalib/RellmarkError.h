#pragma once
#include "rellmark_global.h"

#include <QString>
#include <stdexcept>

// The one error type of the data-access library: every failure that is passed
// to a caller carries the provider's number, its description (never empty)
// and what kind of failure it is, read once from the driver's own codes.
class RELLMARK_EXPORT RellmarkError : public std::runtime_error {
public:
    enum class Kind {
        Other,
        Busy,           // the database or a row is locked by someone else
        Constraint,     // a unique, not-null, key or check rule refused a value
        Conflict,       // a row changed or deleted by someone else since it was read
        ConnectionLost, // the server or the file is no longer reachable as opened
        DiskFull,       // no room to write, or the file cannot be written
        TimedOut,       // the server did not finish the statement in time
    };

    // `reconnect`: whether opening the connection again (the same file, the
    // same server) may end the failure; always so for a lost connection.
    RellmarkError(int number, const QString& description, Kind kind = Kind::Other,
                  bool reconnect = false)
        : std::runtime_error(textOf(number, description).toStdString()), mNumber(number),
          mDescription(textOf(number, description)), mKind(kind),
          mReconnect(reconnect || kind == Kind::ConnectionLost) {}
    int number() const { return mNumber; }
    QString description() const { return mDescription; }
    Kind kind() const { return mKind; }
    // A lost connection; a file that was read-only when it was opened, was
    // moved or replaced since, or could not be opened for writing.
    bool reconnectMayHelp() const { return mReconnect; }

    // A description for an error the driver gave no words for.
    static QString textOf(int number, const QString& description) {
        if (!description.trimmed().isEmpty()) return description;
        return QStringLiteral("データベースでエラーが起きましたが、データベースは説明を返しません"
                              "でした（エラー番号 %1）。")
            .arg(number);
    }

private:
    int mNumber;
    QString mDescription;
    Kind mKind;
    bool mReconnect;
};

// Error numbers the library raises itself (those of the database engine are
// passed through as the engine reports them).
namespace RellmarkErr {
constexpr int ObjectNotSet = 91;       // a member used before the first open / connect
constexpr int Overflow = 6;            // a count that does not fit
constexpr int NoCurrentRecord = 3021;  // EOF or BOF, or the current row was deleted
constexpr int ItemNotFound = 3265;     // unknown field name or ordinal
constexpr int ObjectClosed = 3704;     // member used on a closed record set or connection
constexpr int FileNotFound = 3024;     // database file missing
constexpr int NotADatabase = 3343;     // file exists but is not a database we can open
constexpr int NoDriver = 3170;         // the file needs a driver this machine lacks
constexpr int NoTransaction = 3034;    // commit or roll back without a transaction
constexpr int NotUpdatable = 3251;     // the statement has no single base table
constexpr int Conflict = 3640;         // row changed or deleted since it was read
constexpr int Provider = 3146;         // any other engine error without a number
constexpr int TransactionEnded = 3246; // the database ended the transaction by itself
} // namespace RellmarkErr
