#include "ConditionTranslator.h"
#include "ConditionLookup.h"

#include <exception>
#include <vector>

namespace {
const QChar Quote = QLatin1Char('\'');
const QChar DoubleQuote = QLatin1Char('"');

// The messages, their blanks included: the user has seen them for years.
const QString Unclosed = QStringLiteral("' で始まっているのに ' で終わっていません:");
const QString NoCloseAtEnd = QStringLiteral("( に対応する ) がありません :");
const QString NoClose = QStringLiteral("( に対応する ) がありません : ");
const QString QuotedAfterClose =
    QStringLiteral("条件式でない ") + DoubleQuote + QStringLiteral(" で始まる文字列です : ");
const QString WordAfterClose = QStringLiteral("条件式でない文字列です : ");
const QString CloseWithoutOpen = QStringLiteral(") に対応する ( がありません : ");
const QString NoLeft = QStringLiteral("左辺の指定がありません : ");
const QString BadLeft = QStringLiteral("左辺に項目でも値でもない文字が指定されました : ");
const QString NoOperator = QStringLiteral("比較を行う演算子がありません  : ");
const QString QuotedAtOperator =
    QStringLiteral("演算子があるべき個所に ") + DoubleQuote + QStringLiteral(" があります : ");
const QString NoRight = QStringLiteral("右辺の指定がありません  : ");
const QString TwoQuotedValues = QStringLiteral("右辺と左辺に値が指定されました。  : ");
const QString SymbolOnRight = QStringLiteral("右辺に無効な記号を指定しています。  : ");
const QString BadRight = QStringLiteral("右辺に無効な形式の値が指定されました : ");
const QString TwoValues = QStringLiteral("右辺と左辺に値が指定されました : ");
const QString BadType = QStringLiteral("には無効な指定のデータ型です : ");
const QString NotInForeign = QStringLiteral("指定のデータは外部テーブルに存在しません。");
const QString Invalid = QStringLiteral("無効な条件指定です  : ");
const QString LeftOver = QStringLiteral("条件ではない文字があります :");
const QString StrayClose = QStringLiteral("不要な ) があります");
const QString CloseSignal = QStringLiteral(")");

bool isSpace(QChar c) {
    return c == QLatin1Char(' ');
}
bool isSkipped(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}
bool endsWord(QChar c) {
    switch (c.unicode()) {
    case '(':
    case ')':
    case '\r':
    case ' ':
    case '<':
    case '>':
    case '=':
        return true;
    default:
        return false;
    }
}
bool isOperator(const QString& t) {
    return t == QLatin1String("=") || t == QLatin1String("<>") || t == QLatin1String("<") ||
           t == QLatin1String(">") || t == QLatin1String("<=") || t == QLatin1String(">=");
}
bool isKeyword(const QString& t) {
    return t == QLatin1String("and") || t == QLatin1String("or");
}
// The character at a position counted from 1.
QChar at(const QString& text, qsizetype pos) {
    return text.at(pos - 1);
}

// The text from a position, at most 10 characters; a character pair of
// UTF-16 is not cut in two.
QString excerpt(const QString& text, qsizetype pos) {
    if (pos < 1 || pos > text.size()) return QString();
    qsizetype n = std::min<qsizetype>(10, text.size() - pos + 1);
    if (n == 10 && text.at(pos - 1 + n - 1).isHighSurrogate()) --n;
    return text.mid(pos - 1, n);
}

bool keywordAt(const QString& text, qsizetype pos, QLatin1String keyword) {
    const qsizetype n = keyword.size();
    if (pos - 1 + n > text.size()) return false;
    for (qsizetype i = 0; i < n; ++i) {
        char16_t c = text.at(pos - 1 + i).unicode();
        if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c - 'A' + 'a');
        if (c != keyword[i].unicode()) return false;
    }
    const qsizetype after = pos + n;
    return after > text.size() || at(text, after) == QLatin1Char(' ') ||
           at(text, after) == QLatin1Char('\r');
}

