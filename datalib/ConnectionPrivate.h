#pragma once
#include <QList>
#include <QSqlDatabase>
#include <QString>

// One provider error of the last batch operation.
struct RellmarkProviderError {
    int number;
    QString description;
};

struct RellmarkConnection {
    QString name; // Qt SQL connection name, unique per object
    bool open = false;
    bool inTransaction = false;
    QList<RellmarkProviderError> errors;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
};

// Turns an engine error into the library's error type.
int providerNumber(const class QSqlError& e);
