#include "BackupStore.h"
#include "Profile.h"
#include "SqliteCopy.h"
#include "WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <filesystem>
#include <system_error>

namespace {
const QString Prefix = QStringLiteral("Tamroc-");
const QString StampFormat = QStringLiteral("yyyyMMdd-HHmmss");
// What a file being written is called until it is complete.
const QString Part = QStringLiteral(".part");

// A complete backup's file name; the stamp is the first capture.
const QRegularExpression& bookName() {
    static const QRegularExpression re(QStringLiteral("^Tamroc-(\\d{8}-\\d{6})\\.mdb$"));
    return re;
}

QString stampOf(const QString& stem) {
    return stem.mid(Prefix.size());
}

// The stems of the complete backups in the folder, oldest first (the stamp
// sorts as the time does).
QStringList stems(const QString& folder) {
    QStringList out;
    const QStringList names =
        QDir(folder).entryList({Prefix + QStringLiteral("*.mdb")}, QDir::Files, QDir::Name);
    for (const QString& n : names)
        if (bookName().match(n).hasMatch()) out << n.chopped(4);
    return out;
}

bool removeFile(const QString& path) {
    return !QFile::exists(path) || QFile::remove(path);
}

// Writes `bytes` to `path`, which must not exist yet, under a temporary name
// first.
QString writeNewFile(const QString& path, const QByteArray& bytes) {
    const QString part = path + Part;
    QFile out(part);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return part + QStringLiteral(": ") + out.errorString();
    const bool written =
        out.write(bytes) == bytes.size() && out.flush() && out.size() == bytes.size();
    const QString why = out.errorString();
    out.close();
    if (!written || !QFile::rename(part, path)) {
        QFile::remove(part);
        return path + QStringLiteral(": ") +
               (written ? QStringLiteral("名前を付けられません") : why);
    }
    return {};
}

// Replaces `target` by `source` in one step (the old file, if any, stays
// whole until then).
QString renameOver(const QString& source, const QString& target) {
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(source.toStdWString()),
                            std::filesystem::path(target.toStdWString()), ec);
    if (ec) return target + QStringLiteral(": ") + QString::fromLocal8Bit(ec.message());
    return {};
}

QString cutAtNul(const QString& s) {
    const qsizetype n = s.indexOf(QChar(0));
    return n < 0 ? s : s.left(n);
}
} // namespace

QStringList catalogTables(const QString& iniPath) {
    QStringList out;
    if (!QFile::exists(iniPath)) return out;
    const QString list =
        Profile::GetString(QString(), QString(), QString(), Profile::Unlimited, iniPath);
    for (const QString& s : list.split(QChar(0), Qt::SkipEmptyParts))
        if (s != QLatin1String("AppIni")) out << s;
    return out;
}

BackupStore::BackupStore(const QString& bookPath, const QString& iniPath)
    : mBook(bookPath), mIni(iniPath),
      mFolder(QFileInfo(bookPath).absolutePath() + QStringLiteral("/backup")) {}

bool BackupStore::hasBackupOf(const QDate& day) const {
    const QString head = Prefix + day.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('-');
    for (const QString& s : stems(mFolder))
        if (s.startsWith(head)) return true;
    return false;
}

QString BackupStore::make(const QDateTime& now, QString* made) {
    if (!QDir().mkpath(mFolder)) return mFolder + QStringLiteral(": フォルダーを作れません");
    QDir dir(mFolder);
    // what a process that died while writing left behind
    for (const QString& n : dir.entryList({Prefix + QStringLiteral("*") + Part}, QDir::Files))
        dir.remove(n);

    // Two backups within one second (a restore right after the day's first
    // save) each get a name of their own.
    QDateTime when = now;
    QString stem;
    do {
        stem = Prefix + when.toString(StampFormat);
        when = when.addSecs(1);
    } while (QFile::exists(mFolder + QLatin1Char('/') + stem + QStringLiteral(".mdb")) ||
             QFile::exists(mFolder + QLatin1Char('/') + stem + QStringLiteral(".ini")));
    const QString base = mFolder + QLatin1Char('/') + stem;

    // The INI copy first: the book's copy, written last, is what makes the
    // backup complete.
    if (QFile::exists(mIni)) {
        QFile in(mIni);
        if (!in.open(QIODevice::ReadOnly)) return mIni + QStringLiteral(": ") + in.errorString();
        const QByteArray bytes = in.readAll();
        if (in.error() != QFileDevice::NoError)
            return mIni + QStringLiteral(": ") + in.errorString();
        const QString why = writeNewFile(base + QStringLiteral(".ini"), bytes);
        if (!why.isEmpty()) return why;
    }
    const QString part = base + QStringLiteral(".mdb") + Part;
    QString why = SqliteCopy::copy(mBook, part, SqliteCopy::Durability::Fast);
    if (why.isEmpty() && !QFile::rename(part, base + QStringLiteral(".mdb")))
        why = part + QStringLiteral(": 名前を付けられません");
    if (!why.isEmpty()) {
        QFile::remove(part);
        QFile::remove(base + QStringLiteral(".ini"));
        return why;
    }
    if (made) *made = stem;

    // The oldest beyond the number kept go, and any INI copy whose book
    // copy never became complete.
    const QStringList all = stems(mFolder);
    for (qsizetype i = 0; i + Kept < all.size(); ++i) {
        removeFile(mFolder + QLatin1Char('/') + all[i] + QStringLiteral(".mdb"));
        removeFile(mFolder + QLatin1Char('/') + all[i] + QStringLiteral(".ini"));
    }
    const QSet<QString> complete(all.begin(), all.end());
    for (const QString& n : dir.entryList({Prefix + QStringLiteral("*.ini")}, QDir::Files))
        if (!complete.contains(n.chopped(4))) dir.remove(n);
    return {};
}

