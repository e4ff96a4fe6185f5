#include "StatementInfo.h"

#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace {
const QString ident = QStringLiteral(
    R"((?:[A-Za-z_\x{80}-\x{FFFF}][A-Za-z0-9_\x{80}-\x{FFFF}]*|\[[^\]]+\]|"[^"]+"|`[^`]+`))");

// The statement with the inside of every quoted value ('...', a doubled
// quote inside it) blanked out, so that words in a value are not taken for
// the statement's own; every other character stays where it was.
QString maskValues(const QString& sql) {
    QString out = sql;
    bool inValue = false;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] == u'\'') {
            if (inValue && i + 1 < out.size() && out[i + 1] == u'\'') {
                out[i] = out[i + 1] = u' ';
                ++i;
                continue;
            }
            inValue = !inValue;
            continue;
        }
        if (inValue) out[i] = u' ';
    }
    return out;
}

bool isPlainColumn(const QString& item) {
    static const QRegularExpression re(QStringLiteral("^(?:%1\\s*\\.\\s*)?%1$").arg(ident));
    return re.match(item.trimmed()).hasMatch();
}
} // namespace

StatementInfo analyseSelect(const QString& sql) {
    StatementInfo info;
    static const QRegularExpression head(
        QStringLiteral(R"(^\s*select\s+(?:all\s+)?(.+?)\s+from\s+(%1)(.*)$)").arg(ident),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    // Parsed on the masked text, taken from the statement as written.
    const auto m = head.match(maskValues(sql));
    if (!m.hasMatch()) {
        info.reason = QStringLiteral("SELECT 文ではありません");
        return info;
    }
    const QString list = sql.mid(m.capturedStart(1), m.capturedLength(1)).trimmed();
    const QString rest = m.captured(3).trimmed();
    info.table = sql.mid(m.capturedStart(2), m.capturedLength(2));

    static const QRegularExpression restOk(QStringLiteral(R"(^(?:(?:where|order|limit)\b.*)?$)"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression multi(
        QStringLiteral(R"(\b(?:join|union|group\s+by|having|intersect|except)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    if (!restOk.match(rest).hasMatch() || multi.match(rest).hasMatch()) {
        info.reason = QStringLiteral("複数の表または集計を読む文です");
        return info;
    }
    if (list != QLatin1String("*")) {
        static const QRegularExpression distinct(QStringLiteral(R"(^distinct\b)"),
                                                 QRegularExpression::CaseInsensitiveOption);
        if (distinct.match(list).hasMatch()) {
            info.reason = QStringLiteral("DISTINCT の結果です");
            return info;
        }
        for (const QString& item : list.split(QLatin1Char(','))) {
            if (!isPlainColumn(item)) {
                info.reason = QStringLiteral("表の列でない項目を含む文です");
                return info;
            }
        }
    }
    info.updatable = true;
    return info;
}

namespace {
// The statement with everything that is not the statement's own words
// blanked out (quoted values and names, comments, dollar-quoted bodies), and
// the depth of parentheses at each character.
struct Scanned {
    QString words;
    std::vector<int> depth;
};

Scanned scan(const QString& sql) {
    Scanned s{sql, std::vector<int>(static_cast<size_t>(sql.size()), 0)};
    QString& w = s.words;
    int depth = 0;
    const qsizetype n = sql.size();
    auto blank = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to && k < n; ++k)
            w[k] = u' ';
    };
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql[i];
        s.depth[static_cast<size_t>(i)] = depth;
        qsizetype end = -1; // the end of a quoted or commented stretch
        if (c == u'\'' || c == u'"') {
            end = i + 1;
            while (end < n) {
                if (sql[end] == c) {
                    if (end + 1 < n && sql[end + 1] == c) {
                        end += 2;
                        continue;
                    }
                    ++end;
                    break;
                }
                ++end;
            }
            // a quoted name stays a word; only its inside is blanked
            if (c == u'"') {
                blank(i + 1, end - 1);
                for (qsizetype k = i; k < end; ++k)
                    s.depth[static_cast<size_t>(k)] = depth;
                i = end;
                continue;
            }
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            end = sql.indexOf(QLatin1Char('\n'), i);
            if (end < 0) end = n;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            int nested = 0;
            end = i;
            while (end < n) {
                if (sql[end] == u'/' && end + 1 < n && sql[end + 1] == u'*') {
                    ++nested;
                    end += 2;
                } else if (sql[end] == u'*' && end + 1 < n && sql[end + 1] == u'/') {
                    end += 2;
                    if (--nested == 0) break;
                } else {
                    ++end;
                }
            }
        } else if (c == u'$') {
            static const QRegularExpression tag(
                QStringLiteral(R"(\G\$([A-Za-z_][A-Za-z0-9_]*)?\$)"));
            const auto m = tag.match(sql, i);
            if (m.hasMatch() &&
                (i == 0 || !(sql[i - 1].isLetterOrNumber() || sql[i - 1] == u'_'))) {
                const QString t = m.captured(0);
                const qsizetype close = sql.indexOf(t, i + t.size());
                end = close < 0 ? n : close + t.size();
            }
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            depth = std::max(0, depth - 1);
            s.depth[static_cast<size_t>(i)] = depth;
        }
        if (end > i) {
            blank(i, end);
            for (qsizetype k = i; k < end; ++k)
                s.depth[static_cast<size_t>(k)] = depth;
            i = end;
        } else {
            ++i;
        }
    }
    return s;
}

// The first match of a keyword pattern outside parentheses, from `from` on.
qsizetype findTop(const Scanned& s, const QRegularExpression& re, qsizetype from,
                  qsizetype* length = nullptr) {
    auto it = re.globalMatch(s.words, from);
    while (it.hasNext()) {
        const auto m = it.next();
        if (s.depth[static_cast<size_t>(m.capturedStart())] == 0) {
            if (length) *length = m.capturedLength();
            return m.capturedStart();
        }
    }
    return -1;
}

// The items of a list, split at the commas outside parentheses.
QList<QPair<qsizetype, qsizetype>> topItems(const Scanned& s, qsizetype from, qsizetype to) {
    QList<QPair<qsizetype, qsizetype>> items;
    qsizetype start = from;
    for (qsizetype i = from; i < to; ++i)
        if (s.words[i] == u',' && s.depth[static_cast<size_t>(i)] == 0) {
            items.append({start, i});
            start = i + 1;
        }
    items.append({start, to});
    return items;
}

QRegularExpression keywords(const QString& pattern) {
    return QRegularExpression(QStringLiteral(R"(\b(?:%1)\b)").arg(pattern),
                              QRegularExpression::CaseInsensitiveOption);
}
} // namespace

QString serverStatement(const QString& sql, QString* refusal) {
    Scanned s = scan(sql);
    QString text = sql;
    // One statement: a ";" may only end it.
    for (qsizetype i = 0; i < s.words.size(); ++i)
        if (s.words[i] == u';' && s.depth[static_cast<size_t>(i)] == 0) {
            if (!s.words.mid(i + 1).trimmed().isEmpty()) {
                if (refusal)
                    *refusal = QStringLiteral("一度に実行できる文は一つだけです（複数の文 multiple "
                                              "statements）。");
                return {};
            }
            text = sql.left(i);
            s.words.truncate(i);
            s.depth.resize(static_cast<size_t>(i));
            break;
        }
    if (s.words.trimmed().isEmpty()) {
        if (refusal) *refusal = QStringLiteral("実行する文がありません。");
        return {};
    }
    static const QRegularExpression compound = keywords(QStringLiteral("union|intersect|except"));
    if (findTop(s, compound, 0) >= 0) return text;

    static const QRegularExpression orderBy = keywords(QStringLiteral(R"(order\s+by)"));
    static const QRegularExpression groupBy = keywords(QStringLiteral(R"(group\s+by)"));
    static const QRegularExpression afterOrder = keywords(QStringLiteral("limit|offset|fetch|for"));
    static const QRegularExpression afterGroup =
        keywords(QStringLiteral("having|window|order|limit|offset|fetch|for"));
    static const QRegularExpression hasNulls =
        keywords(QStringLiteral(R"(nulls\s+(?:first|last))"));
    static const QRegularExpression descending(QStringLiteral(R"(\bdesc\s*$)"),
                                               QRegularExpression::CaseInsensitiveOption);

    auto clauseEnd = [&](qsizetype from, const QRegularExpression& next) {
        const qsizetype e = findTop(s, next, from);
        return e < 0 ? s.words.size() : e;
    };
    // The items of a clause with SQLite's place for NULL added.
    auto withNulls = [&](qsizetype from, qsizetype to) {
        QString out;
        for (const auto& [a, b] : topItems(s, from, to)) {
            const QString words = s.words.mid(a, b - a);
            const QString item = text.mid(a, b - a);
            if (!out.isEmpty()) out += QLatin1Char(',');
            if (hasNulls.match(words).hasMatch()) {
                out += item;
                continue;
            }
            // keep what follows the item's last word (blanks, a comment)
            qsizetype last = words.size();
            while (last > 0 && words[last - 1].isSpace())
                --last;
            out +=
                item.left(last) +
                (descending.match(words.left(last)).hasMatch() ? QStringLiteral(" NULLS LAST")
                                                               : QStringLiteral(" NULLS FIRST")) +
                item.mid(last);
        }
        return out;
    };

    qsizetype len = 0;
    const qsizetype order = findTop(s, orderBy, 0, &len);
    if (order >= 0) {
        const qsizetype from = order + len;
        const qsizetype to = clauseEnd(from, afterOrder);
        return text.left(from) + withNulls(from, to) + text.mid(to);
    }
    const qsizetype group = findTop(s, groupBy, 0, &len);
    if (group >= 0) {
        const qsizetype from = group + len;
        const qsizetype to = clauseEnd(from, afterGroup);
        const qsizetype at = clauseEnd(to, afterOrder);
        QString items = withNulls(from, to);
        while (items.endsWith(QLatin1Char(' ')) || items.endsWith(QLatin1Char('\n')))
            items.chop(1);
        QString head = text.left(at);
        while (head.endsWith(QLatin1Char(' ')))
            head.chop(1);
        return head + QStringLiteral(" ORDER BY") + items +
               (at < text.size() ? QStringLiteral(" ") : QString()) + text.mid(at).trimmed();
    }
    return text;
}
