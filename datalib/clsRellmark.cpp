#include "clsRellmark.h"
#include "ConnectionPrivate.h"
#include "ServerAddress.h"
#include "StatementInfo.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#if defined(Q_OS_UNIX)
#include <dlfcn.h>
#endif

namespace {
QString strTempDirectory; // shared by every clsRellmark of the process
clsRellmark::MessageHandler messageHandler;
QAtomicInt connectionCounter;

QString libraryFolder() {
#if defined(Q_OS_UNIX)
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
#endif
    return QCoreApplication::applicationDirPath();
}

// Jet (Access 97–2003) and ACE (2007 and later) files carry their engine's
// name at byte 4.
bool hasAccessSignature(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(32);
    return head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB";
}
} // namespace

int providerNumber(const QSqlError& e) {
    bool ok = false;
    const int n = e.nativeErrorCode().toInt(&ok);
    return ok && n != 0 ? n : RellmarkErr::Provider;
}

SchemaGuard::SchemaGuard(const QSqlDatabase& db, Hold hold) : mDb(db) {
    if (mDb.driverName() != QLatin1String("QSQLITE")) return;
    QSqlQuery q(mDb);
    if (hold == HoldUntilRead) mActive = q.exec(QStringLiteral("SAVEPOINT rellmark_schema"));
    // Whether it succeeds or not, this read is what makes SQLite compare its
    // cached schema with the file's.
    q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    q.finish();
}

StatementSavepoint::StatementSavepoint(const RellmarkConnection& conn) {
    if (!conn.server || !conn.inTransaction) return;
    mDb = conn.db();
    QSqlQuery q(mDb);
    mActive = q.exec(QStringLiteral("SAVEPOINT rellmark_statement"));
}

StatementSavepoint::~StatementSavepoint() {
    if (!mActive) return;
    QSqlQuery q(mDb);
    if (mFailed) q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT rellmark_statement"));
    q.exec(QStringLiteral("RELEASE SAVEPOINT rellmark_statement"));
}

SchemaGuard::~SchemaGuard() {
    if (!mActive) return;
    QSqlQuery q(mDb);
    q.exec(QStringLiteral("RELEASE rellmark_schema"));
}

clsRellmark::clsRellmark() {
    strTempDirectory.clear();
}

// Closes an open connection (an unfinished transaction is rolled back) and
// releases the connection object.
static void releaseConnection(std::unique_ptr<RellmarkConnection>& conn) {
    if (conn->open) {
        QSqlDatabase db = conn->db();
        if (conn->inTransaction) db.rollback();
        db.close();
    }
    const QString name = conn->name;
    conn.reset();
    QSqlDatabase::removeDatabase(name);
}

clsRellmark::~clsRellmark() {
    if (mConnection) releaseConnection(mConnection);
}

void clsRellmark::connect(const QString& str_FileName) {
    if (mConnection) return;
    mConnection = std::make_unique<RellmarkConnection>();
    mConnection->name =
        QStringLiteral("rellmark-%1").arg(connectionCounter.fetchAndAddRelaxed(1) + 1);
    mDBFileName.clear();
    mOpenedWith = str_FileName;
    if (strTempDirectory.isEmpty()) strTempDirectory = libraryFolder();
    if (ServerAddress::isServerAddress(str_FileName)) {
        connectServer(str_FileName);
        return;
    }

    const QFileInfo fi(str_FileName);
    // a mistyped address may hold a password
    const QString shown = ServerAddress::hidePassword(str_FileName);
    mDBFileName = shown;
    if (!fi.exists() || !fi.isFile())
        throw RellmarkError(RellmarkErr::FileNotFound,
                            QStringLiteral("データベースファイルが見つかりません：%1").arg(shown));

    QSqlDatabase db;
    if (hasAccessSignature(str_FileName)) {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
            throw RellmarkError(
                RellmarkErr::NoDriver,
                QStringLiteral("Access 形式のデータベースを開くドライバがありません：%1")
                    .arg(shown));
        db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), mConnection->name);
        db.setDatabaseName(QStringLiteral("driver={Microsoft Access Driver (*.mdb)};dbq=") +
                           str_FileName);
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), mConnection->name);
        db.setDatabaseName(str_FileName);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.open()) {
        const QSqlError e = db.lastError();
        throw RellmarkError(providerNumber(e), e.text().trimmed() + QStringLiteral("：") + shown);
    }
    if (db.driverName() == QLatin1String("QSQLITE")) {
        // SQLite opens lazily; make sure the file really is a database now.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            const QString text = probe.lastError().databaseText();
            probe.finish();
            db.close();
            throw RellmarkError(
                RellmarkErr::NotADatabase,
                QStringLiteral("データベースとして開けません（%1）：%2").arg(text, shown));
        }
    }
    mConnection->open = true;
}

