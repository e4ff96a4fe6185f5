#include "modMorvi.h"
#include "BookLocation.h"
#include "Catalog.h"
#include "Dialogs.h"
#include "ServerAddress.h"
#include "clsRellmark.h"

#include <QApplication>
#include <QStandardPaths>

namespace modMorvi {
QString strAppPath;
QString strIniPath;
QString strDbPath;
QString strIconPath;
clsRellmark* objDB = nullptr;
clsPublic* objPublic = nullptr;
QString strNul;

namespace {
QString bookNotice;

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

QString chosenDatabase(const QStringList& arguments, QString* error) {
    const QString option = QStringLiteral("--database");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a.startsWith(option + QLatin1Char('='))) return a.mid(option.size() + 1);
        if (a == option) {
            if (i + 1 < arguments.size() && !arguments[i + 1].isEmpty()) return arguments[i + 1];
            if (error)
                *error = QStringLiteral("--database の後に開く帳簿（ファイルまたは postgresql:// "
                                        "のアドレス）がありません。");
            return {};
        }
    }
    return qEnvironmentVariable("TAMROC_DATABASE");
}

namespace {
// Paths, connection and catalog object. A refusal is shown instead of
// connecting: opening the file beside the program instead would let the
// user edit another book than the one asked for.
void setUp(const QString& appPath, const QString& database, const QString& refusal) {
    clsRellmark::setMessageHandler(showLibraryMessage);
    strAppPath = appPath;
    strIniPath = strAppPath + QStringLiteral("/db/Tamroc.ini");
    strDbPath = strAppPath + QStringLiteral("/db/Tamroc.mdb");
    strIconPath = strAppPath + QStringLiteral("/Icons/");
    QString book = strDbPath;
    if (!database.isEmpty()) {
        book = database;
        // what the program keeps and may show holds no password
        const auto address = ServerAddress::parse(database);
        strDbPath = address ? address->withoutPassword()
                    : ServerAddress::isServerAddress(database)
                        ? ServerAddress::hidePassword(database)
                        : database;
    }
    delete objDB;
    objDB = new clsRellmark;
    try {
        if (!refusal.isEmpty()) throw RellmarkError(RellmarkErr::FileNotFound, refusal);
        objDB->connect(book);
    } catch (const RellmarkError& e) {
        // Start-up goes on; the user learns why the account book is not there.
        dialogs().message(nullptr, e.description(), QStringLiteral("Rellmark"),
                          Dialogs::Icon::Critical);
    }
    delete objPublic;
    objPublic = new clsPublic;
    strNul = QString(QChar(0));
}
} // namespace

void InitEnvironmentAt(const QString& appPath, const QString& database) {
    setUp(appPath, database, {});
}

void InitEnvironment() {
    QString error;
    const QString database = chosenDatabase(QCoreApplication::arguments(), &error);
    const BookLocation where =
        locateBook(QCoreApplication::applicationDirPath(),
                   QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    if (!where.error.isEmpty())
        dialogs().message(nullptr, where.error, {}, Dialogs::Icon::Critical);
    bookNotice = where.notice;
    setUp(where.dataDir, database, error);
    strIconPath = where.iconDir;
}

QString BookNotice() {
    return bookNotice;
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
