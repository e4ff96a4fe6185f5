#include "PresetStore.h"
#include "Catalog.h"
#include "FullWidth.h"
#include "Profile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <vector>

namespace {

const QString AppIni = QStringLiteral("AppIni");
const QString PurchaseTable = QStringLiteral("購入テーブル");
const QString SaveTitle = QStringLiteral("設定中の集計設定");

// Values are stored without the blanks around them, as the user's own
// program did; tabs and full-width blanks are part of the value.
QString trimBlanks(const QString& s) {
    qsizetype a = 0, b = s.size();
    while (a < b && s[a] == u' ')
        ++a;
    while (b > a && s[b - 1] == u' ')
        --b;
    return a == 0 && b == s.size() ? s : s.mid(a, b - a);
}

QString quoted(const QString& v) {
    return QLatin1Char('"') + trimBlanks(v) + QLatin1Char('"');
}

QString listKey(const QString& prefix, const char* name, int m) {
    return prefix + QLatin1String(name) + QStringLiteral("( ") + HexNum(m) + QStringLiteral(" )");
}

// A 16-bit number written plainly, or nothing.
std::optional<int> shortNumber(const QString& text) {
    qint64 v = 0;
    if (!parsePlainInteger(text, v) || v < -32768 || v > 32767) return std::nullopt;
    return static_cast<int>(v);
}

// What a key after the table's prefix names: "Sum( 0A )RCond( 01 )" is
// element 1 of the classification of preset 10. Keys are matched as the
// profile reader looks them up: without regard to case, numbers written as
// HexNum writes them, presets and elements from 0 to 99.
enum class Field { Title, RCond, Sum, JpSql, Sql, Tables };
struct KeyParts {
    int preset;
    Field field;
    int element;
};

// Two hexadecimal digits inside "( " and " )" at the start of `s`.
std::optional<int> bracketedHex(QStringView& s) {
    if (s.size() < 6 || !s.startsWith(u"( ") || s.mid(4, 2) != u" )") return std::nullopt;
    int v = 0;
    for (QChar c : s.mid(2, 2)) {
        const int d = c.isDigit() ? c.unicode() - '0'
                      : (c.toLower() >= u'a' && c.toLower() <= u'f')
                          ? c.toLower().unicode() - 'a' + 10
                          : -1;
        if (d < 0) return std::nullopt;
        v = v * 16 + d;
    }
    if (v >= PresetStore::MaxRead) return std::nullopt;
    s = s.mid(6);
    return v;
}

std::optional<KeyParts> parseKey(QStringView rest) {
    if (!rest.startsWith(u"Sum", Qt::CaseInsensitive)) return std::nullopt;
    rest = rest.mid(3);
    const auto preset = bracketedHex(rest);
    if (!preset) return std::nullopt;
    auto is = [&](QStringView name) { return rest.compare(name, Qt::CaseInsensitive) == 0; };
    if (is(u"Title")) return KeyParts{*preset, Field::Title, 0};
    if (is(u"SumColumNumber")) return KeyParts{*preset, Field::Sum, 0};
    if (is(u"JpSql")) return KeyParts{*preset, Field::JpSql, 0};
    if (is(u"Sql")) return KeyParts{*preset, Field::Sql, 0};
    for (const auto& [name, field] :
         {std::pair{u"RCond", Field::RCond}, std::pair{u"Tables", Field::Tables}}) {
        const QStringView n(name);
        if (!rest.startsWith(n, Qt::CaseInsensitive)) continue;
        QStringView tail = rest.mid(n.size());
        const auto element = bracketedHex(tail);
        if (element && tail.isEmpty()) return KeyParts{*preset, field, *element};
    }
    return std::nullopt;
}

// The values found for one preset's keys.
struct StoredKeys {
    std::optional<QString> title, sum, jpSql, sql;
    std::vector<std::optional<QString>> rcond, tables;
    std::optional<QString>& slot(Field f, int element) {
        switch (f) {
        case Field::Title:
            return title;
        case Field::Sum:
            return sum;
        case Field::JpSql:
            return jpSql;
        case Field::Sql:
            return sql;
        case Field::RCond:
        case Field::Tables:
            break;
        }
        auto& list = f == Field::RCond ? rcond : tables;
        if (list.size() <= static_cast<size_t>(element)) list.resize(element + 1);
        return list[element];
    }
};

QString valueProblem(const QString& label, const QString& value) {
    if (value.contains(u'\r') || value.contains(u'\n'))
        return label + QStringLiteral("に改行が含まれているため登録できません。"
                                      "改行を取り除いてから登録してください。");
    const QByteArray bytes = Profile::toCp932(value);
    if (value.contains(QChar(0)) || Profile::fromCp932(bytes) != value)
        return label + QStringLiteral("にINIファイルに保存できない文字が含まれているため"
                                      "登録できません。");
    if (bytes.size() > PresetStore::MaxValueBytes)
        return label + QStringLiteral("が長すぎるため登録できません。") + label +
               QStringLiteral("は半角599文字（全角299文字）までです。");
    return {};
}

} // namespace