// token == table + "." + name, without building the name
bool isQualified(const QString& token, const QString& table, const QString& name) {
    return token.size() == table.size() + 1 + name.size() && token.startsWith(table) &&
           token.at(table.size()) == QLatin1Char('.') && token.endsWith(name);
}

bool isQuotedValue(const QString& v) {
    return v.size() >= 2 && v.front() == Quote && v.back() == Quote;
}

// The database reads a statement's text up to its first NUL: a value that
// holds one would be cut short there, the rest of the statement lost.
bool holdsNul(const QString& v) {
    return v.contains(QChar(0));
}

// A quoted value as the cells hold what was typed: full-width ASCII forms
// narrowed, the ideographic space a blank, one character for one, so the
// positions of the text stay. The full-width apostrophe stays as typed: it
// must never close the value. Blanks at the ends stay too, so that values
// stored before cells were trimmed are still found.
QString narrowedValue(QString v) {
    for (qsizetype i = 1; i + 1 < v.size(); ++i) {
        const char16_t u = v[i].unicode();
        if (u >= 0xFF01 && u <= 0xFF5E && u != 0xFF07) v[i] = QChar(char16_t(u - 0xFEE0));
        else if (u == 0x3000) v[i] = QLatin1Char(' ');
    }
    return v;
}
} // namespace

ConditionToken GetNextToken(const QString& text, qsizetype start) {
    const qsizetype len = text.size();
    qsizetype p = std::max<qsizetype>(start, 1);
    while (p <= len && isSkipped(at(text, p)))
        ++p;
    ConditionToken t;
    t.start = p;
    if (p > len) {
        t.start = len + 1;
        t.kind = tkEnd;
        return t;
    }
    t.kind = tkToken;
    const QChar c = at(text, p);
    if (p < len) {
        const QChar d = at(text, p + 1);
        if ((c == QLatin1Char('>') && d == QLatin1Char('=')) ||
            (c == QLatin1Char('<') && (d == QLatin1Char('=') || d == QLatin1Char('>')))) {
            t.text = text.mid(p - 1, 2);
            return t;
        }
    }
    if (c == QLatin1Char('(') || c == QLatin1Char(')') || c == QLatin1Char('<') ||
        c == QLatin1Char('>') || c == QLatin1Char('=')) {
        t.text = c;
        return t;
    }
    for (QLatin1String kw : {QLatin1String("and"), QLatin1String("or")}) {
        if (keywordAt(text, p, kw)) {
            t.text = kw;
            return t;
        }
    }
    if (c == Quote) {
        const qsizetype close = text.indexOf(Quote, p); // 0-based search from p + 1
        if (close < 0) {
            t.kind = tkUnclosed;
            t.text = text.mid(p - 1);
            return t;
        }
        t.kind = tkQuoted;
        t.text = narrowedValue(text.mid(p - 1, close - (p - 1) + 1));
        return t;
    }
    qsizetype q = p;
    while (q <= len && !endsWord(at(text, q)))
        ++q;
    t.text = text.mid(p - 1, q - p);
    return t;
}

bool isConditionNumber(const QString& text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto digits = [&] {
        const qsizetype from = i;
        while (i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'))
            ++i;
        return i - from;
    };
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    qsizetype mantissa = digits();
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
        if (digits() == 0) return false;
    }
    return i == n;
}

QString columnValuesSql(const ColumnDef& c, const QString& section) {
    if (IsForeignColumn(c))
        return QStringLiteral("select ") + c.GaibuTableColName + QStringLiteral(" from ") +
               c.GaibuTableName + QStringLiteral(" group by ") + c.GaibuTableColName +
               QStringLiteral(" order by ") + c.GaibuTableColName;
    return QStringLiteral("select ") + c.FieldName + QStringLiteral(" from ") + section +
           QStringLiteral(" group by ") + c.FieldName + QStringLiteral(" order by ") + c.FieldName;
}

