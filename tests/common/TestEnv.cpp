#include "TestEnv.h"
#include "Catalog.h"
#include "Profile.h"
#include "clsRellmark.h"
#include "modMorvi.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <stdexcept>

TestEnv::TestEnv() {
    QDir(mDir.path()).mkpath(QStringLiteral("db"));
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
            if (!q.exec(s))
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
    modMorvi::InitEnvironmentAt(path());
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
