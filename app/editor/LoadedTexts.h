#pragma once
#include <QHash>
#include <QString>
#include <QVariant>
#include <array>
#include <limits>
#include <vector>

// The texts each record of a table was loaded with, column by column, kept
// compactly: a column whose values are all whole numbers (or empty) keeps
// them as numbers; a column of texts keeps each distinct text once while it
// has few of them (years, categories, months), else each text as it came
// (sharing its data with the grid's cell). A record is found by its place
// in load order.
class LoadedTexts {
public:
    // Drops everything and starts with `columns` columns.
    void reset(int columns, size_t expectedRows = 0);
    // The value of column `i` of the next record, with its grid text; the
    // columns of one record are added in order.
    void add(int i, const QVariant& value, const QString& text);
    // The same for a value known to be a whole number, or to be none.
    void addNumber(int i, qint64 value, const QString& text);
    void addOther(int i, const QString& text);
    size_t rows() const { return mCols.empty() ? 0 : mCols.front().size(); }

    QString text(size_t row, int i) const;
    // Whether `t` is the text record `row` was loaded with in column `i`.
    bool is(size_t row, int i, const QString& t) const;
    // The whole number of a number column's value (false when empty or text).
    bool number(size_t row, int i, qint64& v) const {
        const Column& c = mCols[static_cast<size_t>(i)];
        if (c.kind != Kind::Numbers || c.nums[row] == Empty) return false;
        v = c.nums[row];
        return true;
    }

private:
    static constexpr qint64 Empty = std::numeric_limits<qint64>::min();
    enum class Kind { Numbers, Pooled, Texts };
    static constexpr size_t PoolLimit = 65535;
    struct Column {
        Kind kind = Kind::Numbers;
        std::vector<qint64> nums;
        std::vector<quint16> entries; // Pooled: each record's text in `pool`
        std::vector<QString> pool;
        QHash<QString, quint16> entryOf;
        // texts met lately, by where their characters lie
        struct Recent {
            const QChar* data = nullptr;
            quint32 entry = 0;
            quint32 size = 0;
        };
        std::array<Recent, 1024> recent{};
        std::vector<QString> texts;
        size_t size() const {
            return kind == Kind::Numbers ? nums.size()
                                         : (kind == Kind::Pooled ? entries.size() : texts.size());
        }
        const QString& textAt(size_t row) const {
            return kind == Kind::Pooled ? pool[entries[row]] : texts[row];
        }
        void addText(const QString& t);
        void toTexts();
    };
    std::vector<Column> mCols;
    size_t mReserve = 0;
};
