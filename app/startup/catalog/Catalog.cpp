#include "Catalog.h"
#include "Dialogs.h"
#include "Profile.h"
#include "RellmarkError.h"
#include "TamrocError.h"
#include "clsDBRecord.h"
#include "modMorvi.h"

#include <cmath>
#include <limits>

using namespace modMorvi;

namespace {

QString readKey(const QString& section, const QString& key, int buffer) {
    return cutAtNul(Profile::GetString(section, key, QStringLiteral("0"), buffer, strIniPath));
}

// A key that must be there: its absence is told apart from a value "0" by
// a default that no value can hold (values end at the line's end).
QString readRequiredKey(const QString& section, const QString& key, int buffer) {
    const QString missing(QLatin1Char('\n'));
    const QString v = cutAtNul(Profile::GetString(section, key, missing, buffer, strIniPath));
    if (v == missing)
        throw TamrocError(
            QStringLiteral("INIファイルにキーがありません：[%1] %2").arg(section, key));
    return v;
}

// A whole number within lo..hi; a fraction is rounded as the platform does.
// The range is checked on the double before it is converted: a double beyond
// 64 bits has no integer value to convert to.
bool wholeNumber(const QString& text, qint64 lo, qint64 hi, qint64& value, bool& inRange) {
    inRange = true;
    bool ok = false;
    const QString t = text.trimmed();
    value = t.toLongLong(&ok);
    if (!ok) {
        const double d = t.toDouble(&ok);
        if (!ok || !std::isfinite(d)) return false;
        const double r = std::nearbyint(d); // halves go to the even neighbour
        if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) {
            inRange = false;
            return true;
        }
        value = static_cast<qint64>(r);
    }
    inRange = value >= lo && value <= hi;
    return true;
}

qint64 toWhole(const QString& section, const QString& key, const QString& value, qint64 lo,
               qint64 hi) {
    qint64 v = 0;
    bool inRange = true;
    if (!wholeNumber(value, lo, hi, v, inRange))
        throw TamrocError(QStringLiteral("INIファイルの値が数値ではありません：[%1] %2 = %3")
                              .arg(section, key, value));
    if (!inRange)
        throw TamrocError(QStringLiteral("INIファイルの値が範囲を超えています：[%1] %2 = %3")
                              .arg(section, key, value));
    return v;
}

// False for a word that is none of the three.
bool setDataType(ColumnDataType& field, const QString& word) {
    if (word == QLatin1String("eInteger"))
        field = eInteger;
    else if (word == QLatin1String("eText"))
        field = eText;
    else if (word == QLatin1String("eSmallint"))
        field = eSmallint;
    else
        return false; // the field stays as it was
    return true;
}

// The INI positions of a table's columns must be 0..n-1, each used once:
// two columns at one position would be loaded from, and saved back from,
// one grid cell, and a position past them lands on the hidden columns.
void checkPositions(const QString& section, const ColumnDefs& columns) {
    const int n = columns.size() - 1;
    std::vector<int> owner(static_cast<size_t>(n), 0);
    for (int i = 1; i <= n; ++i) {
        const int x = columns[i].ipointx;
        if (x < 0 || x >= n)
            throw TamrocError(QStringLiteral("カラムの表示位置が範囲外です（0～%1）：[%2] %3 = %4")
                                  .arg(n - 1)
                                  .arg(section, columnKey(i, "ipointx"))
                                  .arg(x));
        int& first = owner[static_cast<size_t>(x)];
        if (first != 0)
            throw TamrocError(
                QStringLiteral("カラムの表示位置が重なっています：[%1] %2 = %3、%4 = %3")
                    .arg(section, columnKey(first, "ipointx"))
                    .arg(x)
                    .arg(columnKey(i, "ipointx")));
        first = i;
    }
}

} // namespace

QString cutAtNul(const QString& s) {
    const int p = s.indexOf(QChar(0));
    return p < 0 ? s : s.left(p);
}

bool parsePlainInteger(const QString& text, qint64& value) {
    int i = 0;
    const int n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    qint64 v = 0;
    int digits = 0;
    while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9') && digits < 18) {
        v = v * 10 + (text[i].unicode() - '0');
        ++i;
        ++digits;
    }
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    if (i != n || digits == 0) return false;
    value = negative ? -v : v;
    return true;
}

