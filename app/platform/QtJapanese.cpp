#include "QtJapanese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtJapanese(QCoreApplication& app) {
    auto* qt = new QTranslator(&app);
    // qtbase holds the dialogs' and widgets' texts; the Japanese file is
    // chosen whatever the system's locale says, as every text of the program
    // is Japanese.
    if (!qt->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                  QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    QCoreApplication::installTranslator(qt);
    return true;
}
