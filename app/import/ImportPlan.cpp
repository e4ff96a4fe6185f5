#include "ImportPlan.h"
#include "ImportValues.h"

namespace {
using Part = ColumnSource::Part;

QChar partLetter(Part p) {
    switch (p) {
    case Part::Year: return QLatin1Char('y');
    case Part::Month: return QLatin1Char('m');
    case Part::Day: return QLatin1Char('d');
    case Part::Whole: break;
    }
    return QLatin1Char('w');
}

int firstDataRecord(const ImportSettings& s) {
    return s.skip + (s.header ? 1 : 0);
}

// The text a field gives a column, or nullopt when it cannot be read as
// the column needs.
std::optional<QString> cellText(const QString& field, const ColumnSource& src,
                                const ImportColumn& col) {
    if (src.part != Part::Whole) {
        const auto d = ImportValues::date(field);
        if (!d) return std::nullopt;
        const int v = src.part == Part::Year ? d->year()
                      : src.part == Part::Month ? d->month()
                                                : d->day();
        return QString::number(v);
    }
    if (col.number) {
        if (ImportValues::plainText(field).isEmpty()) return QString();
        const auto a = ImportValues::amount(field);
        if (!a) return std::nullopt;
        return QString::number(*a);
    }
    return ImportValues::plainText(field);
}
} // namespace

QString ImportSettings::toText() const {
    QStringList parts{QStringLiteral("enc=") + encoding,
                      QStringLiteral("sep=") + (separator == QLatin1Char('\t') ? QStringLiteral("tab")
                                                                               : QStringLiteral("comma")),
                      QStringLiteral("skip=") + QString::number(skip),
                      QStringLiteral("header=") + (header ? QLatin1Char('1') : QLatin1Char('0'))};
    QStringList map;
    for (const ColumnSource& c : sources)
        map << (c.field < 0 ? QStringLiteral("-") : QString::number(c.field) + partLetter(c.part));
    parts << QStringLiteral("map=") + map.join(QLatin1Char('.'));
    return parts.join(QLatin1Char(';'));
}

std::optional<ImportSettings> ImportSettings::fromText(const QString& text, int columns) {
    ImportSettings s;
    bool mapped = false;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString value = part.section(QLatin1Char('='), 1);
        bool ok = true;
        if (key == QLatin1String("enc")) {
            if (value != CsvReader::Utf8 && value != CsvReader::Cp932) return std::nullopt;
            s.encoding = value;
        } else if (key == QLatin1String("sep")) {
            if (value != QLatin1String("tab") && value != QLatin1String("comma")) return std::nullopt;
            s.separator = value == QLatin1String("tab") ? QLatin1Char('\t') : QLatin1Char(',');
        } else if (key == QLatin1String("skip")) {
            s.skip = value.toInt(&ok);
            if (!ok || s.skip < 0 || s.skip > 1000) return std::nullopt;
        } else if (key == QLatin1String("header")) {
            s.header = value == QLatin1String("1");
        } else if (key == QLatin1String("map")) {
            const QStringList items = value.split(QLatin1Char('.'));
            if (items.size() != columns) return std::nullopt;
            for (const QString& item : items) {
                ColumnSource c;
                if (item != QLatin1String("-")) {
                    c.field = item.chopped(1).toInt(&ok);
                    const QChar p = item.isEmpty() ? QChar() : item.back();
                    c.part = p == QLatin1Char('y')   ? Part::Year
                             : p == QLatin1Char('m') ? Part::Month
                             : p == QLatin1Char('d') ? Part::Day
                                                     : Part::Whole;
                    if (!ok || c.field < 0 || (p != QLatin1Char('w') && c.part == Part::Whole))
                        return std::nullopt;
                }
                s.sources << c;
            }
            mapped = true;
        }
    }
    if (!mapped || s.encoding.isEmpty()) return std::nullopt;
    return s;
}

