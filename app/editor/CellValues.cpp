#include "CellValues.h"

#include <cmath>
#include <limits>

namespace CellValues {

QString plainNumberText(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19) // ０..９
            c = QChar(u'0' + (u - 0xFF10));
        else if (u == 0xFF0D || u == 0x2212) // －, −
            c = QLatin1Char('-');
        else if (u == 0xFF0B) // ＋
            c = QLatin1Char('+');
        else if (u == 0xFF0E) // ．
            c = QLatin1Char('.');
        else if (u == 0x3000) // ideographic space
            c = QLatin1Char(' ');
    }
    return out;
}

std::optional<qint64> anyWholeNumber(const QString& text, ColumnDataType type) {
    qint64 lo, hi;
    switch (type) {
    case eInteger:
        lo = std::numeric_limits<qint32>::min();
        hi = std::numeric_limits<qint32>::max();
        break;
    case eSmallint:
        lo = -32768;
        hi = 32767;
        break;
    default:
        return std::nullopt;
    }
    qint64 v;
    if (parsePlainInteger(text, v))
        return v >= lo && v <= hi ? std::optional<qint64>(v) : std::nullopt;
    const QString plain = plainNumberText(text);
    if (!parsePlainInteger(plain, v)) {
        // Other ways of writing a whole number ("1.0", "1e3") are taken, a
        // fraction is not: it would be stored rounded without a word.
        bool ok = false;
        const double d = plain.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(d) || d != std::floor(d) || d < double(lo) || d > double(hi))
            return std::nullopt;
        v = static_cast<qint64>(d);
    }
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

std::optional<QVariant> storedValue(const QString& text, ColumnDataType type) {
    if (type == eText) return ToFieldValue(text, eText);
    // An emptied number is no number at all, for a small integer as well:
    // storing 0 would invent a value the user never typed.
    if (text.isEmpty()) return QVariant();
    const auto v = wholeNumber(text, type);
    if (!v) return std::nullopt;
    return QVariant(static_cast<qint32>(*v));
}

QString comparable(const QString& text, ColumnDataType type) {
    if (type == eText) return ToFieldValue(text, eText).toString();
    const auto v = wholeNumber(text, type);
    return v ? QString::number(*v) : text;
}

bool Repeats::seenNumber(qint64 v) {
    if (mAscending) {
        if (mAscendingNumbers.empty() || v > mAscendingNumbers.back()) {
            mAscendingNumbers.push_back(v);
            return false;
        }
        mAscending = false;
        mNumbers.reserve(static_cast<qsizetype>(mAscendingNumbers.size()) + 1);
        for (qint64 u : mAscendingNumbers)
            mNumbers.insert(u);
        mAscendingNumbers = {};
    }
    const qsizetype before = mNumbers.size();
    mNumbers.insert(v);
    return mNumbers.size() == before;
}

bool Repeats::seen(const QString& text) {
    if (mType != eText)
        if (const auto v = wholeNumber(text, mType)) return seenNumber(*v);
    // a text, or a number column's text that is no number (the checks refuse it later)
    QString key = mType == eText ? ToFieldValue(text, eText).toString() : text;
    if (mIgnoreCase) key = key.toCaseFolded();
    if (mTexts.contains(key)) return true;
    mTexts.insert(key);
    return false;
}

} // namespace CellValues
