#include "StatementInfo.h"

#include <QRegularExpression>

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
