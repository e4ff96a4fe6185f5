// How the library runs its statements: counted, inside the transaction they
// belong to, watched for a server that stops answering; and what kind of
// failure a driver's error is.
#include "ConnectionPrivate.h"
#include "RellmarkFaults.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#if defined(RELLMARK_HAVE_SQLITE3)
#include <sqlite3.h>
#endif
#if defined(RELLMARK_HAVE_LIBPQ)
#include <libpq-fe.h>
#endif
#if defined(Q_OS_UNIX)
#include <sys/socket.h>
#endif

using Kind = RellmarkError::Kind;

namespace {
// The driver's own handle, by the names its type may be registered under.
template <typename Handle>
Handle* nativeHandle(const QSqlDatabase& db, const char* type, const char* alias = nullptr) {
    if (!db.isOpen() || !db.driver()) return nullptr;
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || !v.typeName()) return nullptr;
    if (qstrcmp(v.typeName(), type) != 0 && (!alias || qstrcmp(v.typeName(), alias) != 0))
        return nullptr;
    return *static_cast<Handle* const*>(v.constData());
}

#if defined(RELLMARK_HAVE_LIBPQ)
PGconn* serverHandle(const RellmarkConnection& conn) {
    return conn.server ? nativeHandle<PGconn>(conn.db(), "PGconn*", "pg_conn*") : nullptr;
}
#endif

int serverSocket(const RellmarkConnection& conn) {
#if defined(RELLMARK_HAVE_LIBPQ)
    if (PGconn* pg = serverHandle(conn)) return PQsocket(pg);
#else
    Q_UNUSED(conn)
#endif
    return -1;
}

// One thread for the process that gives up a connection whose server has not
// answered in time: the socket is shut, the waiting statement fails as on a
// lost connection. A server stopped (not crashed) still acknowledges on TCP,
// so neither keepalives nor its own statement time-out end such a wait.
class AnswerWatchdog {
public:
    static AnswerWatchdog& instance() {
        // never destroyed: the thread may outlive every static object
        static AnswerWatchdog* dog = new AnswerWatchdog;
        return *dog;
    }
    quint64 arm(int socket, int limitMs) {
        std::lock_guard<std::mutex> lock(mMutex);
        const quint64 token = ++mNext;
        mWatched[token] = {socket,
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs)};
        if (!mStarted) {
            std::thread([this] { run(); }).detach();
            mStarted = true;
        }
        mWake.notify_one();
        return token;
    }
    void disarm(quint64 token) {
        std::lock_guard<std::mutex> lock(mMutex);
        mWatched.erase(token);
    }

private:
    struct Watched {
        int socket;
        std::chrono::steady_clock::time_point deadline;
    };
    void run() {
        std::unique_lock<std::mutex> lock(mMutex);
        for (;;) {
            if (mWatched.empty()) {
                mWake.wait(lock);
                continue;
            }
            auto first = mWatched.begin();
            for (auto it = mWatched.begin(); it != mWatched.end(); ++it)
                if (it->second.deadline < first->second.deadline) first = it;
            if (std::chrono::steady_clock::now() >= first->second.deadline) {
#if defined(Q_OS_UNIX)
                ::shutdown(first->second.socket, SHUT_RDWR);
#endif
                mWatched.erase(first);
                continue;
            }
            // a copy: while the lock is let go, the entry may be disarmed
            const auto deadline = first->second.deadline;
            mWake.wait_until(lock, deadline);
        }
    }
    std::mutex mMutex;
    std::condition_variable mWake;
    std::map<quint64, Watched> mWatched;
    quint64 mNext = 0;
    bool mStarted = false;
};

// ---- faults on purpose ----
std::mutex faultMutex;
RellmarkFaults::Plan plan;
int counted = 0;

// The database ends the transaction by itself, as it does on a full disk.
void endTransactionBehindOurBack(RellmarkConnection& conn) {
    QSqlQuery q(conn.db());
    q.exec(QStringLiteral("ROLLBACK"));
}

std::optional<RellmarkError> injectedFault(RellmarkConnection& conn) {
    RellmarkFaults::Plan p;
    int n = 0;
    {
        std::lock_guard<std::mutex> lock(faultMutex);
        n = ++counted;
        p = plan;
    }
    using F = RellmarkFaults::Fault;
    if (p.fault == F::None || n < p.at) return std::nullopt;
    if (p.fault == F::Fail && n < p.at + p.times) {
        if (p.endsTransaction) endTransactionBehindOurBack(conn);
        return RellmarkError(RellmarkErr::Provider,
                             QStringLiteral("試験のために起こした障害です（文 %1）。").arg(n),
                             p.kind, p.reconnectHelps);
    }
    if (n != p.at) return std::nullopt;
    if (p.fault == F::EndTransaction) {
        endTransactionBehindOurBack(conn);
    } else if (p.fault == F::DropConnection) {
#if defined(Q_OS_UNIX)
        if (const int s = serverSocket(conn); s >= 0) {
            ::shutdown(s, SHUT_RDWR);
            return std::nullopt;
        }
#endif
        conn.db().close();
    }
    return std::nullopt;
}
} // namespace

namespace RellmarkFaults {
void arm(const Plan& p) {
    std::lock_guard<std::mutex> lock(faultMutex);
    plan = p;
    counted = 0;
}
void disarm() {
    arm(Plan{});
}
int statements() {
    std::lock_guard<std::mutex> lock(faultMutex);
    return counted;
}
} // namespace RellmarkFaults