QString foreignKeySql(const ColumnDef& c, const QString& value) {
    QString literal;
    if (holdsNul(value)) return QString();
    if (isQuotedValue(value)) {
        QString inner = value.mid(1, value.size() - 2);
        inner.replace(Quote, QStringLiteral("''"));
        literal = Quote + inner + Quote;
    } else if (isConditionNumber(value)) {
        literal = value;
    } else {
        return QString();
    }
    return QStringLiteral("select ") + c.GaibuTableColKey + QStringLiteral(" AS RESULT") +
           QStringLiteral(" from ") + c.GaibuTableName + QStringLiteral(" where ") +
           c.GaibuTableColName + QStringLiteral(" = ") + literal;
}

ConditionTranslator::ConditionTranslator(const QString& section, const ColumnDefs& columns,
                                         ConditionLookup* lookup)
    : mSection(section), mColumns(columns), mLookup(lookup) {}

ConditionColumn ConditionTranslator::FindConditionColumn(const QString& token) const {
    const int n = static_cast<int>(mColumns.size()) - 1;
    for (int i = 1; i <= n; ++i)
        if (mColumns[i].JPName == token) return {i, IsForeignColumn(mColumns[i]), true};
    for (int j = 1; j <= n; ++j) {
        const ColumnDef& c = mColumns[j];
        if (token == c.FieldName || isQualified(token, mSection, c.FieldName))
            return {j, false, true};
        if (IsForeignColumn(c) && isQualified(token, c.GaibuTableName, c.GaibuTableColName))
            return {j, true, true};
    }
    return {};
}

namespace {
QString keyLiteral(const QVariant& v, const ColumnDef& c) {
    const QString key = FieldText(ToFieldValue(FieldText(v), c.eDataType));
    if (key.isEmpty() || c.eDataType != eText) return key;
    QString quoted = key;
    quoted.replace(Quote, QStringLiteral("''"));
    return Quote + quoted + Quote;
}
} // namespace

QString ConditionTranslator::GetForeignKey(int column, const QString& value) {
    if (!mLookup) return QString();
    const ColumnDef& c = mColumns[column];
    const QVariant v = mLookup->foreignKey(c, value);
    if (!v.isValid()) return QString();
    return keyLiteral(v, c);
}

QStringList ConditionTranslator::GetForeignKeys(int column, const QString& value) {
    if (!mLookup) return {};
    const ColumnDef& c = mColumns[column];
    QStringList keys;
    for (const QVariant& v : mLookup->foreignKeys(c, value)) {
        const QString k = keyLiteral(v, c);
        if (k.isEmpty()) return {}; // a key of no value cannot be compared
        if (!keys.contains(k)) keys << k;
    }
    return keys;
}

