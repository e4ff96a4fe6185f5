#pragma once
#include <QString>
#include <QStringList>

// The window that owns a condition editor (the summary window) as the editor
// sees it: where a condition goes once it translates without error.
class RngSelOwner {
public:
    virtual ~RngSelOwner() = default;
    // `strJpSql`: the condition as the user wrote it (line ends CR LF);
    // `strSql`: its SQL condition, empty or beginning with one blank;
    // `strTbls`: further tables for the statement (one empty entry: none).
    virtual void PutSQLWhere(const QString& strJpSql, const QString& strSql,
                             const QStringList& strTbls) = 0;
};
