#pragma once
#include <QString>
#include <functional>

class clsRellmark;
class clsPublic;

// The program's module state, set once at start-up and read by every window.
namespace modMorvi {
extern QString strAppPath;
extern QString strIniPath;
extern QString strDbPath;
extern QString strIconPath;
extern clsRellmark* objDB;
extern clsPublic* objPublic;
extern QString strNul;

// The start procedure: splash window, paths, connection, table list, main menu.
void Main();
// Paths, connection and the shared catalog object, for the program's folder
// (or, for an installed program, the user's data folder).
void InitEnvironment();
// What the start-up has to say once about where the book is ("" mostly).
QString BookNotice();
// The same for another folder (tests run on temporary copies). A database
// given names the book instead of the file in that folder: a file path or a
// postgresql:// address.
void InitEnvironmentAt(const QString& appPath, const QString& database = {});
// The book the user chose: "--database BOOK" or "--database=BOOK" among the
// arguments, else the environment variable TAMROC_DATABASE, else empty (the
// file beside the program). A --database without a value sets *error.
QString chosenDatabase(const QStringList& arguments, QString* error = nullptr);
// Closes the connection, releases the shared objects and ends the program.
void EndProgram();
// What ending the program does after the clean-up; tests replace it.
void setProgramEndHandler(std::function<void()> handler);
} // namespace modMorvi