void clsPublic::setTableNumber(qint16 n) {
    mSections.resize(std::max<int>(n, 0) + 1);
}

QString clsPublic::TableSection(qint16 i) const {
    if (i < 1 || i >= mSections.size())
        throw TamrocError(
            QStringLiteral("インデックスが有効範囲にありません：テーブル番号 %1").arg(i));
    // A table without a section name is never given as a null name: the
    // INI reader answers a null section with the list of every section.
    if (mSections[i].isNull()) return QStringLiteral("");
    return mSections[i];
}

void clsPublic::setTableSection(qint16 i, const QString& s) {
    if (i < 1 || i >= mSections.size())
        throw TamrocError(
            QStringLiteral("インデックスが有効範囲にありません：テーブル番号 %1").arg(i));
    mSections[i] = s;
}

QString columnKey(int n, const char* name) {
    return QStringLiteral("COL( %1 )%2").arg(n, 2, 10, QLatin1Char('0')).arg(QLatin1String(name));
}

void LoadTableList() {
    // The whole list: a 255-byte buffer would cut the last name that fits
    // (listed as a table that does not exist) and drop every later table.
    const QString list = Profile::GetString(QString(), QString(), QStringLiteral("0"),
                                            Profile::Unlimited, strIniPath);
    const QChar nul(0);
    qint16 t = 1;
    int p = 0;
    while (true) {
        if (p >= list.size() || list[p] == nul || p + 1 >= list.size() || list[p + 1] == nul) break;
        const int q = list.indexOf(nul, p + 1);
        if (q < 0) break;
        const QString name = list.mid(p, q - p);
        if (name != QLatin1String("AppIni")) {
            objPublic->setTableNumber(t);
            objPublic->setTableSection(t, name);
            ++t;
        }
        p = q + 1;
    }
    if (t == 1) {
        msgBox(nullptr, QStringLiteral("テーブルはひとつも無いヨ"));
        objPublic->setTableNumber(1);
    }
}

QString GetTableJPName(const QString& section) {
    const QString s = Profile::GetString(section, QStringLiteral("TableJPName"),
                                         QStringLiteral("0"), 255, strIniPath);
    if (s.startsWith(QLatin1Char('0'))) {
        msgBox(nullptr, QStringLiteral("テーブル日本語名称がないよ！"));
        return QStringLiteral("無名テーブル");
    }
    return cutAtNul(s);
}

qint16 CountColumns(const QString& section) {
    int n = 1;
    while (n < std::numeric_limits<qint16>::max()) {
        if (readKey(section, columnKey(n, "FieldName"), 30).startsWith(QLatin1Char('0'))) break;
        ++n;
    }
    return static_cast<qint16>(n - 1);
}

