#include "TestEnv.h"
#include "BookCopy.h"
#include "Catalog.h"
#include "Profile.h"
#include "ServerAddress.h"
#include "clsRellmark.h"
#include "modMorvi.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {
// A run against a server without one says so and stops before any test:
// CTest counts the exit code 77 as skipped.
const bool serverPresent = [] {
    if (qEnvironmentVariableIsEmpty("TAMROC_TEST_SERVER")) return true;
    if (!qEnvironmentVariableIsEmpty("TAMROC_TEST_PG")) return true;
    std::printf("skipped: no PostgreSQL server for the server tests "
                "(tools/pgcluster.sh run ctest starts one)\n");
    std::fflush(stdout);
    std::exit(77);
}();

QString adminAddress() {
    return qEnvironmentVariable("TAMROC_TEST_PG");
}

template <typename F> void withServer(const QString& address, F&& f) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        const auto a = ServerAddress::parse(address);
        if (!a) throw std::runtime_error("bad TAMROC_TEST_PG");
        a->configure(db);
        if (!db.open()) throw std::runtime_error(db.lastError().text().toStdString());
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}
} // namespace

bool TestEnv::onServer() {
    return serverPresent && !qEnvironmentVariableIsEmpty("TAMROC_TEST_SERVER");
}

QString TestEnv::serverAddress(const QString& dbname) {
    auto a = ServerAddress::parse(adminAddress());
    if (!a) throw std::runtime_error("bad TAMROC_TEST_PG");
    a->dbname = dbname;
    return a->withoutPassword();
}

QString TestEnv::serverSql(const QString& statement) {
    static const QRegularExpression createTable(QStringLiteral(R"(^\s*create\s+table\s+(\w+))"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rowId(QStringLiteral(R"((\w+)\s+integer\s+primary\s+key\b)"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression blob(QStringLiteral(R"(\bx'([0-9a-fA-F]*)')"));
    static const QRegularExpression ddl(QStringLiteral(R"(^\s*(create|alter)\b)"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString s = statement;
    s.replace(blob, QStringLiteral(R"('\x\1'::bytea)"));
    if (!ddl.match(s).hasMatch()) return s;
    QStringList after;
    const auto table = createTable.match(s);
    if (table.hasMatch()) {
        // SQLite numbers a row added without its integer key; so does the copy
        // of a book on a server.
        const auto key = rowId.match(s);
        if (key.hasMatch()) after << BookCopy::rowIdSql(table.captured(1), key.captured(1));
    }
    static const QRegularExpression integer(QStringLiteral(R"(\binteger\b)"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression real(QStringLiteral(R"(\breal\b)"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression blobType(QStringLiteral(R"(\bblob\b)"),
                                             QRegularExpression::CaseInsensitiveOption);
    s.replace(integer, QStringLiteral("bigint"));
    s.replace(real, QStringLiteral("double precision"));
    s.replace(blobType, QStringLiteral("bytea"));
    if (after.isEmpty()) return s;
    return s + QStringLiteral(";\n") + after.join(QStringLiteral(";\n"));
}

TestEnv::TestEnv() {
    QDir(mDir.path()).mkpath(QStringLiteral("db"));
    if (onServer() && !QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        std::printf("skipped: Qt's PostgreSQL driver (libqt6sql6-psql) is not installed\n");
        std::fflush(stdout);
        std::exit(77);
    }
    if (onServer()) {
        mServerDb =
            QStringLiteral("tamroc_test_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
        withServer(adminAddress(), [&](QSqlDatabase& db) {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("CREATE DATABASE ") + mServerDb))
                throw std::runtime_error(q.lastError().text().toStdString());
        });
        withServer(dbPath(), [&](QSqlDatabase& db) {
            QSqlQuery q(db);
            if (!q.exec(BookCopy::rowIdFunctionSql()))
                throw std::runtime_error(q.lastError().text().toStdString());
        });
    }
}

TestEnv::~TestEnv() {
    if (mServerDb.isEmpty()) return;
    try {
        withServer(adminAddress(), [&](QSqlDatabase& db) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + mServerDb +
                   QStringLiteral(" WITH (FORCE)"));
        });
    } catch (const std::exception&) {
        // the throwaway server goes with its folder anyway
    }
}

QString TestEnv::dbPath() const {
    if (!mServerDb.isEmpty()) return serverAddress(mServerDb);
    return path() + QStringLiteral("/db/Tamroc.mdb");
}

void TestEnv::writeIni(const QString& text) const {
    QFile f(iniPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("ini");
    QString t = text;
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    f.write(Profile::toCp932(t));
}

namespace {
template <typename F> void withDb(const QString& path, F&& f) {
    if (ServerAddress::isServerAddress(path)) {
        withServer(path, std::forward<F>(f));
        return;
    }
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) throw std::runtime_error("open");
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}
} // namespace

void TestEnv::runSql(const QStringList& statements) const {
    withDb(dbPath(), [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        for (const QString& s : statements)
            if (!q.exec(onServer() ? serverSql(s) : s))
                throw std::runtime_error(
                    (s + QStringLiteral(": ") + q.lastError().text()).toStdString());
    });
}

QVariant TestEnv::scalar(const QString& sql) const {
    QVariant v;
    withDb(dbPath(), [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (q.exec(sql) && q.next()) v = q.value(0);
    });
    return v;
}

QList<QStringList> TestEnv::rows(const QString& sql) const {
    QList<QStringList> out;
    withDb(dbPath(), [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (!q.exec(sql)) throw std::runtime_error(q.lastError().text().toStdString());
        while (q.next()) {
            QStringList r;
            for (int i = 0; i < q.record().count(); ++i)
                r << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            out << r;
        }
    });
    return out;
}

void TestEnv::startProgram() const {
    modMorvi::InitEnvironmentAt(path(), mServerDb.isEmpty() ? QString() : dbPath());
    LoadTableList();
}

void TestEnv::stopProgram() const {
    modMorvi::setProgramEndHandler([] {});
    modMorvi::EndProgram();
}

QString iniColumn(int n, const QString& field, const QString& jp, int x, const QString& type,
                  const QString& extra) {
    const QString p = QStringLiteral("COL( %1 )").arg(n, 2, 10, QLatin1Char('0'));
    QString s;
    s += p + QStringLiteral("FieldName=") + field + QLatin1Char('\n');
    s += p + QStringLiteral("JPName=") + jp + QLatin1Char('\n');
    s += p + QStringLiteral("ipointx=") + QString::number(x) + QLatin1Char('\n');
    s += p + QStringLiteral("eDataType=") + type + QLatin1Char('\n');
    s += p + QStringLiteral("Visible=1\n");
    s += p + QStringLiteral("CellHeight=1000\n");
    bool hasForeign = false;
    for (const QString& kv : extra.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        s += p + kv.trimmed() + QLatin1Char('\n');
        if (kv.trimmed().startsWith(QLatin1String("GaibuTableName"))) hasForeign = true;
    }
    if (!hasForeign) s += p + QStringLiteral("GaibuTableName=Nothing\n");
    return s;
}
