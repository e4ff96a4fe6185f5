#include "LoadedTexts.h"

#include <charconv>

void LoadedTexts::reset(int columns, size_t expectedRows) {
    mCols.assign(static_cast<size_t>(std::max(columns, 0)), Column{});
    mReserve = expectedRows;
    for (Column& c : mCols)
        c.nums.reserve(expectedRows);
}

void LoadedTexts::Column::toTexts() {
    texts.reserve(std::max(texts.capacity(), nums.capacity()));
    for (qint64 v : nums)
        texts.push_back(v == Empty ? QString() : QString::number(v));
    nums = {};
    numbers = false;
}

void LoadedTexts::add(int i, const QVariant& value, const QString& text) {
    Column& c = mCols[static_cast<size_t>(i)];
    if (c.numbers) {
        const int type = value.typeId();
        if (!value.isNull() && (type == QMetaType::LongLong || type == QMetaType::Int)) {
            const qint64 v = value.toLongLong();
            if (v != Empty) {
                c.nums.push_back(v);
                return;
            }
        } else if (text.isEmpty()) {
            c.nums.push_back(Empty);
            return;
        }
        c.toTexts();
    }
    c.texts.push_back(text);
}

QString LoadedTexts::text(size_t row, int i) const {
    const Column& c = mCols[static_cast<size_t>(i)];
    if (!c.numbers) return c.texts[row];
    const qint64 v = c.nums[row];
    return v == Empty ? QString() : QString::number(v);
}

bool LoadedTexts::is(size_t row, int i, const QString& t) const {
    const Column& c = mCols[static_cast<size_t>(i)];
    if (!c.numbers) return c.texts[row] == t;
    const qint64 v = c.nums[row];
    if (v == Empty) return t.isEmpty();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    const qsizetype n = end - digits;
    if (t.size() != n) return false;
    for (qsizetype k = 0; k < n; ++k)
        if (t[k] != QLatin1Char(digits[k])) return false;
    return true;
}

bool LoadedTexts::number(size_t row, int i, qint64& v) const {
    const Column& c = mCols[static_cast<size_t>(i)];
    if (!c.numbers || c.nums[row] == Empty) return false;
    v = c.nums[row];
    return true;
}
