#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A program folder of its own for one test: db/Tamroc.ini written in CP932
// from the given text, db/Tamroc.mdb built from SQL statements.
class TestEnv {
public:
    TestEnv();
    QString path() const { return mDir.path(); }
    QString iniPath() const { return path() + QStringLiteral("/db/Tamroc.ini"); }
    QString dbPath() const { return path() + QStringLiteral("/db/Tamroc.mdb"); }

    void writeIni(const QString& utf8Text) const;
    // Runs each statement on the database file (created when missing).
    void runSql(const QStringList& statements) const;
    // One value of a query on a separate connection.
    QVariant scalar(const QString& sql) const;
    QList<QStringList> rows(const QString& sql) const;

    // Sets the program's paths, connection and table list for this folder.
    void startProgram() const;
    void stopProgram() const;

private:
    QTemporaryDir mDir;
};

// The INI keys of one column, as text for writeIni.
QString iniColumn(int n, const QString& field, const QString& jp, int x, const QString& type,
                  const QString& extra = {});