bool ReadColumnDef(ColumnDef& def, int n, const QString& section) {
    const QString field = readKey(section, columnKey(n, "FieldName"), 30);
    if (field.startsWith(QLatin1Char('0'))) return true;
    // A column without a field would be read and saved as nothing at all.
    if (field.isEmpty())
        throw TamrocError(QStringLiteral("INIファイルの値がありません：[%1] %2")
                              .arg(section, columnKey(n, "FieldName")));
    def.FieldName = field;
    def.JPName = readKey(section, columnKey(n, "JPName"), 30);
    const QString px = readRequiredKey(section, columnKey(n, "ipointx"), 30);
    def.ipointx = static_cast<qint16>(toWhole(section, columnKey(n, "ipointx"), px, -32768, 32767));
    // Without it an ordinary column would count as a key into a table "0".
    def.GaibuTableName = readRequiredKey(section, columnKey(n, "GaibuTableName"), 30);
    def.GaibuTableColName = readKey(section, columnKey(n, "GaibuTableColName"), 30);
    def.GaibuTableColKey = readKey(section, columnKey(n, "GaibuTableColKey"), 30);
    setDataType(def.GaibuTableColeDataType,
                readKey(section, columnKey(n, "GaibuTableColeDataType"), 30));
    def.Visible = readKey(section, columnKey(n, "Visible"), 30) == QLatin1String("1");
    const QString ch = readKey(section, columnKey(n, "CellHeight"), 30);
    def.CellHeight = static_cast<qint32>(toWhole(section, columnKey(n, "CellHeight"), ch,
                                                 std::numeric_limits<qint32>::min(),
                                                 std::numeric_limits<qint32>::max()));
    // A word the program does not know would be read and saved as a number.
    const QString type = readRequiredKey(section, columnKey(n, "eDataType"), 30);
    if (!setDataType(def.eDataType, type))
        throw TamrocError(QStringLiteral("データ型の名前が正しくありません：[%1] %2 = %3")
                              .arg(section, columnKey(n, "eDataType"), type));
    def.InputPlus = readKey(section, columnKey(n, "InputPlus"), 30) == QLatin1String("1");
    def.MainKey = readKey(section, columnKey(n, "MainKey"), 30) == QLatin1String("1");
    def.NullPermmit = readKey(section, columnKey(n, "NullPermmit"), 30) == QLatin1String("1");
    def.Unique = readKey(section, columnKey(n, "Unique"), 30) == QLatin1String("1");
    const QString len = readKey(section, columnKey(n, "CheckInputTextLength"), 30);
    def.CheckInputTextLength = static_cast<qint16>(
        toWhole(section, columnKey(n, "CheckInputTextLength"), len, -32768, 32767));
    return false;
}

qint16 LoadColumnDefs(qint16 tableNumber, ColumnDefs& columns, ColumnDefs& foreignColumns) {
    const QString section = objPublic->TableSection(tableNumber);
    const qint16 n = CountColumns(section);
    columns = ColumnDefs(n + 1);
    // A catalog that cannot be shown and saved safely is refused as a whole,
    // with what is wrong and where.
    auto refuse = [&](const QString& message) {
        msgBox(nullptr, message);
        columns.clear();
        foreignColumns.clear();
        return qint16(1);
    };
    try {
        for (int i = 1; i <= n; ++i)
            if (ReadColumnDef(columns[i], i, section))
                return refuse(QStringLiteral("カラムのINIファイルからの取得失敗！！"));
        checkPositions(section, columns);
    } catch (const TamrocError& e) {
        return refuse(e.text());
    }
    int k = 0;
    for (int i = 1; i <= n; ++i)
        if (IsForeignColumn(columns[i])) ++k;
    foreignColumns = ColumnDefs(k + 1);
    int j = 0;
    for (int i = 1; i <= n && k > 0; ++i) {
        if (!IsForeignColumn(columns[i])) continue;
        ++j;
        foreignColumns[j].ipointx = columns[i].ipointx;
        if (columns[i].InputPlus) {
            columns[i].InputPlus = false;
            foreignColumns[j].InputPlus = true;
        }
        columns[i].ipointx = static_cast<qint16>(n - 1 + j);
        foreignColumns[j].LinkIndex = static_cast<qint16>(i);
        columns[i].LinkIndex = static_cast<qint16>(j);
        foreignColumns[j].GaibuTableColeDataType = columns[i].GaibuTableColeDataType;
    }
    return 0;
}

namespace {
// The field names of a table, or the database's reason why it cannot be read.
struct TableFields {
    QStringList names;
    QString error;
    bool has(const QString& field) const { return names.contains(field, Qt::CaseInsensitive); }
};

TableFields fieldsOf(const QString& table) {
    TableFields t;
    try {
        clsDBRecord rs;
        rs.setParentConnectClass(objDB);
        rs.GetRecordSet_free(QStringLiteral("select * from ") + table +
                             QStringLiteral(" where 1 = 0"));
        t.names = rs.fieldNames();
        rs.CloseRecordSet();
    } catch (const RellmarkError& e) {
        t.error = e.description();
        if (t.error.isEmpty()) t.error = QStringLiteral("データベースのエラー");
    }
    return t;
}
} // namespace