QString HexNum(int n) {
    return QString::number(n, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString presetTablePrefix(int tableNum) {
    return QStringLiteral("SumTNum( ") + HexNum(tableNum) + QStringLiteral(" )");
}

QString presetKeyPrefix(int tableNum, int preset) {
    return presetTablePrefix(tableNum) + QStringLiteral("Sum( ") + HexNum(preset) +
           QStringLiteral(" )");
}

PresetSetting settingOf(const SumPreset& preset, int columnCount) {
    PresetSetting s;
    auto refuse = [&](const QString& what, const QString& value) {
        s.message = QStringLiteral("集計設定「") + preset.Title + QStringLiteral("」は、") + what +
                    QStringLiteral("の番号「") + value +
                    QStringLiteral("」がこの表の項目を指していないため、セットできません。");
        return s;
    };
    const auto sum = shortNumber(preset.SumColumNumber);
    if (!sum || *sum < 1 || *sum > columnCount)
        return refuse(QStringLiteral("合計する項目"), preset.SumColumNumber);
    s.sumCol = *sum;
    if (preset.RCond == QStringList{QStringLiteral("-1")}) {
        s.types = {-1};
        return s;
    }
    for (const QString& r : preset.RCond) {
        const auto c = shortNumber(r);
        if (!c || *c < 1 || *c > columnCount) return refuse(QStringLiteral("分類する項目"), r);
        s.types << *c;
    }
    return s;
}

QString checkStorable(const SumPreset& p) {
    if (p.RCond.size() > PresetStore::MaxRead)
        return QStringLiteral("分類する項目が多すぎるため登録できません。100個までです。");
    if (p.Tables.size() > PresetStore::MaxRead)
        return QStringLiteral("条件で使うテーブルが多すぎるため登録できません。100個までです。");
    const std::pair<QString, QString> values[] = {
        {QStringLiteral("名前"), p.Title},
        {QStringLiteral("合計する項目の番号"), p.SumColumNumber},
        {QStringLiteral("条件"), p.JpSql},
        {QStringLiteral("条件のSQL"), p.Sql},
    };
    for (const auto& [label, value] : values)
        if (QString m = valueProblem(label, trimBlanks(value)); !m.isEmpty()) return m;
    for (const QString& r : p.RCond)
        if (QString m = valueProblem(QStringLiteral("分類する項目の番号"), trimBlanks(r));
            !m.isEmpty())
            return m;
    for (const QString& t : p.Tables)
        if (QString m = valueProblem(QStringLiteral("条件で使うテーブル名"), trimBlanks(t));
            !m.isEmpty())
            return m;
    return {};
}

std::shared_ptr<PresetStore> PresetStore::forTable(const QString& iniPath, int tableNum,
                                                   const QString& tableJPName,
                                                   QString* loadMessage) {
    static QHash<QString, std::weak_ptr<PresetStore>> stores;
    const QString key = QDir::cleanPath(QFileInfo(iniPath).absoluteFilePath()) + QLatin1Char('\n') +
                        QString::number(tableNum);
    if (auto s = stores.value(key).lock()) return s;
    auto s = std::make_shared<PresetStore>(iniPath, tableNum, tableJPName);
    const QString m = s->load();
    if (loadMessage) *loadMessage = m;
    stores.insert(key, s);
    return s;
}

PresetStore::PresetStore(const QString& iniPath, int tableNum, const QString& tableJPName)
    : mIniPath(iniPath), mTableNum(tableNum), mTableJPName(tableJPName) {}

QString PresetStore::load() {
    mPresets.clear();
    mUnread.clear();
    const auto entries = Profile::ReadSection(AppIni, mIniPath);
    QString message;
    if (entries) {
        // The values of each preset's keys, the first of a name counting; a
        // missing key is told from one holding any text, "NotFound" included.
        std::vector<StoredKeys> stored(MaxRead);
        const QString table = presetTablePrefix(mTableNum);
        // the table's entries: what each names, and whether it came first
        struct Own {
            const Profile::Entry* entry;
            std::optional<KeyParts> parts;
            bool first = false;
        };
        std::vector<Own> own;
        for (const Profile::Entry& e : *entries) {
            if (!e.key.startsWith(table, Qt::CaseInsensitive)) continue;
            const auto k = parseKey(QStringView(e.key).mid(table.size()));
            own.push_back({&e, k});
            if (!k) continue;
            std::optional<QString>& slot = stored[k->preset].slot(k->field, k->element);
            if (!slot) {
                slot = trimBlanks(cutAtNul(e.value));
                own.back().first = true;
            }
        }
        auto listLength = [](const std::vector<std::optional<QString>>& values) {
            size_t n = 0;
            while (n < values.size() && values[n])
                ++n;
            return n;
        };
        auto list = [&](const std::vector<std::optional<QString>>& values, const QString& none) {
            QStringList out;
            for (size_t i = 0; i < listLength(values); ++i)
                out << *values[i];
            if (out.isEmpty()) out << none;
            return out;
        };
        for (const StoredKeys& k : stored) {
            if (!k.title) break;
            SumPreset s;
            s.Title = *k.title;
            s.RCond = list(k.rcond, QStringLiteral("-1"));
            s.SumColumNumber = k.sum.value_or(QString());
            s.JpSql = k.jpSql.value_or(QString());
            s.Sql = k.sql.value_or(QString());
            s.Tables = list(k.tables, QString());
            s.readAs = static_cast<int>(mPresets.size());
            s.id = nextId();
            mPresets << s;
        }
        // what the presets read did not take is kept, to be written back
        for (const Own& o : own) {
            const SumPreset::KeptEntry kept{o.entry->key, o.entry->value};
            if (!o.parts || o.parts->preset >= mPresets.size()) {
                mUnread << kept;
                continue;
            }
            const KeyParts& k = *o.parts;
            const StoredKeys& sk = stored[k.preset];
            size_t length = 0;
            if (k.field == Field::RCond) length = listLength(sk.rcond);
            if (k.field == Field::Tables) length = listLength(sk.tables);
            const bool listed = k.field != Field::RCond && k.field != Field::Tables;
            if (!o.first || (!listed && size_t(k.element) >= length))
                mPresets[k.preset].unread << kept;
        }
    } else {
        message = QStringLiteral("集計設定をINIファイルから読めませんでした。");
    }
    if (mPresets.isEmpty() && mTableJPName == PurchaseTable) {
        mPresets = standardPresets();
        for (SumPreset& s : mPresets)
            s.id = nextId();
    }
    return message;
}

int PresetStore::indexOf(quint64 id) const {
    for (int i = 0; i < mPresets.size(); ++i)
        if (mPresets[i].id == id) return i;
    return -1;
}

QString PresetStore::newPresetTitle() const {
    QSet<QString> taken;
    for (const SumPreset& p : mPresets)
        taken.insert(p.Title);
    if (!taken.contains(SaveTitle)) return SaveTitle;
    for (int n = 2; n <= MaxListed; ++n) {
        const QString t = SaveTitle + QStringLiteral("：") + toFullWidthDigits(n);
        if (!taken.contains(t)) return t;
    }
    return SaveTitle;
}

QString storableCondition(const QString& condition) {
    QString out;
    out.reserve(condition.size());
    bool quoted = false;
    for (qsizetype i = 0; i < condition.size(); ++i) {
        const QChar c = condition[i];
        if (c == u'\'') quoted = !quoted;
        if (!quoted && (c == u'\r' || c == u'\n')) {
            if (c == u'\r' && i + 1 < condition.size() && condition[i + 1] == u'\n') ++i;
            out += u' ';
            continue;
        }
        out += c;
    }
    return out;
}

QString PresetStore::add(SumPreset preset) {
    if (mPresets.size() >= MaxListed) return QStringLiteral("これ以上登録できません。");
    preset.JpSql = storableCondition(preset.JpSql);
    preset.unread.clear();
    preset.readAs = -1;
    if (QString m = checkStorable(preset); !m.isEmpty()) return m;
    preset.id = nextId();
    QList<SumPreset> next = mPresets;
    next << preset;
    return write(std::move(next));
}

QString PresetStore::remove(quint64 id) {
    const int i = indexOf(id);
    if (i < 0) return {};
    QList<SumPreset> next = mPresets;
    next.removeAt(i);
    return write(std::move(next));
}

QString PresetStore::rename(quint64 id, const QString& title) {
    const int i = indexOf(id);
    if (i < 0) return {};
    if (QString m = valueProblem(QStringLiteral("名前"), trimBlanks(title)); !m.isEmpty()) return m;
    if (trimBlanks(title) == mPresets[i].Title) return {};
    QList<SumPreset> next = mPresets;
    next[i].Title = title;
    return write(std::move(next));
}

QString PresetStore::write(QList<SumPreset> next) {
    // What is kept in memory is what the file gives back.
    for (SumPreset& s : next) {
        s.Title = trimBlanks(s.Title);
        s.SumColumNumber = trimBlanks(s.SumColumNumber);
        s.JpSql = trimBlanks(s.JpSql);
        s.Sql = trimBlanks(s.Sql);
        for (QString& r : s.RCond)
            r = trimBlanks(r);
        for (QString& t : s.Tables)
            t = trimBlanks(t);
    }
    QList<Profile::Entry> entries;
    entries.reserve(next.size() * 8);
    for (int p = 0; p < next.size(); ++p) {
        const SumPreset& s = next[p];
        const QString prefix = presetKeyPrefix(mTableNum, p);
        entries.append({prefix + QStringLiteral("Title"), quoted(s.Title)});
        for (int m = 0; m < s.RCond.size(); ++m)
            entries.append({listKey(prefix, "RCond", m), quoted(s.RCond[m])});
        entries.append({prefix + QStringLiteral("SumColumNumber"), quoted(s.SumColumNumber)});
        entries.append({prefix + QStringLiteral("JpSql"), quoted(s.JpSql)});
        entries.append({prefix + QStringLiteral("Sql"), quoted(s.Sql)});
        for (int m = 0; m < s.Tables.size(); ++m)
            entries.append({listKey(prefix, "Tables", m), quoted(s.Tables[m])});
        // what the reader passed over goes with its preset, under its new number
        const qsizetype own = presetTablePrefix(mTableNum).size() + 9; // "Sum( xx )"
        for (SumPreset::KeptEntry& k : next[p].unread) {
            if (s.readAs != p) k.key = prefix + k.key.mid(own);
            entries.append({k.key, QLatin1Char('"') + k.value + QLatin1Char('"')});
        }
    }
    // Keys of no preset stay, unless the presets now use the same key.
    QSet<QString> written;
    for (const Profile::Entry& e : entries)
        written.insert(e.key.toLower());
    for (const SumPreset::KeptEntry& k : mUnread)
        if (!written.contains(k.key.toLower()))
            entries.append({k.key, QLatin1Char('"') + k.value + QLatin1Char('"')});
    QString error;
    if (!Profile::ReplaceEntries(AppIni, presetTablePrefix(mTableNum), entries, mIniPath, &error))
        return QStringLiteral("集計設定をINIファイルに書き込めませんでした。"
                              "ファイルと集計設定は元のままです。\n（") +
               error + QStringLiteral("）");
    for (int p = 0; p < next.size(); ++p)
        next[p].readAs = p;
    mPresets = std::move(next);
    emit changed();
    return {};
}

QList<SumPreset> PresetStore::standardPresets() {
    auto standard = [](const QString& title, const QStringList& types) {
        SumPreset s;
        s.Title = title;
        s.RCond = types;
        s.SumColumNumber = QStringLiteral("7");
        return s;
    };
    return {standard(QStringLiteral("年ごとの総額"), {QStringLiteral("2")}),
            standard(QStringLiteral("年ごとで分類した総額"),
                     {QStringLiteral("2"), QStringLiteral("5")}),
            standard(QStringLiteral("月ごとで分類した総額"),
                     {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("5")})};
}
