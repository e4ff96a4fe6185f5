#include "RecordValues.h"

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

size_t RecordValues::Column::pushSlot() {
    if (kind == Kind::Variant) {
        vars.emplace_back();
        return vars.size() - 1;
    }
    tags.push_back(Plain);
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
        store(c, c.pushSlot(), QVariant());
    ++mRows;
}

std::uint8_t RecordValues::Column::nullTag(QMetaType type) {
    for (size_t k = 0; k < nullTypes.size(); ++k)
        if (nullTypes[k] == type) return static_cast<std::uint8_t>(k + 1);
    if (nullTypes.size() >= MaxNullTypes) return Plain;
    nullTypes.push_back(type);
    return static_cast<std::uint8_t>(nullTypes.size());
}

bool RecordValues::Column::addToPool(const QString& text, quint32* code) {
    if (distinct.size() >= PoolTrial && distinct.size() * 2 > tags.size()) {
        unpool();
        return false;
    }
    *code = static_cast<quint32>(distinct.size());
    distinct.push_back(text);
    pool.insert(text, *code);
    return true;
}

bool RecordValues::Column::appendText(QVariant& value) {
    if (pooled) {
        const QString& text = *static_cast<const QString*>(value.constData());
        if (text.isNull()) return false;
        quint32 code = 0;
        const auto it = pool.constFind(text);
        if (it != pool.constEnd()) {
            code = *it;
        } else if (!addToPool(text, &code)) {
            texts.push_back(std::move(*static_cast<QString*>(value.data())));
            tags.push_back(Plain);
            return true;
        }
        codes.push_back(code);
        tags.push_back(Plain);
        return true;
    }
    texts.push_back(std::move(*static_cast<QString*>(value.data())));
    tags.push_back(Plain);
    return true;
}

bool RecordValues::Column::storeText(size_t row, const QString& text) {
    if (pooled) {
        if (text.isNull()) return false;
        quint32 code = 0;
        const auto it = pool.constFind(text);
        if (it != pool.constEnd()) {
            code = *it;
        } else if (!addToPool(text, &code)) {
            texts[row] = text;
            return true;
        }
        codes[row] = code;
        return true;
    }
    texts[row] = text;
    return true;
}

void RecordValues::Column::unpool() {
    texts.resize(tags.size());
    for (size_t i = 0; i < tags.size(); ++i)
        if (tags[i] == Plain) texts[i] = distinct[codes[i]];
    pooled = false;
    std::vector<quint32>().swap(codes);
    std::vector<QString>().swap(distinct);
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
            c.ints.assign(c.tags.size(), 0);
        }
        c.ints[row] = *static_cast<const qint64*>(value.constData());
        tag = Plain;
    } else if (type == QMetaType::QString && (c.kind == Kind::Text || c.kind == Kind::Empty)) {
        if (c.kind == Kind::Empty) {
            c.kind = Kind::Text;
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
            return QVariant(c.pooled ? c.distinct[c.codes[row]] : c.texts[row]);
        return QVariant();
    }
    if (tag == Odd) return c.odd.value(static_cast<int>(row));
    return QVariant(c.nullTypes[tag - 1u]);
}

QVariant RecordValues::value(int row, int col) const {
    return valueOf(mColumns[static_cast<size_t>(col)], static_cast<size_t>(row));
}

void RecordValues::set(int row, int col, const QVariant& value) {
    store(mColumns[static_cast<size_t>(col)], static_cast<size_t>(row), value);
}

void RecordValues::toVariants(Column& c) {
    std::vector<QVariant> vars;
    vars.reserve(c.tags.size());
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
