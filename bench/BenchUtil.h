#pragma once
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#if defined(__unix__)
#include <sys/resource.h>
#endif

// Best of n runs, in milliseconds: the least disturbed measurement.
inline double bestOf(int n, const std::function<void()>& f) {
    double best = 1e300;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

// The peak resident memory of the process so far.
inline double peakResidentMiB() {
#if defined(__unix__)
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0; // kilobytes on Linux
#else
    return 0;
#endif
}

inline void report(const char* what, double ms, double baseMs) {
    std::printf("%-58s %9.1f ms   ratio %5.2f\n", what, ms, baseMs > 0 ? ms / baseMs : 0.0);
}

// The bare baseline of a read: every value of every row of each statement
// fetched forward only through `db`, an open connection; returns the length
// of the texts read so that nothing is optimised away.
template <typename Statements> qint64 readRows(QSqlDatabase& db, const Statements& statements) {
    qint64 sink = 0;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    for (const char* s : statements) {
        q.exec(QString::fromUtf8(s));
        const int n = q.record().count();
        while (q.next())
            for (int i = 0; i < n; ++i)
                sink += q.value(i).toString().size();
    }
    return sink;
}

// What the table editor reads on opening the purchase book.
inline constexpr const char* EditorReads[] = {
    "select * from buy order by id", "select cat_name, cat_id from cat order by cat_id",
    "select shop_name, shop_id from shop order by shop_id"};
