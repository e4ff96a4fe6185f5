#include "RecordValues.h"

#include <algorithm>
#include <cstring>

namespace {
// A pool is given up once it holds this many texts and they are more than
// half of the column's rows: past that, sharing saves little.
constexpr size_t PoolTrial = 4096;
// Odd values are kept by row while they are few; a column with more than
// one in this many rows (and more than OddFew) keeps variants instead.
constexpr int OddShare = 16;
constexpr int OddFew = 64;

// A NULL whose variant can be made again from its type alone.
bool plainNull(const QVariant& v) {
    return v.isNull() && !(v.metaType().flags() & QMetaType::IsPointer);
}
} // namespace

void RecordValues::reset(int cols) {
    mColumns.clear();
    mColumns.resize(static_cast<size_t>(cols));
    mRows = 0;
}

void RecordValues::reserve(size_t rows) {
    // the kind's own vector takes the room the tags have when it is chosen
    for (Column& c : mColumns) {
        if (c.kind == Kind::Variant) {
            c.vars.reserve(rows);
            continue;
        }
        c.tags.reserve(rows);
        if (c.kind == Kind::Integer) c.ints.reserve(rows);
        if (c.kind == Kind::Text) {
            if (c.pooled)
                c.codes.reserve(rows);
            else
                c.texts.reserve(rows);
        }
    }
}

size_t RecordValues::Column::pushSlot(std::uint8_t tag) {
    if (kind == Kind::Variant) {
        vars.emplace_back();
        return vars.size() - 1;
    }
    tags.push_back(tag);
    if (kind == Kind::Integer) {
        ints.push_back(0);
    } else if (kind == Kind::Text) {
        if (pooled)
            codes.push_back(0);
        else
            texts.emplace_back();
    }
    return tags.size() - 1;
}

void RecordValues::appendEmptyRow() {
    for (Column& c : mColumns)
        store(c, c.pushSlot(Plain), QVariant());
    ++mRows;
}

std::uint8_t RecordValues::Column::nullTag(QMetaType type) {
    for (size_t k = 0; k < nullTypes.size(); ++k)
        if (nullTypes[k] == type) return static_cast<std::uint8_t>(k + 1);
    if (nullTypes.size() >= MaxNullTypes) return Plain;
    // a type that makes no NULL of its own from nothing is kept as it came
    const QVariant again(type);
    if (again.metaType() != type || !again.isNull()) return Plain;
    nullTypes.push_back(type);
    return static_cast<std::uint8_t>(nullTypes.size());
}

namespace {
quint32 textHash(const QString& text) {
    const char* p = reinterpret_cast<const char*>(text.constData());
    size_t bytes = static_cast<size_t>(text.size()) * sizeof(QChar);
    quint64 h = bytes * 0x9e3779b97f4a7c15ULL;
    auto mix = [&h](quint64 w) {
        h = (h ^ w) * 0xff51afd7ed558ccdULL;
        h ^= h >> 29;
    };
    for (; bytes >= 8; bytes -= 8, p += 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        mix(w);
    }
    if (bytes) {
        quint64 w = 0;
        std::memcpy(&w, p, bytes);
        mix(w);
    }
    return static_cast<quint32>(h ^ (h >> 32));
}
} // namespace

qint64 TextPool::find(const QString& text, quint32* hash) const {
    *hash = textHash(text);
    if (mSlots.empty()) return -1;
    const size_t mask = mSlots.size() - 1;
    for (size_t i = *hash & mask;; i = (i + 1) & mask) {
        const quint64 slot = mSlots[i];
        if (slot == 0) return -1;
        if (static_cast<quint32>(slot >> 32) != *hash) continue;
        const quint32 code = static_cast<quint32>(slot) - 1;
        const QString& kept = mTexts[code];
        if (kept.size() == text.size() &&
            std::memcmp(kept.constData(), text.constData(),
                        static_cast<size_t>(text.size()) * sizeof(QChar)) == 0)
            return code;
    }
}

