#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

// One backup in the folder: a copy of the book and, under the same stem, a
// copy of the INI file (the catalog and the presets) taken with it.
struct BackupEntry {
    struct Table {
        QString name;   // the catalog section, which is the table's name
        QString jpName; // its TableJPName, or the name when it has none
        qint64 rows = -1;
    };
    QString stem; // "Tamroc-20261208-093015"
    QString bookPath;
    QString iniPath; // empty when the INI copy is missing
    QDateTime taken;
    qint64 size = 0;
    // Why the copy cannot be used (empty when it can): what SQLite's
    // integrity check found, or a catalog table it lacks.
    QString damage;
    QList<Table> tables;
    bool damaged() const { return !damage.isEmpty(); }
};

// The backups of one SQLite book, kept in the folder "backup" beside it.
// Copies are made with SQLite's online backup, from a connection of their
// own that only reads: consistent while the program has the book open, and
// never a write to the book. Every file is written under a temporary name
// and takes its own only when complete, so a process killed half way
// leaves nothing that is offered.
class BackupStore {
public:
    static constexpr int Kept = 30;

    BackupStore(const QString& bookPath, const QString& iniPath);

    QString folder() const { return mFolder; }
    // Copies the book and the INI file now, then removes the oldest backups
    // beyond Kept. Returns the empty string, or why no backup was made (the
    // folder and the book are then as they were, but for leftovers of
    // earlier attempts removed).
    QString make(const QDateTime& now = QDateTime::currentDateTime(), QString* stem = nullptr);
    // Whether a backup taken on `day` is in the folder.
    bool hasBackupOf(const QDate& day) const;
    // Every backup, newest first, each checked.
    QList<BackupEntry> list() const;
    static void check(BackupEntry& entry, const QString& currentIni);

    // What restoring calls between preparing the new book and putting it in
    // place: the program lets go of the book there (and takes it again
    // after restore returns, whatever the outcome).
    using Release = std::function<void()>;
    // Puts the backup in place of the book, and its INI copy in place of
    // the INI file when `withIni`. A backup of the book as it is is made
    // first. Returns the empty string, or why the backup was not restored:
    // the book and the INI file are then as they were. A book that cannot
    // be copied (damaged, or no room) is moved into the folder instead.
    QString restore(const BackupEntry& entry, bool withIni, const Release& release);

private:
    QString mBook;
    QString mIni;
    QString mFolder;
};

// The catalog's tables of an INI file: its sections but the program's own.
QStringList catalogTables(const QString& iniPath);
