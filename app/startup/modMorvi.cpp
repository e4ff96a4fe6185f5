#include "modMorvi.h"
#include "Catalog.h"
#include "Dialogs.h"
#include "Guarded.h"
#include "clsRellmark.h"
#include "frmSelect.h"
#include "frmTitle.h"

#include <QApplication>

namespace modMorvi {
QString strAppPath;
QString strIniPath;
QString strDbPath;
QString strIconPath;
clsRellmark* objDB = nullptr;
clsPublic* objPublic = nullptr;
QString strNul;

namespace {
std::function<void()> endHandler = [] { QCoreApplication::exit(0); };

void showLibraryMessage(const QString& text, const QString& title, clsRellmark::Icon icon) {
    dialogs().message(nullptr, text, title,
                      icon == clsRellmark::Icon::Critical ? Dialogs::Icon::Critical
                                                          : Dialogs::Icon::None);
}
} // namespace

void setProgramEndHandler(std::function<void()> handler) {
    endHandler = std::move(handler);
}

void InitEnvironmentAt(const QString& appPath) {
    clsRellmark::setMessageHandler(showLibraryMessage);
    strAppPath = appPath;
    strIniPath = strAppPath + QStringLiteral("/db/Tamroc.ini");
    strDbPath = strAppPath + QStringLiteral("/db/Tamroc.mdb");
    strIconPath = strAppPath + QStringLiteral("/Icons/");
    delete objDB;
    objDB = new clsRellmark;
    try {
        objDB->connect(strDbPath);
    } catch (const RellmarkError& e) {
        // Start-up goes on; the user learns why the account book is not there.
        dialogs().message(nullptr, e.description(), QStringLiteral("Rellmark"),
                          Dialogs::Icon::Critical);
    }
    delete objPublic;
    objPublic = new clsPublic;
    strNul = QString(QChar(0));
}

void InitEnvironment() {
    InitEnvironmentAt(QCoreApplication::applicationDirPath());
}

void Main() {
    auto* title = new frmTitle;
    title->show();
    QCoreApplication::processEvents();
    InitEnvironment();
    guarded(nullptr, LoadTableList);
    title->close();
    delete title;
    auto* menu = new frmSelect;
    menu->show();
}

void EndProgram() {
    if (objDB) {
        try {
            objDB->DisConnect();
        } catch (const RellmarkError&) {
            // a connection that never opened has nothing to close
        }
    }
    delete objDB;
    objDB = nullptr;
    delete objPublic;
    objPublic = nullptr;
    if (endHandler) endHandler();
}

} // namespace modMorvi