quint32 TextPool::add(const QString& text, quint32 hash) {
    if ((mTexts.size() + 1) * 2 > mSlots.size()) grow();
    const auto code = static_cast<quint32>(mTexts.size());
    mTexts.push_back(text);
    const size_t mask = mSlots.size() - 1;
    size_t i = hash & mask;
    while (mSlots[i] != 0)
        i = (i + 1) & mask;
    mSlots[i] = (quint64(hash) << 32) | (code + 1);
    return code;
}

void TextPool::grow() {
    std::vector<quint64> table(std::max<size_t>(16, mSlots.size() * 2), 0);
    const size_t mask = table.size() - 1;
    for (const quint64 slot : mSlots) {
        if (slot == 0) continue;
        size_t i = (slot >> 32) & mask;
        while (table[i] != 0)
            i = (i + 1) & mask;
        table[i] = slot;
    }
    mSlots.swap(table);
}

bool RecordValues::Column::codeOf(const QString& text, quint32* code) {
    quint32 hash = 0;
    const qint64 found = pool.find(text, &hash);
    if (found >= 0) {
        *code = static_cast<quint32>(found);
        return true;
    }
    if (static_cast<size_t>(pool.size()) >= PoolTrial &&
        static_cast<size_t>(pool.size()) * 2 > tags.size()) {
        unpool();
        return false;
    }
    *code = pool.add(text, hash);
    return true;
}

bool RecordValues::Column::appendText(QVariant& value) {
    if (pooled) {
        quint32 code = 0;
        const QString& text = *static_cast<const QString*>(value.constData());
        if (text.isNull()) return false;
        if (codeOf(text, &code)) {
            codes.push_back(code);
            tags.push_back(Plain);
            return true;
        }
    }
    texts.push_back(std::move(*static_cast<QString*>(value.data())));
    tags.push_back(Plain);
    return true;
}

bool RecordValues::Column::storeText(size_t row, const QString& text) {
    if (pooled) {
        quint32 code = 0;
        if (text.isNull()) return false;
        if (codeOf(text, &code)) {
            codes[row] = code;
            return true;
        }
    }
    texts[row] = text;
    return true;
}

void RecordValues::Column::unpool() {
    texts.reserve(tags.capacity());
    texts.resize(tags.size());
    for (size_t i = 0; i < tags.size(); ++i)
        if (tags[i] == Plain) texts[i] = pool.text(codes[i]);
    pooled = false;
    std::vector<quint32>().swap(codes);
    pool = {};
}

void RecordValues::store(Column& c, size_t row, const QVariant& value) {
    if (c.kind == Kind::Variant) {
        c.vars[row] = value;
        return;
    }
    const bool wasOdd = c.tags[row] == Odd;
    std::uint8_t tag = Odd;
    const int type = value.typeId();
    if (plainNull(value)) {
        tag = c.nullTag(value.metaType());
        if (tag == Plain) tag = Odd;
    } else if (type == QMetaType::LongLong && (c.kind == Kind::Integer || c.kind == Kind::Empty)) {
        if (c.kind == Kind::Empty) {
            c.kind = Kind::Integer;
            c.ints.reserve(c.tags.capacity());
            c.ints.assign(c.tags.size(), 0);
        }
        c.ints[row] = *static_cast<const qint64*>(value.constData());
        tag = Plain;
    } else if (type == QMetaType::QString && (c.kind == Kind::Text || c.kind == Kind::Empty)) {
        if (c.kind == Kind::Empty) {
            c.kind = Kind::Text;
            c.codes.reserve(c.tags.capacity());
            c.codes.assign(c.tags.size(), 0);
        }
        if (c.storeText(row, *static_cast<const QString*>(value.constData()))) tag = Plain;
    } else if (c.kind == Kind::Empty) {
        // a column whose first value is of no kind of its own keeps variants
        toVariants(c);
        c.vars[row] = value;
        return;
    }
    if (wasOdd && tag != Odd) c.odd.remove(static_cast<int>(row));
    c.tags[row] = tag;
    if (tag != Odd) return;
    c.odd.insert(static_cast<int>(row), value);
    if (c.odd.size() > OddFew && c.odd.size() * OddShare > static_cast<qsizetype>(c.tags.size()))
        toVariants(c);
}

