#pragma once

class QObject;
class QWidget;

// The backup made before the first save of each day on a book that is a
// file (a book on a server is backed up by the server's administrator).
namespace DailyBackup {

// Makes the day's backup of the program's book, unless one is already in the
// folder or was tried today. A backup that fails is told once, in a message
// box, and the save goes on.
void beforeSave(QWidget* parent);
// Makes beforeSave answer every announced save from now on, while `context`
// lives.
void follow(QObject* context);
// Forgets the day tried, so that the next save looks at the folder again.
void forget();

} // namespace DailyBackup
