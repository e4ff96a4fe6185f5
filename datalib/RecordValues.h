#pragma once
// The values of a record set, kept column by column: each column holds its
// values by kind (whole numbers, texts, or variants for anything else) and
// hands every one back exactly as it was given: the same type, the same
// nullness, the same value. Private to the library.
#include <QHash>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <vector>

// Texts kept once each and named by number in the order they came.
class TextPool {
public:
    int size() const { return static_cast<int>(mTexts.size()); }
    const QString& text(quint32 code) const { return mTexts[code]; }
    // The number of `text`, or -1 when it is not kept yet; `hash` is set
    // for add either way.
    qint64 find(const QString& text, quint32* hash) const;
    quint32 add(const QString& text, quint32 hash);

private:
    void grow();
    std::vector<QString> mTexts;
    // open addressing: a slot holds a text's hash above its number + 1; 0 is free
    std::vector<quint64> mSlots;
};

class RecordValues {
public:
    // No rows, `cols` columns that hold nothing yet.
    void reset(int cols);
    void clear() { reset(colCount()); }
    // Room for `rows` rows in every column, whatever kind each turns out to be.
    void reserve(size_t rows);
    int rowCount() const { return mRows; }
    int colCount() const { return static_cast<int>(mColumns.size()); }

    // A row is added by giving each column its value in turn, then ending it.
    void append(int col, QVariant&& value) {
        Column& c = mColumns[static_cast<size_t>(col)];
        if (c.kind == Kind::Variant) {
            c.vars.push_back(std::move(value));
            return;
        }
        // the kinds a driver hands over row after row go straight in
        const QVariant::Private& d = value.data_ptr();
        const QMetaType type = d.type();
        if (d.is_null) {
            if (!c.nullTypes.empty() && c.nullTypes.front() == type) {
                c.pushSlot(1);
                return;
            }
        } else if (c.kind == Kind::Integer && type.id() == QMetaType::LongLong) {
            c.ints.push_back(*static_cast<const qint64*>(value.constData()));
            c.tags.push_back(Plain);
            return;
        } else if (c.kind == Kind::Text && type.id() == QMetaType::QString && c.appendText(value)) {
            return;
        }
        store(c, c.pushSlot(Plain), value);
    }
    void endRow() { ++mRows; }
    // A row of NULLs, each an invalid variant, as a new row starts.
    void appendEmptyRow();

    QVariant value(int row, int col) const;
    // A value without its variant where it is a plain whole number (1, in
    // `number`) or text (2, in `text`); 0 for a NULL, 3 for anything else.
    int peek(int row, int col, qint64& number, const QString*& text) const;
    // What peek gives for `n` rows from `from` on, row after row:
    // f(offset, kind, number, text, other), with another value in `other`.
    template <typename F> void peekRows(int from, int n, int col, F&& f) const {
        const Column& c = mColumns[static_cast<size_t>(col)];
        const auto first = static_cast<size_t>(from);
        const auto odd = [&](int i, size_t r) {
            const QVariant v = valueOf(c, r);
            f(i, 3, 0, nullptr, &v);
        };
        switch (c.kind) {
        case Kind::Variant:
            for (int i = 0; i < n; ++i)
                f(i, 3, 0, nullptr, &c.vars[first + static_cast<size_t>(i)]);
            return;
        case Kind::Integer:
            for (int i = 0; i < n; ++i) {
                const size_t r = first + static_cast<size_t>(i);
                const std::uint8_t tag = c.tags[r];
                if (tag == Plain)
                    f(i, 1, c.ints[r], nullptr, nullptr);
                else if (tag == Odd)
                    odd(i, r);
                else
                    f(i, 0, 0, nullptr, nullptr);
            }
            return;
        case Kind::Text:
            for (int i = 0; i < n; ++i) {
                const size_t r = first + static_cast<size_t>(i);
                const std::uint8_t tag = c.tags[r];
                if (tag == Plain)
                    f(i, 2, 0, c.pooled ? &c.pool.text(c.codes[r]) : &c.texts[r], nullptr);
                else if (tag == Odd)
                    odd(i, r);
                else
                    f(i, 0, 0, nullptr, nullptr);
            }
            return;
        case Kind::Empty:
            for (int i = 0; i < n; ++i) {
                const size_t r = first + static_cast<size_t>(i);
                if (c.tags[r] == Odd)
                    odd(i, r);
                else
                    f(i, 0, 0, nullptr, nullptr);
            }
            return;
        }
    }
    void set(int row, int col, const QVariant& value);
    // Keeps the rows whose flag is set, in their order.
    void keepRows(const std::vector<char>& keep);

private:
    enum class Kind : std::uint8_t {
        Empty,   // nothing but NULLs and odd values yet
        Integer, // 64-bit integers
        Text,    // texts
        Variant, // anything: every value as the variant it came as
    };
    // What a row's tag says of its value outside a variant column.
    static constexpr std::uint8_t Plain = 0;     // in the kind's own vector
    static constexpr std::uint8_t Odd = 0xff;    // in `odd`, by row
    static constexpr int MaxNullTypes = Odd - 1; // tags 1.. name a NULL's type

    struct Column {
        Kind kind = Kind::Empty;
        std::vector<std::uint8_t> tags;
        std::vector<QMetaType> nullTypes; // tag k is a NULL of type nullTypes[k - 1]
        QHash<int, QVariant> odd;         // the few values that fit neither the kind nor a NULL
        std::vector<qint64> ints;
        // Texts of a column of few distinct ones are kept once each and named
        // by number; a column of mostly new texts keeps them row by row.
        bool pooled = true;
        std::vector<quint32> codes;
        TextPool pool;
        std::vector<QString> texts;
        std::vector<QVariant> vars;

        // Both false where the text must be kept as an odd value (a null
        // string, which a pool would take for an empty one).
        bool appendText(QVariant& value);
        bool storeText(size_t row, const QString& text);
        // The number of a text in the pool, added where it is new; false once
        // the column's texts are mostly new (the pool is then given up).
        bool codeOf(const QString& text, quint32* code);
        void unpool();
        // The tag of a NULL of `type`, or Plain when it cannot be made again
        // from its type or there are too many kinds.
        std::uint8_t nullTag(QMetaType type);
        // A slot for one more row, with its tag.
        size_t pushSlot(std::uint8_t tag);
    };

    void store(Column& c, size_t row, const QVariant& value);
    void toVariants(Column& c);
    QVariant valueOf(const Column& c, size_t row) const;

    std::vector<Column> mColumns;
    int mRows = 0;
};
