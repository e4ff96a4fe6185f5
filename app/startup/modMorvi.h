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
// Paths, connection and the shared catalog object, for the program's folder.
void InitEnvironment();
// The same for another folder (tests run on temporary copies).
void InitEnvironmentAt(const QString& appPath);
// Closes the connection, releases the shared objects and ends the program.
void EndProgram();
// What ending the program does after the clean-up; tests replace it.
void setProgramEndHandler(std::function<void()> handler);
} // namespace modMorvi
