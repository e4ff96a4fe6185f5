#include "ServerAddress.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QUrl>

namespace {
QString decoded(const QString& part) {
    return QUrl::fromPercentEncoding(part.toUtf8());
}

QString encoded(const QString& part, const QByteArray& keep = {}) {
    return QString::fromLatin1(QUrl::toPercentEncoding(part, keep));
}

bool startsWithScheme(const QString& text, QString* rest) {
    for (const QLatin1String scheme :
         {QLatin1String("postgresql://"), QLatin1String("postgres://")})
        if (text.startsWith(scheme, Qt::CaseInsensitive)) {
            if (rest) *rest = text.mid(scheme.size());
            return true;
        }
    return false;
}

// A connection parameter's value as libpq reads it from a connection string.
QString quotedValue(const QString& v) {
    QString q = v;
    q.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    q.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}
} // namespace

bool ServerAddress::isServerAddress(const QString& text) {
    const QString t = text.trimmed();
    return t.startsWith(QLatin1String("postgresql:"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("postgres:"), Qt::CaseInsensitive);
}

QString ServerAddress::hidePassword(const QString& text) {
    static const QString hidden = QStringLiteral("***");
    QString t = text;
    // user:password@ before the last "@" (a password may hold "/" or "@"):
    // after a scheme and its slashes, or from the start
    if (const qsizetype at = t.lastIndexOf(QLatin1Char('@')); at > 0) {
        static const QRegularExpression scheme(
            QStringLiteral("^\\s*[A-Za-z][A-Za-z0-9+.-]*:[/\\\\]*"));
        const QRegularExpressionMatch m = scheme.match(t);
        const qsizetype from = m.hasMatch() && m.capturedEnd() <= at ? m.capturedEnd() : 0;
        qsizetype colon = t.indexOf(QLatin1Char(':'), from);
        // what looked like a scheme was the user's name
        if (colon < 0 || colon > at) colon = t.indexOf(QLatin1Char(':'));
        if (colon >= 0 && colon < at) t.replace(colon + 1, at - colon - 1, hidden);
    }
    static const QRegularExpression parameter(
        QStringLiteral("(password\\s*=\\s*)('[^']*'?|[^&;\\s]*)"),
        QRegularExpression::CaseInsensitiveOption);
    t.replace(parameter, QStringLiteral("\\1") + hidden);
    return t;
}

std::optional<ServerAddress> ServerAddress::parse(const QString& text, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<ServerAddress> {
        if (error) *error = why;
        return std::nullopt;
    };
    QString rest;
    if (!startsWithScheme(text.trimmed(), &rest))
        return fail(QStringLiteral("postgresql:// で始まるアドレスではありません"));
    ServerAddress a;
    QString query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
    }
    QString authority = rest;
    if (const qsizetype s = rest.indexOf(QLatin1Char('/')); s >= 0) {
        authority = rest.left(s);
        a.dbname = decoded(rest.mid(s + 1));
    }
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString info = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = info.indexOf(QLatin1Char(':'));
        a.user = decoded(colon >= 0 ? info.left(colon) : info);
        if (colon >= 0) a.password = decoded(info.mid(colon + 1));
    }
    QString portText;
    if (authority.startsWith(QLatin1Char('['))) { // an IPv6 address
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0) return fail(QStringLiteral("ホスト名の ] がありません"));
        a.host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (after.startsWith(QLatin1Char(':')))
            portText = after.mid(1);
        else if (!after.isEmpty())
            return fail(QStringLiteral("ホスト名の後に余分な文字があります"));
    } else {
        const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        a.host = decoded(colon >= 0 ? authority.left(colon) : authority);
        if (colon >= 0) portText = authority.mid(colon + 1);
    }
    auto setPort = [&](const QString& t) {
        bool ok = false;
        const int p = t.toInt(&ok);
        if (!ok || p <= 0 || p > 65535) return false;
        a.port = p;
        return true;
    };
    if (!portText.isEmpty() && !setPort(portText))
        return fail(QStringLiteral("ポート番号が正しくありません"));
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        const QString key = decoded(eq >= 0 ? pair.left(eq) : pair);
        const QString value = eq >= 0 ? decoded(pair.mid(eq + 1)) : QString();
        if (key == QLatin1String("host"))
            a.host = value;
        else if (key == QLatin1String("port")) {
            if (!setPort(value)) return fail(QStringLiteral("ポート番号が正しくありません"));
        } else if (key == QLatin1String("user"))
            a.user = value;
        else if (key == QLatin1String("password"))
            a.password = value;
        else if (key == QLatin1String("dbname"))
            a.dbname = value;
        else if (key.isEmpty() || value.contains(QLatin1Char(';')))
            // the driver takes ";" as the end of a parameter
            return fail(QStringLiteral("接続パラメータ %1 が正しくありません").arg(key));
        else
            a.params.append({key, value});
    }
    return a;
}

QString ServerAddress::display() const {
    QString s;
    if (!user.isEmpty()) s += user + QLatin1Char('@');
    s += host.isEmpty() ? QStringLiteral("localhost") : host;
    if (port > 0) s += QLatin1Char(':') + QString::number(port);
    s += QLatin1Char('/') + (dbname.isEmpty() ? user : dbname);
    return s;
}

QString ServerAddress::withoutPassword() const {
    QString s = QStringLiteral("postgresql://");
    if (!user.isEmpty()) s += encoded(user) + QLatin1Char('@');
    QStringList query;
    if (host.startsWith(QLatin1Char('/')))
        query << QStringLiteral("host=") + encoded(host, "/");
    else if (host.contains(QLatin1Char(':')))
        s += QLatin1Char('[') + host + QLatin1Char(']');
    else
        s += encoded(host);
    if (port > 0) {
        if (host.startsWith(QLatin1Char('/')))
            query << QStringLiteral("port=") + QString::number(port);
        else
            s += QLatin1Char(':') + QString::number(port);
    }
    s += QLatin1Char('/') + encoded(dbname);
    for (const auto& p : params)
        query << encoded(p.first) + QLatin1Char('=') + encoded(p.second, "/");
    if (!query.isEmpty()) s += QLatin1Char('?') + query.join(QLatin1Char('&'));
    return s;
}

void ServerAddress::configure(QSqlDatabase& db) const {
    if (!host.isEmpty()) db.setHostName(host);
    if (port > 0) db.setPort(port);
    if (!user.isEmpty()) db.setUserName(user);
    if (!password.isEmpty()) db.setPassword(password);
    db.setDatabaseName(dbname.isEmpty() ? user : dbname);
    QStringList options, given;
    for (const auto& p : params) {
        options << p.first + QLatin1Char('=') + quotedValue(p.second);
        given << p.first;
    }
    // A server that does not answer must not hold the program's start for
    // minutes; one that is gone from the network is noticed within a minute
    // or so by TCP keepalives.
    for (const auto& [key, value] :
         {std::pair{"connect_timeout", "10"}, std::pair{"keepalives", "1"},
          std::pair{"keepalives_idle", "30"}, std::pair{"keepalives_interval", "10"},
          std::pair{"keepalives_count", "3"}})
        if (!given.contains(QLatin1String(key)))
            options << QLatin1String(key) + QLatin1Char('=') + QLatin1String(value);
    db.setConnectOptions(options.join(QLatin1Char(';')));
}