QList<BackupEntry> BackupStore::list() const {
    QList<BackupEntry> out;
    const QStringList all = stems(mFolder);
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        BackupEntry e;
        e.stem = *it;
        e.bookPath = mFolder + QLatin1Char('/') + e.stem + QStringLiteral(".mdb");
        const QString ini = mFolder + QLatin1Char('/') + e.stem + QStringLiteral(".ini");
        if (QFile::exists(ini)) e.iniPath = ini;
        e.taken = QDateTime::fromString(stampOf(e.stem), StampFormat);
        e.size = QFileInfo(e.bookPath).size();
        check(e, mIni);
        out << e;
    }
    return out;
}

void BackupStore::check(BackupEntry& e, const QString& currentIni) {
    // The tables the copy must hold are those of the catalog taken with it.
    const QString ini = e.iniPath.isEmpty() ? currentIni : e.iniPath;
    e.tables.clear();
    e.damage = SqliteCopy::integrity(e.bookPath);
    if (e.damaged()) return;
    const QStringList names = catalogTables(ini);
    const auto counts = SqliteCopy::rowCounts(e.bookPath, names);
    if (!counts.error.isEmpty()) {
        e.damage = counts.error;
        return;
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        BackupEntry::Table t;
        t.name = names[i];
        const QString jp = cutAtNul(Profile::GetString(t.name, QStringLiteral("TableJPName"),
                                                       QStringLiteral("0"), 255, ini));
        t.jpName = jp.startsWith(QLatin1Char('0')) ? t.name : jp;
        t.rows = counts.rows[i];
        if (t.rows < 0 && e.damage.isEmpty())
            e.damage = QStringLiteral("テーブル %1 がありません").arg(t.name);
        e.tables << t;
    }
}

QString BackupStore::restore(const BackupEntry& entry, bool withIni, const Release& release) {
    BackupEntry e = entry;
    check(e, mIni);
    if (e.damaged()) return QStringLiteral("このバックアップは壊れています。\n") + e.damage;
    QByteArray newIni;
    if (withIni) {
        QFile in(e.iniPath);
        if (e.iniPath.isEmpty() || !in.open(QIODevice::ReadOnly))
            return QStringLiteral("このバックアップには設定の写しがありません。");
        newIni = in.readAll();
        if (in.error() != QFileDevice::NoError)
            return e.iniPath + QStringLiteral(": ") + in.errorString();
    }

    // The new book is written beside the old one, whole and on the disk,
    // before anything is replaced.
    const QString part = mBook + QStringLiteral(".restore") + Part;
    removeFile(part);
    QString why = SqliteCopy::copy(e.bookPath, part, SqliteCopy::Durability::Synced);
    struct PartGone {
        QString path;
        ~PartGone() { QFile::remove(path); }
    } partGone{part};
    if (!why.isEmpty()) return why;
    // The book as it is is copied into the folder first. When it cannot be
    // copied (SQLite cannot read it, or there is no room for a copy) it is
    // moved there whole instead, once the program has let go of it: a
    // damaged book is exactly the one a restore is for, and it is kept.
    bool moveAside = false;
    if (QFile::exists(mBook)) moveAside = !make().isEmpty();

    if (release) release();
    // A journal beside the book belongs to it: renaming another book under
    // it would let SQLite play the journal into that book.
    for (const char* suffix : {"-journal", "-wal"})
        if (QFile::exists(mBook + QLatin1String(suffix)))
            return QStringLiteral("帳簿が他のプログラムで使用中のため置き換えられません。");
    QString keptAside;
    if (moveAside) {
        QDateTime when = QDateTime::currentDateTime();
        do {
            keptAside = mFolder + QLatin1Char('/') + Prefix + when.toString(StampFormat) +
                        QStringLiteral(".mdb");
            when = when.addSecs(1);
        } while (QFile::exists(keptAside));
        why = QDir().mkpath(mFolder) ? renameOver(mBook, keptAside)
                                     : mFolder + QStringLiteral(": フォルダーを作れません");
        if (!why.isEmpty())
            return QStringLiteral("今の帳簿を残しておけないため、戻しませんでした。\n") + why;
    }
    auto putBack = [&] {
        if (!keptAside.isEmpty()) renameOver(keptAside, mBook);
    };

    QByteArray oldIni;
    const bool hadIni = QFile::exists(mIni);
    if (withIni) {
        QFile in(mIni);
        if (hadIni) {
            if (!in.open(QIODevice::ReadOnly)) {
                putBack();
                return mIni + QStringLiteral(": ") + in.errorString();
            }
            oldIni = in.readAll();
        }
        if (!writeWholeFile(mIni, newIni, &why)) {
            putBack();
            return mIni + QStringLiteral(": ") + why;
        }
    }
    why = renameOver(part, mBook);
    if (!why.isEmpty()) {
        putBack();
        if (withIni) {
            if (hadIni)
                writeWholeFile(mIni, oldIni);
            else
                QFile::remove(mIni);
        }
        return why;
    }
    return {};
}
