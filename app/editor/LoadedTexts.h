#pragma once
#include <QString>
#include <QVariant>
#include <limits>
#include <vector>

// The texts each record of a table was loaded with, column by column, kept
// compactly: a column whose values are all whole numbers (or empty) keeps
// them as numbers, any other column its texts (sharing their data with the
// grid's cells). A record is found by its place in load order.
class LoadedTexts {
public:
    // Drops everything and starts with `columns` columns.
    void reset(int columns, size_t expectedRows = 0);
    // The value of column `i` of the next record, with its grid text; the
    // columns of one record are added in order.
    void add(int i, const QVariant& value, const QString& text);
    size_t rows() const { return mCols.empty() ? 0 : mCols.front().size(); }

    QString text(size_t row, int i) const;
    // Whether `t` is the text record `row` was loaded with in column `i`.
    bool is(size_t row, int i, const QString& t) const;
    // The whole number of a number column's value (false when empty or text).
    bool number(size_t row, int i, qint64& v) const;

private:
    static constexpr qint64 Empty = std::numeric_limits<qint64>::min();
    struct Column {
        bool numbers = true;
        std::vector<qint64> nums;
        std::vector<QString> texts;
        size_t size() const { return numbers ? nums.size() : texts.size(); }
        void toTexts();
    };
    std::vector<Column> mCols;
    size_t mReserve = 0;
};
