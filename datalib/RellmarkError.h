#pragma once
#include "rellmark_global.h"

#include <QString>
#include <stdexcept>

// The one error type of the data-access library: every failure that is passed
// to a caller carries the provider's number and description.
class RELLMARK_EXPORT RellmarkError : public std::runtime_error {
public:
    RellmarkError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), mNumber(number),
          mDescription(description) {}
    int number() const { return mNumber; }
    QString description() const { return mDescription; }

private:
    int mNumber;
    QString mDescription;
};

// Error numbers the library raises itself (those of the database engine are
// passed through as the engine reports them).
namespace RellmarkErr {
constexpr int ObjectNotSet = 91;      // a member used before the first open / connect
constexpr int Overflow = 6;           // a count that does not fit
constexpr int NoCurrentRecord = 3021; // EOF or BOF, or the current row was deleted
constexpr int ItemNotFound = 3265;    // unknown field name or ordinal
constexpr int ObjectClosed = 3704;    // member used on a closed record set or connection
constexpr int FileNotFound = 3024;    // database file missing
constexpr int NotADatabase = 3343;    // file exists but is not a database we can open
constexpr int NoDriver = 3170;        // the file needs a driver this machine lacks
constexpr int NoTransaction = 3034;   // commit or roll back without a transaction
constexpr int NotUpdatable = 3251;    // the statement has no single base table
constexpr int Conflict = 3640;        // row changed or deleted since it was read
constexpr int Provider = 3146;        // any other engine error without a number
} // namespace RellmarkErr
