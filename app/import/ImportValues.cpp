#include "ImportValues.h"
#include "TextNormalise.h"

#include <QRegularExpression>

namespace ImportValues {

QString plainText(QString text) {
    return TextNormalise::normalised(text);
}

std::optional<qint64> amount(const QString& raw) {
    QString t = plainText(raw);
    t.remove(QLatin1Char(',')).remove(QChar(0x00A5)).remove(QChar(0xFFE5)).remove(QChar(0x5186));
    t.remove(QLatin1Char('\\')).remove(QLatin1Char(' '));
    bool negative = false;
    if (t.startsWith(QLatin1Char('(')) && t.endsWith(QLatin1Char(')'))) {
        negative = true;
        t = t.mid(1, t.size() - 2);
    } else if (t.startsWith(QChar(0x25B3)) || t.startsWith(QChar(0x25B2))) { // △ ▲
        negative = true;
        t = t.mid(1);
    } else if (t.endsWith(QLatin1Char('-')) || t.endsWith(QChar(0x2212))) {
        negative = true;
        t.chop(1);
    } else if (t.startsWith(QLatin1Char('-')) || t.startsWith(QChar(0x2212))) {
        negative = true;
        t = t.mid(1);
    } else if (t.startsWith(QLatin1Char('+'))) {
        t = t.mid(1);
    }
    // a decimal part of zeros only ("1200.00") is still a whole amount
    static const QRegularExpression whole(QStringLiteral("^([0-9]{1,18})(?:\\.0*)?$"));
    const auto m = whole.match(t);
    if (!m.hasMatch()) return std::nullopt;
    const qint64 v = m.captured(1).toLongLong();
    return negative ? -v : v;
}

std::optional<QDate> date(const QString& raw) {
    const QString t = plainText(raw);
    static const QRegularExpression western(
        QStringLiteral("^([0-9]{4})\\s*[/\\-.年]\\s*([0-9]{1,2})\\s*[/\\-.月]\\s*([0-9]{1,2})\\s*日?"
                       "(?:\\s.*)?$"));
    static const QRegularExpression packed(QStringLiteral("^([0-9]{4})([0-9]{2})([0-9]{2})$"));
    static const QRegularExpression era(QStringLiteral(
        "^(R|H|令和|平成)\\s*([0-9]{1,2}|元)\\s*[/\\-.年]\\s*([0-9]{1,2})\\s*[/\\-.月]\\s*([0-9]{1,2})\\s*日?$"),
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch m = western.match(t);
    if (!m.hasMatch()) m = packed.match(t);
    if (m.hasMatch()) {
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
    }
    m = era.match(t);
    if (!m.hasMatch()) return std::nullopt;
    const QString e = m.captured(1).toUpper();
    const int base = (e == QLatin1String("R") || e == QStringLiteral("令和")) ? 2018 : 1988;
    const int year = m.captured(2) == QStringLiteral("元") ? 1 : m.captured(2).toInt();
    const QDate d(base + year, m.captured(3).toInt(), m.captured(4).toInt());
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

} // namespace ImportValues
