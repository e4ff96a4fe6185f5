#pragma once
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

// n in upper-case hexadecimal, two digits at least: "00", "0A", "1F", "100".
QString HexNum(int n);
// "SumTNum( 02 )": the beginning of every preset key of table 2.
QString presetTablePrefix(int tableNum);
// "SumTNum( 02 )Sum( 01 )": the beginning of the keys of preset 1 of table 2.
QString presetKeyPrefix(int tableNum, int preset);

// One named, saved way of totalling a table. The numbers are kept as the
// file holds them, so that a value the program cannot use is still written
// back as it was when other presets of the table change.
struct SumPreset {
    QString Title;
    QStringList RCond = {QStringLiteral("-1")}; // classification columns; the single -1 means none
    QString SumColumNumber;                     // the column to total
    QString JpSql;                              // the condition as the user typed it
    QString Sql;                                // the condition as SQL; "" = none
    QStringList Tables = {QString()};           // further tables; the single "" means none
    // Keys of the preset that the reader passes over (list elements after a
    // gap, a second copy of a key), written back as they were found; and the
    // number the preset was read under.
    struct KeptEntry {
        QString key;
        QString value;
    };
    QList<KeptEntry> unread;
    int readAs = -1;
    // Tells the preset apart while it is in memory (a rename that ends after
    // another window deleted presets must not rename a different one).
    quint64 id = 0;
};

// What setting a preset hands to the summary window, or, in `message`, why
// it cannot be set.
struct PresetSetting {
    QList<int> types; // the single -1 means no classification
    int sumCol = 0;
    QString message;
};
PresetSetting settingOf(const SumPreset& preset, int columnCount);

// The condition as the file can keep it: line breaks outside quoted values
// become blanks, which the condition language reads alike.
QString storableCondition(const QString& condition);

// The message refusing a preset with a value that would not come back whole
// from the file, or "" when every value can be stored.
QString checkStorable(const SumPreset& preset);

// The presets of one table in the AppIni section of the INI file. Every
// change rewrites all of the table's presets in one atomic rewrite of the
// file; a change that cannot be written leaves both the file and the presets
// as they were.
class PresetStore : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxRead = 100;       // presets, and elements of a list, read
    static constexpr int MaxListed = 99;      // presets the user may keep
    static constexpr int MaxValueBytes = 599; // what a value may take in the code page

    // The one store of the table's presets in `iniPath`, shared by every
    // presets window of the table while one of them holds it, so that a
    // change made in one is seen by the others. Read from the file when no
    // window holds it yet; `loadMessage` then receives what went wrong.
    static std::shared_ptr<PresetStore> forTable(const QString& iniPath, int tableNum,
                                                 const QString& tableJPName,
                                                 QString* loadMessage = nullptr);

    PresetStore(const QString& iniPath, int tableNum, const QString& tableJPName);

    // Reads the table's presets; "" when done, else the message for the user.
    QString load();
    const QList<SumPreset>& presets() const { return mPresets; }
    int indexOf(quint64 id) const;
    // The title a newly saved setting gets: the first of 設定中の集計設定,
    // 設定中の集計設定：２, ... that no preset carries.
    QString newPresetTitle() const;

    // Each returns "" when done, else the message for the user.
    QString add(SumPreset preset);
    QString remove(quint64 id);
    QString rename(quint64 id, const QString& title);

    // The purchase table's presets while it has none stored.
    static QList<SumPreset> standardPresets();

signals:
    void changed();

private:
    QString write(QList<SumPreset> next);
    // The table's keys that belong to no preset read (presets after a gap in
    // the numbering or without a title, numbers of 100 and more, keys the
    // reader does not know): written back unchanged with every rewrite.
    QList<SumPreset::KeptEntry> mUnread;
    quint64 nextId() { return ++mLastId; }

    QString mIniPath;
    int mTableNum;
    QString mTableJPName;
    QList<SumPreset> mPresets;
    quint64 mLastId = 0;
};
