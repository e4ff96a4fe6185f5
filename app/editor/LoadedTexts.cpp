#include "LoadedTexts.h"
#include "CellValues.h"

#include <charconv>

void LoadedTexts::reset(int columns, size_t expectedRows) {
    mCols.assign(static_cast<size_t>(std::max(columns, 0)), Column{});
    mReserve = expectedRows;
    for (Column& c : mCols)
        c.nums.reserve(expectedRows);
}

void LoadedTexts::Column::toTexts() {
    const size_t n = size();
    std::vector<QString> all;
    all.reserve(std::max(n, std::max(nums.capacity(), entries.capacity())));
    for (size_t r = 0; r < n; ++r)
        all.push_back(kind == Kind::Numbers
                          ? (nums[r] == Empty ? QString() : QString::number(nums[r]))
                          : pool[entries[r]]);
    texts = std::move(all);
    nums = {};
    entries = {};
    pool = {};
    entryOf = {};
    kind = Kind::Texts;
}

void LoadedTexts::Column::addText(const QString& t) {
    if (kind == Kind::Numbers) {
        // the numbers so far become texts of the pool
        const std::vector<qint64> before = std::move(nums);
        nums = {};
        kind = Kind::Pooled;
        entries.reserve(before.capacity());
        for (qint64 v : before)
            addText(v == Empty ? QString() : QString::number(v));
        if (kind != Kind::Pooled) {
            texts.push_back(t);
            return;
        }
    }
    if (kind == Kind::Pooled) {
        // The same shared string as a text of the pool is that text; a null
        // and an empty text share their characters but not their meaning.
        const auto at = reinterpret_cast<quintptr>(t.constData());
        Recent& seen = recent[static_cast<quint64>(at >> 4) * 0x9e3779b97f4a7c15ULL >> 54];
        const auto size = static_cast<quint32>(t.size());
        if (seen.data == t.constData() && seen.size == size && !t.isNull()) {
            entries.push_back(static_cast<quint16>(seen.entry));
            return;
        }
        const auto it = entryOf.constFind(t);
        if (it != entryOf.constEnd()) {
            entries.push_back(*it);
            return;
        }
        if (pool.size() < PoolLimit) {
            const auto e = static_cast<quint16>(pool.size());
            pool.push_back(t);
            entryOf.insert(t, e);
            entries.push_back(e);
            if (!t.isNull()) seen = {t.constData(), e, size}; // the pool holds them now
            return;
        }
        toTexts(); // a column of mostly different texts
    }
    texts.push_back(t);
}

void LoadedTexts::add(int i, const QVariant& value, const QString& text) {
    const int type = value.typeId();
    if (!value.isNull() && (type == QMetaType::LongLong || type == QMetaType::Int))
        addNumber(i, value.toLongLong(), text);
    else
        addOther(i, text);
}

void LoadedTexts::addNumber(int i, qint64 value, const QString& text) {
    Column& c = mCols[static_cast<size_t>(i)];
    if (c.kind == Kind::Numbers && value != Empty)
        c.nums.push_back(value);
    else
        c.addText(text);
}

void LoadedTexts::addOther(int i, const QString& text) {
    Column& c = mCols[static_cast<size_t>(i)];
    if (c.kind == Kind::Numbers && text.isEmpty())
        c.nums.push_back(Empty);
    else
        c.addText(text);
}

QString LoadedTexts::text(size_t row, int i) const {
    const Column& c = mCols[static_cast<size_t>(i)];
    if (c.kind != Kind::Numbers) return c.textAt(row);
    const qint64 v = c.nums[row];
    return v == Empty ? QString() : QString::number(v);
}

bool LoadedTexts::is(size_t row, int i, const QString& t) const {
    const Column& c = mCols[static_cast<size_t>(i)];
    if (c.kind != Kind::Numbers) return CellValues::sameText(c.textAt(row), t);
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