QString CheckColumnsInDatabase(const QString& section, const ColumnDefs& columns,
                               const ColumnDefs& foreignColumns, ForeignTables read) {
    if (columns.size() <= 1) return QString();
    const TableFields main = fieldsOf(section);
    if (!main.error.isEmpty())
        return QStringLiteral("データベースにテーブル「%1」がありません（%2）：[%1]")
            .arg(section, main.error);
    auto noColumn = [&](const QString& table, const QString& field, int n, const char* key) {
        return QStringLiteral("データベースのテーブル「%1」に列「%2」がありません：[%3] %4 = %2")
            .arg(table, field, section, columnKey(n, key));
    };
    for (int i = 1; i < columns.size(); ++i)
        if (!main.has(columns[i].FieldName))
            return noColumn(section, columns[i].FieldName, i, "FieldName");
    for (int j = 1; j < foreignColumns.size() && read != ForeignTables::None; ++j) {
        if (read == ForeignTables::Shown && !foreignColumns[j].InputPlus)
            continue; // its table is never read
        if (QString wrong =
                CheckForeignColumnInDatabase(section, columns, foreignColumns[j].LinkIndex);
            !wrong.isEmpty())
            return wrong;
    }
    return QString();
}

QString CheckForeignColumnInDatabase(const QString& section, const ColumnDefs& columns, int i) {
    if (i < 1 || i >= columns.size() || !IsForeignColumn(columns[i])) return QString();
    const ColumnDef& c = columns[i];
    const TableFields foreign = fieldsOf(c.GaibuTableName);
    if (!foreign.error.isEmpty())
        return QStringLiteral("データベースにテーブル「%1」がありません（%2）：[%3] %4 = %1")
            .arg(c.GaibuTableName, foreign.error, section, columnKey(i, "GaibuTableName"));
    auto noColumn = [&](const QString& field, const char* key) {
        return QStringLiteral("データベースのテーブル「%1」に列「%2」がありません：[%3] %4 = %2")
            .arg(c.GaibuTableName, field, section, columnKey(i, key));
    };
    if (!foreign.has(c.GaibuTableColName))
        return noColumn(c.GaibuTableColName, "GaibuTableColName");
    if (!foreign.has(c.GaibuTableColKey)) return noColumn(c.GaibuTableColKey, "GaibuTableColKey");
    return QString();
}

bool IsForeignColumn(const ColumnDef& def) {
    return def.GaibuTableName != QLatin1String("Nothing");
}

bool isNumericText(const QString& text) {
    qint64 whole;
    if (parsePlainInteger(text, whole)) return true; // the common case, without the general parse
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok && std::isfinite(d);
}

namespace {
QString trimSpaces(const QString& s) {
    int a = 0, b = s.size();
    while (a < b && s[a] == QLatin1Char(' '))
        ++a;
    while (b > a && s[b - 1] == QLatin1Char(' '))
        --b;
    return s.mid(a, b - a);
}

qint64 toInteger(const QString& text, qint64 lo, qint64 hi) {
    qint64 v = 0;
    bool inRange = true;
    if (!wholeNumber(text, lo, hi, v, inRange)) throw typeMismatch(text);
    if (!inRange) throw TamrocError(QStringLiteral("オーバーフローしました：%1").arg(text));
    return v;
}
} // namespace

QVariant ToFieldValue(const QString& text, ColumnDataType dataType) {
    switch (dataType) {
    case eInteger:
        if (text.isEmpty()) return QVariant();
        return QVariant(static_cast<qint32>(toInteger(text, std::numeric_limits<qint32>::min(),
                                                      std::numeric_limits<qint32>::max())));
    case eText:
        return QVariant(trimSpaces(text));
    case eSmallint:
        if (text.isEmpty()) return QVariant(static_cast<qint32>(0));
        return QVariant(static_cast<qint32>(toInteger(text, -32768, 32767)));
    }
    return QVariant(text);
}

qint16 CompareFieldValues(const QVariant& a, const QVariant& b, ColumnDataType dataType) {
    switch (dataType) {
    case eText: {
        const int c = a.toString().compare(b.toString(), Qt::CaseInsensitive);
        return static_cast<qint16>(c < 0 ? -1 : (c > 0 ? 1 : 0));
    }
    case eInteger:
    case eSmallint: {
        const double x = a.toDouble(), y = b.toDouble();
        return static_cast<qint16>(x < y ? -1 : (x > y ? 1 : 0));
    }
    }
    return 0;
}
