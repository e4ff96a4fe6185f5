#pragma once
#include "RellmarkError.h"
#include "rellmark_global.h"

// Faults made on purpose, for tests of what a program does when the database
// fails under it. The library counts its statements (those of reads, writes,
// BEGIN and COMMIT; not the savepoints it sets around them) from the moment a
// plan is armed, and makes the planned one fail.
namespace RellmarkFaults {
enum class Fault {
    None,
    Fail,           // the statement is not run; it fails with `kind`
    EndTransaction, // the database rolls the transaction back just before the statement
    DropConnection, // the connection is gone just before the statement
};
struct Plan {
    Fault fault = Fault::None;
    int at = 1;    // the statement, counted from 1
    int times = 1; // how many statements from there on fail (Fail only)
    RellmarkError::Kind kind = RellmarkError::Kind::Other;
    // Fail: the database also ends the transaction, as SQLite does on a
    // full disk
    bool endsTransaction = false;
    // Fail: the connection opened again would not fail so (a file repaired)
    bool reconnectHelps = false;
};
RELLMARK_EXPORT void arm(const Plan& plan);
RELLMARK_EXPORT void disarm();
// The statements run since the last arm or disarm.
RELLMARK_EXPORT int statements();
} // namespace RellmarkFaults