Kind errorKind(const RellmarkConnection& conn, const QSqlError& e, bool* reconnect) {
    bool ignored = false;
    bool& again = reconnect ? *reconnect : ignored;
    again = false;
    const QSqlDatabase db = conn.db();
    if (!db.isOpen()) return Kind::ConnectionLost;
    const QString code = e.nativeErrorCode();
    if (conn.server) {
#if defined(RELLMARK_HAVE_LIBPQ)
        if (PGconn* pg = serverHandle(conn); pg && PQstatus(pg) == CONNECTION_BAD)
            return Kind::ConnectionLost;
#endif
        if (code.startsWith(QLatin1String("23"))) return Kind::Constraint;
        if (code == QLatin1String("40001")) return Kind::Conflict; // serialization failure
        if (code == QLatin1String("40P01") || code == QLatin1String("55P03"))
            return Kind::Busy; // a deadlock, a lock not granted in time
        if (code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") ||
            code == QLatin1String("57P02") || code == QLatin1String("57P03"))
            return Kind::ConnectionLost; // connection errors, the server shut down
        if (code == QLatin1String("53100")) return Kind::DiskFull;
        if (code == QLatin1String("57014")) return Kind::TimedOut; // statement time-out
        return Kind::Other;
    }
    if (db.driverName() != QLatin1String("QSQLITE")) return Kind::Other;
    bool ok = false;
    int n = code.toInt(&ok);
#if defined(RELLMARK_HAVE_SQLITE3)
    // a commit's error may come without its code: the connection still has it
    if (!ok || n <= 0)
        if (sqlite3* h = nativeHandle<sqlite3>(db, "sqlite3*")) {
            n = sqlite3_extended_errcode(h);
            ok = true;
        }
#endif
    if (!ok) return Kind::Other;
    switch (n & 0xff) { // the primary code of an extended one
    case 5:             // SQLITE_BUSY
    case 6:             // SQLITE_LOCKED
        return Kind::Busy;
    case 19: // SQLITE_CONSTRAINT
        return Kind::Constraint;
    case 8:  // SQLITE_READONLY (also a file moved or replaced while open)
    case 10: // SQLITE_IOERR
    case 14: // SQLITE_CANTOPEN
        again = true;
        return Kind::DiskFull;
    case 13: // SQLITE_FULL: stays full whatever is opened again
        return Kind::DiskFull;
    default:
        return Kind::Other;
    }
}

RellmarkError errorOf(const RellmarkConnection& conn, const QSqlError& e) {
    QString text = e.text().trimmed();
    if (text.isEmpty() && !conn.db().isOpen())
        text = QStringLiteral("データベースへの接続が切れています。");
    bool reconnect = false;
    const Kind kind = errorKind(conn, e, &reconnect);
    return RellmarkError(providerNumber(e), text, kind, reconnect);
}

bool transactionOpen(const RellmarkConnection& conn) {
    const QSqlDatabase db = conn.db();
    if (!db.isOpen()) return false;
#if defined(RELLMARK_HAVE_LIBPQ)
    if (conn.server) {
        PGconn* pg = serverHandle(conn);
        if (!pg) return true;
        const PGTransactionStatusType t = PQtransactionStatus(pg);
        return t == PQTRANS_INTRANS || t == PQTRANS_INERROR || t == PQTRANS_ACTIVE;
    }
#endif
#if defined(RELLMARK_HAVE_SQLITE3)
    if (sqlite3* h = nativeHandle<sqlite3>(db, "sqlite3*")) return sqlite3_get_autocommit(h) == 0;
#endif
    return true;
}

bool connectionGone(const RellmarkConnection& conn) {
    if (!conn.db().isOpen()) return true;
#if defined(RELLMARK_HAVE_LIBPQ)
    if (PGconn* pg = serverHandle(conn); pg && PQstatus(pg) == CONNECTION_BAD) return true;
#endif
    return false;
}

RellmarkError connectionLost() {
    return RellmarkError(RellmarkErr::Provider,
                         QStringLiteral("データベースへの接続が切れています。"),
                         Kind::ConnectionLost);
}

std::optional<RellmarkError> beforeStatement(RellmarkConnection& conn, bool inTransaction) {
    if (auto fault = injectedFault(conn)) return fault;
    if (inTransaction && !transactionOpen(conn)) {
        const bool gone = connectionGone(conn);
        return RellmarkError(RellmarkErr::TransactionEnded,
                             QStringLiteral("データベースがトランザクションを途中で終了しました"
                                            "（ディスクの空き不足、入出力エラー、接続の切断など）。"
                                            "この書き込みは何も保存されていません。"),
                             gone ? Kind::ConnectionLost : Kind::Other);
    }
    return std::nullopt;
}

std::optional<RellmarkError> runStatement(RellmarkConnection& conn, QSqlQuery& q,
                                          const QString* sql, bool inTransaction) {
    if (auto refused = beforeStatement(conn, inTransaction)) return refused;
    return execWatched(conn, q, sql);
}

std::optional<RellmarkError> execWatched(RellmarkConnection& conn, QSqlQuery& q,
                                         const QString* sql) {
    const AnswerWatch watch(conn);
    const bool ok = sql ? q.exec(*sql) : q.exec();
    if (ok) return std::nullopt;
    return errorOf(conn, q.lastError());
}

AnswerWatch::AnswerWatch(const RellmarkConnection& conn) {
    if (conn.answerLimitMs <= 0) return;
    const int socket = serverSocket(conn);
    if (socket >= 0) mToken = AnswerWatchdog::instance().arm(socket, conn.answerLimitMs);
}

AnswerWatch::~AnswerWatch() {
    if (mToken) AnswerWatchdog::instance().disarm(mToken);
}
