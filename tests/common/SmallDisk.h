#pragma once
// A real small disk for the tests of a full disk: a tmpfs of its own,
// mounted on a temporary folder where the machine lets this process mount
// (as root, outside a locked-down container); elsewhere mounted() is false
// and such tests skip.
#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QString>
#include <QTemporaryDir>

#if defined(Q_OS_LINUX)
#include <sys/mount.h>
#endif

class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes = 2 * 1024 * 1024) {
#if defined(Q_OS_LINUX)
        const QByteArray options = "size=" + QByteArray::number(bytes);
        mMounted = mDir.isValid() && ::mount("tamroc-small", QFile::encodeName(mDir.path()),
                                             "tmpfs", 0, options.constData()) == 0;
#else
        Q_UNUSED(bytes)
#endif
    }
    ~SmallDisk() {
#if defined(Q_OS_LINUX)
        if (mMounted) ::umount2(QFile::encodeName(mDir.path()), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const {
        return mMounted;
    }
    QString path() const {
        return mDir.path();
    }
    qint64 freeBytes() const {
        return QStorageInfo(path()).bytesAvailable();
    }

    // Takes the disk's room with a file until `left` bytes are free (as near
    // as the file system's blocks allow).
    void fill(qint64 left) {
        QFile f(fillerPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return;
        const QByteArray block(4096, 'x');
        while (freeBytes() - left >= block.size() && f.write(block) == block.size())
            f.flush();
        const qint64 rest = freeBytes() - left;
        if (rest > 0) f.write(block.left(static_cast<int>(rest)));
    }
    // Gives the room back.
    void release() {
        QFile::remove(fillerPath());
    }

private:
    QString fillerPath() const {
        return QDir(path()).filePath(QStringLiteral("filler"));
    }
    QTemporaryDir mDir;
    bool mMounted = false;
};
