#pragma once
#include <QString>
#include <array>
#include <new>
#include <vector>

namespace fendra {

// The texts of one grid column. Each distinct text is kept once in a pool and
// each cell holds its index there: one byte while the pool has up to 255
// texts, two up to 65,535, four beyond. Entry 0 is the null text, which new
// cells start with, so growing a column allocates nothing per row.
//
// Equal texts share one entry while the column shares: the pool keeps a hash
// of its texts. A column whose texts have nearly all been new so far (keys,
// amounts, free notes) gives the hash up early and keeps each text as it
// came; its cells still share the caller's string data. Such a column still
// samples the texts it is given, and when those start to repeat (a handful
// of texts coming late) it hashes its pool again and shares.
//
// An entry stays in place while a cell uses it: a reference to a cell's text
// holds until that cell changes or rows are removed.
class TextColumn {
public:
    TextColumn() = default;
    TextColumn(const TextColumn& o) = default;
    TextColumn& operator=(const TextColumn& o);
    TextColumn(TextColumn&&) noexcept = default;
    TextColumn& operator=(TextColumn&&) noexcept = default;
    ~TextColumn() = default;

    size_t size() const { return mSize; }
    const QString& at(size_t r) const { return text(entry(r)); }
    void set(size_t r, const QString& s);
    // Stores `s` and hands back the text it replaces.
    QString exchange(size_t r, const QString& s);

    // Empties the columns, giving their texts back entry by entry across
    // them: in the order a fill row by row brought them, the order the
    // allocator takes them back fastest.
    static void clearTogether(std::vector<TextColumn>& columns);

    // New cells are null; cells that go give their texts back.
    void resize(size_t n) {
        if (n >= mSize && n <= mRoom)
            mSize = n; // the cells are there, null
        else
            resizeCells(n);
    }
    // Room for `n` cells, so that growing to them moves nothing.
    void reserve(size_t n);
    void insert(size_t pos, size_t n);
    void erase(size_t pos, size_t n);
    // Cells [from, from + order.size()) take the entries of cells order[i]
    // (a permutation of that range).
    void reorder(size_t from, const std::vector<int>& order);

    // The pool, for sorting: a cell's entry, an entry's text, the number of
    // entries (free ones included) and whether an entry is used by a cell.
    quint32 entry(size_t r) const {
        switch (mWidth) {
        case 1:
            return m8[r];
        case 2:
            return m16[r];
        default:
            return m32[r];
        }
    }
    const QString& text(quint32 e) const;
    quint32 entries() const { return static_cast<quint32>(mRefs.size()); }
    bool inUse(quint32 e) const { return e == 0 || mRefs[e] != 0; }
    // Entries in use, the null one included.
    size_t distinct() const { return mRefs.size() - mFree.size(); }
    bool shares() const { return mShared; }
    // A number for what the cells hold: asked again after any change of
    // them but one that only adds null cells at the end, it is a number no
    // column had before. A column with the version it had earlier holds the
    // cells it held then (and maybe null ones after them).
    quint64 version() const;
    // Bytes the column holds of its own (cells, pool, hash; not the texts' data).
    size_t bytes() const;

private:
    // A text met lately, by where its characters lie: a text given again as
    // the same shared string (a record set's pooled text, a number's cached
    // text) is found without hashing it. A place empties when its entry goes.
    struct Recent {
        const QChar* data = nullptr;
        quint32 entry = 0;
        quint32 size = 0;
    };
    void changed() { mStamped = false; }
    quint32 intern(const QString& s);
    // The two places where characters at `data` may be remembered, the
    // latest first.
    Recent* recentFor(const QChar* data);
    void remember(const Recent& r);
    void growRecent(int bits);
    quint32 internNew(const QString& s);
    quint32 addEntry(const QString& s);
    void resizeCells(size_t n);
    bool repeatsSeen(const QString& s);
    void stopSharing();
    void startSharing();
    void release(quint32 e);
    void store(size_t r, quint32 e);
    void widenFor(quint32 e);
    quint32 findSlot(const QString& s, quint32 h, size_t& slot) const;
    void addSlot(quint32 e, quint32 h);
    void dropSlot(quint32 e);
    void growSlots();
    void rebuildKeeping(size_t from, size_t n);

    template <typename F> decltype(auto) withCells(F&& f) {
        switch (mWidth) {
        case 1:
            return f(m8);
        case 2:
            return f(m16);
        default:
            return f(m32);
        }
    }

    mutable quint64 mVersion = 0;
    mutable bool mStamped = false; // mVersion names the cells as they are
    size_t mSize = 0;
    size_t mRoom = 0; // cells held; those from mSize on are null, for rows to come
    int mWidth = 1;
    std::vector<quint8> m8;
    std::vector<quint16> m16;
    std::vector<quint32> m32;

    // The pool's texts in chunks that never move: 16, 16, 32, ... 2048 texts,
    // then 4096 each. A chunk is bare storage: a text is made when its entry
    // is added, and all of them go with the pool (entry 0 is never made).
    class Pool {
    public:
        Pool() = default;
        Pool(const Pool& o);
        Pool& operator=(const Pool& o) = delete;
        Pool(Pool&& o) noexcept;
        Pool& operator=(Pool&& o) noexcept;
        ~Pool() { clear(); }

        QString& operator[](quint32 e);
        const QString& operator[](quint32 e) const;
        // Entry made() is made, a copy of `s`.
        void add(const QString& s) {
            if (mLeft == 0) addChunk();
            new (mNext++) QString(s);
            --mLeft;
            ++mMade;
        }
        quint32 made() const { return mMade; }
        size_t bytes() const;
        void clear();
        // The texts of chunk `k`; once every made text has ended, the storage
        // goes with forget().
        QString* chunk(size_t k) { return mChunks[k]; }
        void forget();

    private:
        void addChunk();

        std::vector<QString*> mChunks;
        quint32 mMade = 1;
        QString* mNext = nullptr; // where entry mMade goes, with room for mLeft
        quint32 mLeft = 0;
    };
    Pool mPool;
    // Places by where the characters lie; more of them while the misses
    // are texts an entry holds at that very place (more shared texts than
    // places). Made at the first text.
    std::vector<Recent> mRecent;
    int mRecentBits = 0;
    bool mLookRecent = true;
    quint32 mRecentHits = 0, mRecentMisses = 0, mRecentCrowded = 0;
    std::vector<quint32> mRefs{0}; // cells using each entry (entry 0 is not counted)
    std::vector<quint32> mFree;    // entries no cell uses, to be taken again

    // Sharing: open addressing over entries, at most half full; a slot holds
    // an entry's hash (high half) and the entry (low half; 0 is an empty slot).
    // The lookups and hits count from the time the hash was built; it must
    // have seen mTrial lookups before it may be given up.
    bool mShared = true;
    std::vector<quint64> mSlots;
    quint64 mLookups = 0, mHits = 0;
    quint64 mTrial = 1024;

    // Without sharing: the high halves of the latest sampled hashes, one a
    // place, the texts given since sharing stopped, and how many of the
    // current round of samples were met there before.
    std::vector<quint16> mSamples;
    quint32 mUnshared = 0, mSampled = 0, mSampleHits = 0;
};

} // namespace fendra
