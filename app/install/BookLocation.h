#pragma once
#include <QString>

// Where the account book, its catalog and the program's icons are found.
//
// A program folder that holds a writable db/ (the build folder, a folder the
// user unpacked) keeps everything beside the executable. An installed program
// keeps the book in the user's own data folder instead: on the first start
// there the demo book and catalog shipped in the installed data folder
// (<prefix>/share/tamroc, found from the executable's folder) are copied in.
// A file that already exists in the user's folder is never overwritten.
struct BookLocation {
    QString dataDir; // the folder that holds db/Tamroc.mdb and db/Tamroc.ini
    QString iconDir; // the toolbar icons, ending in '/'
    QString notice;  // said once, when the book was just put in the user's folder
    QString error;   // why the shipped book could not be copied, if it could not
};

BookLocation locateBook(const QString& programDir, const QString& userDataDir);

// The installed data folder for a program in `programDir` (<prefix>/bin).
QString shippedDataDir(const QString& programDir);
