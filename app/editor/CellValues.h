#pragma once
#include "Catalog.h"

#include <QSet>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

// How a grid text becomes a stored value, without any window. The cell
// checks judge, and the save writes, exactly these values, so a text that
// passes the checks is never refused or changed on its way into the table.
namespace CellValues {

// Digits, signs, the decimal point and blanks that a Japanese input method
// types in full width ("１２０", "－５"), in their plain forms.
QString plainNumberText(const QString& text);

// The whole number a text stands for in a column of `type`, written plainly
// or in full width, with blanks around it; nullopt for letters, a fraction or
// a value outside the type's range.
std::optional<qint64> anyWholeNumber(const QString& text, ColumnDataType type);
// The same, reading a text of a few plain digits (nearly every cell of a
// large table) on the spot.
Q_ALWAYS_INLINE std::optional<qint64> wholeNumber(const QString& text, ColumnDataType type) {
    const qsizetype n = text.size();
    if (n > 0 && n <= 9 && (type == eInteger || type == eSmallint)) {
        const QChar* p = text.constData();
        qint64 v = 0;
        qsizetype i = 0;
        for (; i < n; ++i) {
            const char16_t u = p[i].unicode();
            if (u < u'0' || u > u'9') break;
            v = v * 10 + (u - u'0');
        }
        if (i == n) // nine digits always fit an integer
            return type == eInteger || v <= 32767 ? std::optional<qint64>(v) : std::nullopt;
    }
    return anyWholeNumber(text, type);
}

// The value stored for a grid text: a text without its surrounding blanks, a
// number, or NULL for an empty number cell. nullopt when the text is not a
// value of the column's type.
std::optional<QVariant> storedValue(const QString& text, ColumnDataType type);

// What a cell is compared by where values must not repeat: the value it will
// be stored as ("5", "05" and "５" are one number; "食費 " is "食費").
QString comparable(const QString& text, ColumnDataType type);

// Whether two texts are equal, at once when they are the very same string
// (a cell's text and the one it was loaded or shown with, most often).
inline bool sameText(const QString& a, const QString& b) {
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

// A foreign text as the save matches it with the texts of its table.
inline QString matchedText(const QString& text, ColumnDataType type) {
    const QString v = comparable(text, type);
    return type == eText ? v.toCaseFolded() : v;
}

// Finds values met before in one column, compared as they will be stored.
class Repeats {
public:
    // `ignoreCase`: texts that differ only in case count as one (they name
    // one foreign record).
    explicit Repeats(ColumnDataType type, bool ignoreCase = false)
        : mType(type), mIgnoreCase(ignoreCase) {}
    // Notes the value; true when it was met before.
    bool seen(const QString& text);
    // Room for `n` values in the order of a table read by its number key.
    void reserve(size_t n) { mAscendingNumbers.reserve(n); }

private:
    bool seenNumber(qint64 v);

    ColumnDataType mType;
    bool mIgnoreCase;
    // Numbers that come in ascending order (the keys of a table as it was
    // read) cannot repeat: they are only listed until one comes out of order.
    bool mAscending = true;
    std::vector<qint64> mAscendingNumbers;
    QSet<qint64> mNumbers;
    QSet<QString> mTexts;
};

} // namespace CellValues
