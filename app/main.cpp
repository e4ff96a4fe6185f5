#include "QtJapanese.h"
#include "modMorvi.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamroc"));
    installQtJapanese(app);
    QApplication::setQuitOnLastWindowClosed(false); // the main menu ends the program
    modMorvi::Main();
    return QApplication::exec();
}