QString ConditionTranslator::parseComparison(const QString& text, const ConditionToken& t1,
                                             qsizetype& pos, QString& sql, bool& more) {
    more = false;
    if (t1.kind == tkToken) {
        if (t1.text == CloseSignal) return CloseWithoutOpen + excerpt(text, t1.start);
        if (isOperator(t1.text)) return NoLeft + excerpt(text, t1.start);
    }
    const qsizetype segment = sql.size(); // where this comparison's SQL begins
    bool leftIsValue = false;
    QString value;
    qsizetype valuePos = 0;
    ConditionColumn col;
    QString colName;
    if (t1.kind == tkQuoted) {
        if (holdsNul(t1.text)) return BadLeft + excerpt(text, t1.start);
        leftIsValue = true;
        value = t1.text;
        valuePos = t1.start;
    } else {
        col = FindConditionColumn(t1.text);
        if (col.found) {
            colName = t1.text;
        } else if (isConditionNumber(t1.text)) {
            leftIsValue = true;
            value = t1.text;
            valuePos = t1.end();
        } else {
            return BadLeft + excerpt(text, t1.start);
        }
    }
    const qsizetype p1 = t1.end();
    qsizetype mark = 0;
    if (leftIsValue) {
        mark = sql.size();
        sql += QLatin1Char(' ') + t1.text;
    } else {
        sql += QLatin1Char(' ') + mSection + QLatin1Char('.') + mColumns[col.column].FieldName;
    }

    const ConditionToken t2 = GetNextToken(text, p1);
    if (t2.kind == tkEnd || (t2.kind == tkToken && !isOperator(t2.text)))
        return NoOperator + excerpt(text, p1);
    if (t2.kind == tkQuoted) return QuotedAtOperator + excerpt(text, t2.start);
    if (t2.kind == tkUnclosed) return Unclosed + excerpt(text, p1);
    const qsizetype p2 = t2.end();
    sql += QLatin1Char(' ') + t2.text;

    const ConditionToken t3 = GetNextToken(text, p2);
    if (t3.kind == tkEnd) return NoRight + excerpt(text, p2);
    if (t3.kind == tkUnclosed) return Unclosed + excerpt(text, p2);
    if (t3.kind == tkQuoted) {
        if (leftIsValue) return TwoQuotedValues + excerpt(text, p2);
        if (holdsNul(t3.text)) return BadRight + excerpt(text, p2);
        value = t3.text;
        valuePos = p2;
    } else {
        if (isOperator(t3.text) || t3.text == QLatin1String("(") || t3.text == CloseSignal)
            return SymbolOnRight + excerpt(text, p2);
        if (!leftIsValue) {
            // a column cannot be compared with a column
            if (!isConditionNumber(t3.text)) return BadRight + excerpt(text, t3.start);
            value = t3.text;
            valuePos = t3.start;
        } else {
            col = FindConditionColumn(t3.text);
            if (!col.found) return TwoValues + excerpt(text, t3.start);
            colName = t3.text;
        }
    }

    const ColumnDef& c = mColumns[col.column];
    const ColumnDataType type = col.foreign ? c.GaibuTableColeDataType : c.eDataType;
    const bool fits = type == eText ? isQuotedValue(value) : isConditionNumber(value);
    if (!fits) return colName + BadType + excerpt(text, valuePos);

    pos = t3.end();
    if (!leftIsValue) {
        mark = sql.size();
        sql += QLatin1Char(' ') + t3.text;
    } else {
        sql += QLatin1Char(' ') + mSection + QLatin1Char('.') + c.FieldName;
    }
    if (col.foreign) {
        QStringList keys;
        try {
            keys = GetForeignKeys(col.column, value);
        } catch (const std::exception&) {
            if (QString why = mLookup->explainFailure(mSection, mColumns, col.column);
                !why.isEmpty())
                return why;
            throw;
        }
        if (keys.isEmpty()) return NotInForeign + excerpt(text, valuePos);
        if (keys.size() == 1) {
            sql.replace(mark + 1, value.size(), keys.first());
        } else {
            // a text that several records hold stands for all of them
            const bool equal = t2.text == QLatin1String("=");
            if (!equal && t2.text != QLatin1String("<>"))
                return QStringLiteral("「") +
                       (isQuotedValue(value) ? value.mid(1, value.size() - 2) : value) +
                       QStringLiteral("」は外部テーブルの%1件のデータにあるため、= か <> "
                                      "でしか比べられません : ")
                           .arg(keys.size()) +
                       excerpt(text, valuePos);
            sql.truncate(segment);
            sql += QLatin1Char(' ') + mSection + QLatin1Char('.') + c.FieldName +
                   (equal ? QStringLiteral(" in ( ") : QStringLiteral(" not in ( ")) +
                   keys.join(QStringLiteral(", ")) + QStringLiteral(" )");
        }
    }

    const qsizetype p3 = pos;
    const ConditionToken t4 = GetNextToken(text, p3);
    if (t4.kind == tkEnd) return QString();
    if (t4.kind == tkQuoted) return Invalid + excerpt(text, p3);
    if (t4.kind == tkUnclosed) return Unclosed + excerpt(text, p3);
    if (!isKeyword(t4.text)) {
        if (t4.text == CloseSignal) {
            pos = p3;
            return CloseSignal;
        }
        return Invalid + excerpt(text, p3);
    }
    pos = t4.end();
    qsizetype trimmed = text.size();
    while (trimmed > 0 && isSpace(at(text, trimmed)))
        --trimmed;
    if (pos >= trimmed)
        return QStringLiteral("右側に式無い") + t4.text + QStringLiteral("です :") +
               excerpt(text, t4.start);
    sql += QLatin1Char(' ') + t4.text;
    more = true;
    return QString();
}