QVariant RecordValues::valueOf(const Column& c, size_t row) const {
    if (c.kind == Kind::Variant) return c.vars[row];
    const std::uint8_t tag = c.tags[row];
    if (tag == Plain) {
        if (c.kind == Kind::Integer) return QVariant(static_cast<qlonglong>(c.ints[row]));
        if (c.kind == Kind::Text)
            return QVariant(c.pooled ? c.pool.text(c.codes[row]) : c.texts[row]);
        return QVariant();
    }
    if (tag == Odd) return c.odd.value(static_cast<int>(row));
    return QVariant(c.nullTypes[tag - 1u]);
}

int RecordValues::peek(int row, int col, qint64& number, const QString*& text) const {
    const Column& c = mColumns[static_cast<size_t>(col)];
    if (c.kind == Kind::Variant) return 3;
    const auto r = static_cast<size_t>(row);
    const std::uint8_t tag = c.tags[r];
    if (tag == Plain) {
        if (c.kind == Kind::Integer) {
            number = c.ints[r];
            return 1;
        }
        if (c.kind == Kind::Text) {
            text = c.pooled ? &c.pool.text(c.codes[r]) : &c.texts[r];
            return 2;
        }
        return 0; // an empty column's plain value is the invalid variant
    }
    return tag == Odd ? 3 : 0;
}

QVariant RecordValues::value(int row, int col) const {
    return valueOf(mColumns[static_cast<size_t>(col)], static_cast<size_t>(row));
}

void RecordValues::set(int row, int col, const QVariant& value) {
    store(mColumns[static_cast<size_t>(col)], static_cast<size_t>(row), value);
}

void RecordValues::toVariants(Column& c) {
    std::vector<QVariant> vars;
    vars.reserve(c.tags.capacity());
    for (size_t i = 0; i < c.tags.size(); ++i)
        vars.push_back(valueOf(c, i));
    c = Column{};
    c.kind = Kind::Variant;
    c.vars = std::move(vars);
}

void RecordValues::keepRows(const std::vector<char>& keep) {
    const size_t n = static_cast<size_t>(mRows);
    size_t kept = 0;
    for (Column& c : mColumns) {
        size_t j = 0;
        if (c.kind == Kind::Variant) {
            for (size_t i = 0; i < n; ++i)
                if (keep[i]) c.vars[j++] = std::move(c.vars[i]);
            c.vars.resize(j);
            kept = j;
            continue;
        }
        QHash<int, QVariant> odd;
        for (size_t i = 0; i < n; ++i) {
            if (!keep[i]) continue;
            c.tags[j] = c.tags[i];
            if (c.tags[i] == Odd) odd.insert(static_cast<int>(j), c.odd.value(static_cast<int>(i)));
            if (c.kind == Kind::Integer) {
                c.ints[j] = c.ints[i];
            } else if (c.kind == Kind::Text) {
                if (c.pooled)
                    c.codes[j] = c.codes[i];
                else
                    c.texts[j] = std::move(c.texts[i]);
            }
            ++j;
        }
        c.tags.resize(j);
        if (c.kind == Kind::Integer) c.ints.resize(j);
        if (c.kind == Kind::Text && c.pooled) c.codes.resize(j);
        if (c.kind == Kind::Text && !c.pooled) c.texts.resize(j);
        c.odd = std::move(odd);
        kept = j;
    }
    if (mColumns.empty())
        for (size_t i = 0; i < n; ++i)
            kept += keep[i] ? 1 : 0;
    mRows = static_cast<int>(kept);
}