void clsRellmark::connectServer(const QString& address) {
    QString why;
    const auto a = ServerAddress::parse(address, &why);
    if (!a) {
        mDBFileName.clear(); // it may hold a password
        throw RellmarkError(
            RellmarkErr::NotADatabase,
            QStringLiteral("データベースサーバーのアドレスが正しくありません（%1）：%2")
                .arg(why, ServerAddress::hidePassword(address)));
    }
    // The password stays with the connection alone.
    mDBFileName = a->withoutPassword();
    mConnection->server = true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        throw RellmarkError(
            RellmarkErr::NoDriver,
            QStringLiteral("PostgreSQL のデータベースを開くドライバ（Qt の QPSQL）がありません：%1")
                .arg(a->display()));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), mConnection->name);
    a->configure(db);
    if (!db.open()) {
        const QSqlError e = db.lastError();
        db.setPassword(QString());
        throw RellmarkError(RellmarkErr::NotADatabase,
                            QStringLiteral("データベースサーバー %1 に接続できません（%2）。")
                                .arg(a->display(), e.databaseText().trimmed().isEmpty()
                                                       ? e.text().trimmed()
                                                       : e.databaseText().trimmed()));
    }
    db.setPassword(QString());
    QSqlQuery q(db);
    auto setting = [&q](const QString& name) {
        const bool ok = q.exec(QStringLiteral("SELECT setting FROM pg_settings WHERE name = '") +
                               name + QLatin1Char('\'')) &&
                        q.next();
        const QString v = ok ? q.value(0).toString() : QString();
        q.finish();
        return v;
    };
    // A backslash in a quoted text is a backslash: with this off, a typed
    // condition could end its quotes early and write SQL of its own. A
    // server that will not take it is not used.
    q.exec(QStringLiteral("SET standard_conforming_strings = on"));
    if (setting(QStringLiteral("standard_conforming_strings")) != QLatin1String("on")) {
        db.close();
        throw RellmarkError(RellmarkErr::NotADatabase,
                            QStringLiteral("データベースサーバー %1 は standard_conforming_strings "
                                           "を on にできないため、使用しません。")
                                .arg(a->display()));
    }
    // A row that another program holds in an unfinished transaction is waited
    // for as long as a file's lock is, then the statement fails; unless the
    // server or the address (options=-c lock_timeout=...) says otherwise.
    if (setting(QStringLiteral("lock_timeout")) == QLatin1String("0"))
        q.exec(QStringLiteral("SET lock_timeout = '10s'"));
    // No statement runs for ever; 30 seconds unless the server or the
    // address (options=-c statement_timeout=...) says otherwise.
    bool addressSetsTimeout = false;
    for (const auto& p : a->params)
        if (p.first == QLatin1String("options") &&
            p.second.contains(QLatin1String("statement_timeout")))
            addressSetsTimeout = true;
    if (!addressSetsTimeout && setting(QStringLiteral("statement_timeout")) == QLatin1String("0"))
        q.exec(QStringLiteral("SET statement_timeout = '30s'"));
    q.finish();
    // A server that is stopped, not gone, keeps the connection up without
    // answering: it is given up a little after its own time-out would have
    // ended the statement.
    bool ok = false;
    const int timeoutMs = setting(QStringLiteral("statement_timeout")).toInt(&ok);
    if (ok && timeoutMs > 0) mConnection->answerLimitMs = timeoutMs + 5000;
    mConnection->open = true;
}

bool clsRellmark::isServer() const {
    return mConnection && mConnection->server;
}

void clsRellmark::DisConnect() {
    if (!mConnection) return;
    if (!mConnection->open)
        throw RellmarkError(RellmarkErr::ObjectClosed,
                            QStringLiteral("接続が開かれていないため閉じられません。"));
    releaseConnection(mConnection);
}

void clsRellmark::reconnect() {
    const QString with = mOpenedWith;
    if (mConnection) releaseConnection(mConnection);
    connect(with);
}

std::optional<RellmarkError> clsRellmark::lastBatchError() const {
    if (!mConnection || mConnection->errors.isEmpty()) return std::nullopt;
    const RellmarkProviderError& e = mConnection->errors.first();
    return RellmarkError(e.number, e.description, e.kind, e.reconnect);
}

void clsRellmark::ExecQry(const QString& ssql) {
    auto once = [&] {
        if (!mConnection || !mConnection->open)
            throw RellmarkError(RellmarkErr::ObjectNotSet,
                                QStringLiteral("データベースに接続されていません。"));
        if (auto refused = beforeStatement(*mConnection, mConnection->inTransaction))
            throw *refused;
        const SchemaGuard schema(mConnection->db(), SchemaGuard::CheckOnly);
        QString statement = ssql;
        if (mConnection->server) {
            QString refusal;
            statement = serverStatement(ssql, &refusal);
            if (statement.isEmpty()) throw RellmarkError(RellmarkErr::Provider, refusal);
        }
        StatementSavepoint savepoint(*mConnection);
        QSqlQuery q(mConnection->db());
        if (auto failed = execWatched(*mConnection, q, &statement)) {
            savepoint.failed();
            throw *failed;
        }
    };
    try {
        try {
            once();
        } catch (const RellmarkError& e) {
            // outside a transaction, a connection that is gone is opened
            // again and the statement tried once more
            if (!e.reconnectMayHelp() || !mConnection || mConnection->inTransaction) throw;
            try {
                reconnect();
            } catch (const RellmarkError&) {
                throw e;
            }
            once();
        }
    } catch (const RellmarkError& e) {
        showMessage(e.description(), Icon::Critical);
    } catch (const std::exception& e) {
        showMessage(QString::fromLocal8Bit(e.what()), Icon::Critical);
    }
}

void clsRellmark::setTempDirectoryPath(const QString& str_path) {
    strTempDirectory = str_path;
}
QString clsRellmark::TempDirectoryPath() const {
    return strTempDirectory;
}

RellmarkConnection* clsRellmark::GetConnection() const {
    return mConnection.get();
}

clsRellmark::MessageHandler clsRellmark::setMessageHandler(MessageHandler handler) {
    std::swap(messageHandler, handler);
    return handler;
}

void clsRellmark::showMessage(const QString& text, Icon icon) {
    if (messageHandler)
        messageHandler(text, QStringLiteral("Rellmark"), icon);
    else
        qWarning().noquote() << "Rellmark:" << text;
}