// A condition in parentheses is a condition of its own. The parentheses
// still open are kept on a list rather than on the call stack, so that no
// depth of nesting that a user can type or paste exhausts the stack; "and"
// and "or" simply go on reading.
QString ConditionTranslator::ParseCondition(const QString& text, qsizetype& pos, QString& sql,
                                            QStringList&) {
    std::vector<qsizetype> opened; // where each open parenthesis's condition began
    QString r;
    for (;;) {
        // read one condition from pos; r is its result unless it opens a parenthesis
        const qsizetype start = pos;
        const ConditionToken t1 = GetNextToken(text, pos);
        if (t1.kind == tkEnd) {
            r.clear();
        } else if (t1.kind == tkUnclosed) {
            r = Unclosed + excerpt(text, pos);
        } else {
            pos = t1.end();
            if (t1.kind == tkToken && t1.text == QLatin1String("(")) {
                sql += QStringLiteral(" (");
                opened.push_back(start);
                continue;
            }
            bool more = false;
            r = parseComparison(text, t1, pos, sql, more);
            if (more) continue;
        }

        // hand r to the parentheses around it, innermost first
        bool more = false;
        while (!more && !opened.empty()) {
            const qsizetype open = opened.back();
            opened.pop_back();
            if (r.isEmpty()) return NoCloseAtEnd + excerpt(text, open);
            if (r != CloseSignal) return r;
            const ConditionToken t2 = GetNextToken(text, pos);
            if (t2.kind == tkUnclosed) return Unclosed + excerpt(text, pos);
            if (t2.kind != tkToken || t2.text != CloseSignal) return NoClose + excerpt(text, open);
            pos = t2.end();
            sql += QStringLiteral(" )");
            const ConditionToken t3 = GetNextToken(text, pos);
            if (t3.kind == tkEnd) {
                pos = text.size() + 1;
                r.clear();
                continue;
            }
            if (t3.kind == tkQuoted) return QuotedAfterClose + excerpt(text, t3.start);
            if (t3.kind == tkUnclosed) return Unclosed + excerpt(text, pos);
            if (!isKeyword(t3.text)) {
                if (t3.text != CloseSignal) return WordAfterClose + excerpt(text, t3.start);
                pos = t3.start;
                r = CloseSignal;
                continue;
            }
            sql += QLatin1Char(' ') + t3.text;
            pos = t3.end();
            if (pos >= text.size())
                return QStringLiteral("右側に式が無い") + t3.text + QStringLiteral("です :") +
                       excerpt(text, t3.start);
            more = true; // the condition after the keyword is this parenthesis's result
        }
        if (!more) return r;
    }
}

SqlWhere ConditionTranslator::MakeSqlWhere(const QString& text) {
    SqlWhere w;
    w.tables = QStringList{QString(QLatin1String(""))};
    qsizetype pos = 1;
    try {
        w.message = ParseCondition(text, pos, w.sql, w.tables);
    } catch (const std::exception& e) {
        // a failing lookup is the one error shown, like a wrong condition
        w.message = QString::fromStdString(e.what());
        if (w.message.isEmpty()) w.message = QStringLiteral("データベースのエラーです。");
        return w;
    }
    if (w.message.isEmpty() && pos < text.size())
        w.message = LeftOver + text.mid(pos - 1);
    else if (w.message == CloseSignal)
        w.message = StrayClose;
    return w;
}
