#pragma once
// What the fuzz targets share: a scratch file for the bytes under test, and a
// check that stops the run with the broken promise named.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A failed promise is a crash to the fuzzer: the input is kept and the run stops.
[[noreturn]] inline void fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "broken promise: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}
inline void check(bool ok, const char* what, const QString& detail = {}) {
    if (!ok) fail(what, detail);
}

// A file of this process's own, in memory where the system offers it: the
// readers under test take a path, and millions of runs should not wear a disk.
// The file goes when the process ends normally.
inline QString scratchPath(const char* name) {
    const QString dir =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QString path = QStringLiteral("%1/tamroc-fuzz-%2-%3")
                             .arg(dir, QString::fromLatin1(name))
                             .arg(QCoreApplication::applicationPid());
    static QStringList* made = [] {
        auto* list = new QStringList;
        std::atexit([] {
            for (const QString& p : *made)
                QFile::remove(p);
        });
        return list;
    }();
    made->append(path);
    return path;
}

inline void writeFile(const QString& path, const uint8_t* data, size_t size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fail("scratch file", path);
    if (size > 0 && f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                        static_cast<qint64>(size))
        fail("scratch file", path);
}

// Small numbers taken from the end of the input, so that a plain text file is
// a good seed as it stands.
class Tail {
public:
    Tail(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    unsigned byte() { return mSize > 0 ? mData[--mSize] : 0u; }

private:
    const uint8_t* mData;
    size_t mSize;
};

} // namespace fuzz