namespace ImportPlan {

QStringList fieldNames(const CsvReader::File& file, const ImportSettings& s) {
    int widest = 0;
    for (const QStringList& r : file.records)
        widest = std::max(widest, int(r.size()));
    QStringList names;
    const QStringList head =
        s.header && s.skip < file.records.size() ? file.records[s.skip] : QStringList();
    for (int i = 0; i < widest; ++i)
        names << (i < head.size() && !head[i].trimmed().isEmpty()
                      ? ImportValues::plainText(head[i])
                      : QStringLiteral("列%1").arg(i + 1));
    return names;
}

ImportSettings guess(const CsvReader::File& file, const QList<ImportColumn>& columns) {
    ImportSettings s;
    s.encoding = file.encoding;
    s.separator = file.separator;
    // a first line without a single number names the fields
    const QStringList first = file.records.value(0);
    s.header = !first.isEmpty();
    for (const QString& f : first)
        if (ImportValues::amount(f) || ImportValues::date(f)) s.header = false;
    const QStringList names = fieldNames(file, s);
    const QStringList sample = file.records.value(firstDataRecord(s));
    int dateField = -1;
    for (int i = 0; i < sample.size() && dateField < 0; ++i)
        if (ImportValues::date(sample[i])) dateField = i;
    for (const ImportColumn& col : columns) {
        ColumnSource src;
        src.field = int(names.indexOf(col.jpName));
        if (src.field < 0 && dateField >= 0) {
            src.field = dateField;
            if (col.jpName.endsWith(QStringLiteral("年"))) src.part = Part::Year;
            else if (col.jpName.endsWith(QStringLiteral("月"))) src.part = Part::Month;
            else if (col.jpName == QStringLiteral("日") || col.jpName.endsWith(QStringLiteral("日付")))
                src.part = Part::Day;
            else src.field = -1;
        }
        s.sources << src;
    }
    return s;
}

QString keyOf(const QStringList& texts, const ImportSettings& s) {
    QString key;
    for (int i = 0; i < texts.size() && i < s.sources.size(); ++i)
        if (s.sources[i].field >= 0) key += texts[i] + QChar(0x1F);
    return key;
}

QList<PlannedRow> rows(const CsvReader::File& file, const ImportSettings& s,
                       const QList<ImportColumn>& columns, const QSet<QString>& present) {
    QList<PlannedRow> out;
    int needed = 0;
    for (const ColumnSource& c : s.sources)
        needed = std::max(needed, c.field + 1);
    for (qsizetype r = firstDataRecord(s); r < file.records.size(); ++r) {
        const QStringList& rec = file.records[r];
        if (rec.isEmpty()) continue; // a blank line
        PlannedRow row;
        row.line = int(r) + 1;
        for (int c = 0; c < columns.size(); ++c) {
            const ColumnSource src = s.sources.value(c);
            if (src.field < 0 || src.field >= rec.size()) {
                row.texts << QString();
                continue;
            }
            const auto text = cellText(rec[src.field], src, columns[c]);
            if (!text) row.bad << c;
            row.texts << text.value_or(ImportValues::plainText(rec[src.field]));
        }
        if (rec.size() < needed)
            row.problem = QStringLiteral("項目が %1 個しかありません（%2 個必要です）。")
                              .arg(rec.size())
                              .arg(needed);
        else if (!row.bad.isEmpty())
            row.problem = QStringLiteral("「%1」を読み取れません。").arg(columns[row.bad[0]].jpName);
        const QString key = keyOf(row.texts, s);
        row.present = !key.isEmpty() && present.contains(key); // nothing mapped: nothing to match
        row.chosen = row.problem.isEmpty() && !row.present;
        out << row;
    }
    return out;
}

QString settingsKey(int tableNum, int fields) {
    return QStringLiteral("CsvImport( %1 )Fields( %2 )")
        .arg(tableNum, 2, 10, QLatin1Char('0'))
        .arg(fields, 2, 10, QLatin1Char('0'));
}

} // namespace ImportPlan

#include "Profile.h"

namespace ImportSettingsStore {

std::optional<ImportSettings> load(const QString& iniPath, int tableNum, int fields, int columns) {
    const auto entries = Profile::ReadSection(QStringLiteral("AppIni"), iniPath);
    if (!entries) return std::nullopt;
    const QString key = ImportPlan::settingsKey(tableNum, fields);
    for (const Profile::Entry& e : *entries)
        if (e.key.compare(key, Qt::CaseInsensitive) == 0)
            return ImportSettings::fromText(e.value, columns);
    return std::nullopt;
}

QString save(const QString& iniPath, int tableNum, int fields, const ImportSettings& s) {
    const QString key = ImportPlan::settingsKey(tableNum, fields);
    QString error;
    if (!Profile::ReplaceEntries(QStringLiteral("AppIni"), key, {{key, s.toText()}}, iniPath,
                                 &error))
        return error.isEmpty() ? QStringLiteral("取り込みの設定を保存できませんでした。") : error;
    return {};
}

} // namespace ImportSettingsStore
