#include "GridTextColumn.h"

#include <QHash>
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

namespace fendra {

namespace {
const QString nullText;

// Where entry `e` lives: its chunk and its place in it.
struct Place {
    size_t chunk, offset;
};
Place placeOf(quint32 e) {
    if (e < 16) return {0, e};
    if (e < 4096) {
        const int b = std::bit_width(e) - 1; // 4 .. 11
        return {static_cast<size_t>(b - 3), e - (1u << b)};
    }
    return {static_cast<size_t>((e >> 12) + 8), e & 4095u};
}
size_t chunkLength(size_t k) {
    return k == 0 ? 16 : k <= 8 ? size_t{1} << (k + 3) : 4096;
}

// The characters eight bytes at a time, mixed as they come: several times
// faster than qHash on short texts, and as good for a pool of texts.
quint32 hashOf(const QString& s) {
    const size_t h = qHash(s, 0);
    return static_cast<quint32>(h ^ (static_cast<quint64>(h) >> 32));
}

// A column gives its hash up when, after at least its trial of lookups
// (1,024 at first), fewer than one in MissedShare of them found a text:
// its texts are mostly new.
constexpr quint64 MissedShare = 8;
// Without the hash, every 32nd text is sampled (whatever its hash, so that
// a handful of texts cannot all escape the samples); a round of SampleRound
// samples decides: when a quarter of them or more were met among the latest
// ones, the texts repeat and the column shares again.
// A column looks its texts up by where their characters lie while each
// round of this many misses brings as many hits. It starts with 1,024
// places in pairs (a text lies in either place of its pair) and takes twice
// as many, up to 16,384, when half the misses of a round were texts that
// more places would have found.
constexpr quint32 RecentTrial = 4096;
constexpr int FirstRecentBits = 10, MostRecentBits = 14;
constexpr quint32 LookEvery = 32, SampleRound = 128, SamplePlaces = 8192;

bool sameText(const QString& a, const QString& b) {
    return a.isNull() == b.isNull() && a == b;
}
} // namespace

TextColumn::Pool::Pool(const Pool& o) {
    for (quint32 e = 1; e < o.mMade; ++e)
        add(o[e]);
}

TextColumn::Pool::Pool(Pool&& o) noexcept
    : mChunks(std::move(o.mChunks)), mMade(std::exchange(o.mMade, 1)),
      mNext(std::exchange(o.mNext, nullptr)), mLeft(std::exchange(o.mLeft, 0)) {
    o.mChunks.clear();
}

TextColumn::Pool& TextColumn::Pool::operator=(Pool&& o) noexcept {
    if (this != &o) {
        clear();
        mChunks.swap(o.mChunks);
        std::swap(mMade, o.mMade);
        std::swap(mNext, o.mNext);
        std::swap(mLeft, o.mLeft);
    }
    return *this;
}

QString& TextColumn::Pool::operator[](quint32 e) {
    const Place p = placeOf(e);
    return mChunks[p.chunk][p.offset];
}

const QString& TextColumn::Pool::operator[](quint32 e) const {
    const Place p = placeOf(e);
    return mChunks[p.chunk][p.offset];
}

void TextColumn::Pool::addChunk() {
    const size_t len = chunkLength(mChunks.size());
    if (mChunks.size() == mChunks.capacity()) mChunks.reserve(mChunks.size() * 2 + 16);
    mChunks.push_back(std::allocator<QString>().allocate(len)); // (cannot fail once allocated)
    const Place p = placeOf(mMade); // (entry 0 is the first chunk's first place)
    mNext = mChunks.back() + p.offset;
    mLeft = static_cast<quint32>(len - p.offset);
}

size_t TextColumn::Pool::bytes() const {
    size_t n = mChunks.capacity() * sizeof(QString*);
    for (size_t k = 0; k < mChunks.size(); ++k)
        n += chunkLength(k) * sizeof(QString);
    return n;
}

void TextColumn::Pool::clear() {
    for (quint32 e = 1; e < mMade; ++e)
        (*this)[e].~QString();
    forget();
}

void TextColumn::Pool::forget() {
    for (size_t k = 0; k < mChunks.size(); ++k)
        std::allocator<QString>().deallocate(mChunks[k], chunkLength(k));
    mChunks.clear();
    mMade = 1;
    mNext = nullptr;
    mLeft = 0;
}

TextColumn& TextColumn::operator=(const TextColumn& o) {
    if (this != &o) {
        TextColumn copy(o);
        *this = std::move(copy);
    }
    return *this;
}

const QString& TextColumn::text(quint32 e) const {
    return e == 0 ? nullText : mPool[e];
}

size_t TextColumn::bytes() const {
    size_t n = m8.capacity() + m16.capacity() * 2 + m32.capacity() * 4 + mPool.bytes();
    n += (mRefs.capacity() + mFree.capacity()) * sizeof(quint32) +
         mSlots.capacity() * sizeof(quint64) + mSamples.capacity() * sizeof(quint16);
    return n;
}

quint32 TextColumn::findSlot(const QString& s, quint32 h, size_t& slot) const {
    const size_t mask = mSlots.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        const quint64 v = mSlots[i];
        const quint32 e = static_cast<quint32>(v);
        if (e == 0) {
            slot = i;
            return 0;
        }
        if (static_cast<quint32>(v >> 32) == h && sameText(text(e), s)) {
            slot = i;
            return e;
        }
    }
}

void TextColumn::growSlots() {
    if (mLookups >= mTrial && mHits * MissedShare < mLookups) {
        stopSharing();
        return;
    }
    const size_t len = std::max<size_t>(16, mSlots.size() * 2);
    std::vector<quint64> old(len, 0);
    old.swap(mSlots);
    const size_t mask = len - 1;
    for (const quint64 v : old) {
        if (v == 0) continue;
        size_t i = (v >> 32) & mask;
        while (mSlots[i] != 0)
            i = (i + 1) & mask;
        mSlots[i] = v;
    }
}

// Mostly new texts: keep them as they come, without the hash, and sample
// them for repeats.
void TextColumn::stopSharing() {
    mShared = false;
    std::vector<quint64>().swap(mSlots);
    mSamples.assign(SamplePlaces, 0);
    mSampled = mSampleHits = 0;
}

// The texts repeat again: the hash is built over the whole pool (entries of
// equal texts kept meanwhile stay apart; new ones find the first), with a
// longer trial, so that a column that keeps changing its mind rebuilds
// seldom.
void TextColumn::startSharing() {
    std::vector<quint16>().swap(mSamples);
    mShared = true;
    mLookups = mHits = 0;
    mTrial *= 2;
    size_t len = 16;
    while (len < (distinct() + 1) * 2)
        len *= 2;
    mSlots.assign(len, 0);
    const size_t mask = len - 1;
    for (quint32 e = 1; e < entries(); ++e) {
        if (mRefs[e] == 0) continue;
        const quint32 h = hashOf(text(e));
        size_t i = h & mask;
        while (mSlots[i] != 0)
            i = (i + 1) & mask;
        mSlots[i] = static_cast<quint64>(h) << 32 | e;
    }
}

// A text for a column without the hash; true when it ended a round of
// samples that showed the texts repeating. A place keeps the high half of
// the latest sampled hash that fell there.
bool TextColumn::repeatsSeen(const QString& s) {
    if (++mUnshared % LookEvery != 0) return false;
    const quint32 h = hashOf(s);
    const quint16 tag = static_cast<quint16>(h >> 16) | 1; // 0 is an empty place
    quint16& place = mSamples[h % SamplePlaces];
    if (place == tag)
        ++mSampleHits;
    else
        place = tag;
    if (++mSampled < SampleRound) return false;
    const bool repeats = mSampleHits * 4 >= mSampled;
    mSampled = mSampleHits = 0;
    return repeats;
}

void TextColumn::dropSlot(quint32 e) {
    const size_t mask = mSlots.size() - 1;
    size_t i = hashOf(text(e)) & mask;
    while (static_cast<quint32>(mSlots[i]) != e)
        i = (i + 1) & mask;
    // shift the entries after it back over the gap (linear probing)
    for (size_t j = (i + 1) & mask; mSlots[j] != 0; j = (j + 1) & mask) {
        const size_t home = (mSlots[j] >> 32) & mask;
        const bool between = i <= j ? (i < home && home <= j) : (i < home || home <= j);
        if (between) continue;
        mSlots[i] = mSlots[j];
        i = j;
    }
    mSlots[i] = 0;
}

void TextColumn::widenFor(quint32 e) {
    if (mWidth == 1 && e > 0xFF) {
        m16.reserve(m8.capacity());
        m16.assign(m8.begin(), m8.end());
        std::vector<quint8>().swap(m8);
        mWidth = 2;
    }
    if (mWidth == 2 && e > 0xFFFF) {
        m32.reserve(m16.capacity());
        m32.assign(m16.begin(), m16.end());
        std::vector<quint16>().swap(m16);
        mWidth = 4;
    }
}

TextColumn::Recent* TextColumn::recentFor(const QChar* data) {
    const auto at = reinterpret_cast<quintptr>(data);
    const size_t place =
        static_cast<quint64>(at >> 4) * 0x9e3779b97f4a7c15ULL >> (64 - mRecentBits);
    return &mRecent[place & ~size_t{1}];
}

void TextColumn::remember(const Recent& r) {
    Recent* pair = recentFor(r.data);
    pair[1] = pair[0];
    pair[0] = r;
}

void TextColumn::growRecent(int bits) {
    std::vector<Recent> old = std::exchange(mRecent, std::vector<Recent>(size_t{1} << bits));
    mRecentBits = bits;
    for (size_t i = 0; i < old.size(); i += 2)
        for (const Recent& r : {old[i + 1], old[i]})
            if (r.entry != 0) remember(r);
}

quint32 TextColumn::intern(const QString& s) {
    if (s.isNull()) return 0;
    // (a column that does not share keeps its texts apart: nothing to find)
    if (!mLookRecent || !mShared) return internNew(s);
    if (mRecent.empty()) growRecent(FirstRecentBits);
    // An entry holding these very characters holds this text (entries in
    // use are never null, and neither is `s` here).
    Recent* pair = recentFor(s.constData());
    const auto size = static_cast<quint32>(s.size());
    for (int k = 0; k < 2; ++k) {
        const Recent r = pair[k];
        if (r.data != s.constData() || r.size != size || r.entry == 0) continue;
        if (k == 1) std::swap(pair[0], pair[1]); // the text met last comes first
        ++mRefs[r.entry];
        ++mRecentHits;
        if (mShared) { // a hit as the hash would have found it
            ++mLookups;
            ++mHits;
        }
        return r.entry;
    }
    const quint32 e = internNew(s);
    // Only characters an entry holds stay where they are; a column of
    // mostly new texts would fill the places for nothing.
    if (mShared && mPool[e].constData() == s.constData()) {
        if (mRefs[e] > 1) ++mRecentCrowded; // held already: its place was taken
        remember({s.constData(), e, size});
    }
    if (++mRecentMisses == RecentTrial) {
        if (mRecentCrowded * 2 >= RecentTrial && mRecentBits < MostRecentBits) {
            growRecent(mRecentBits + 1);
        } else if (mRecentHits < mRecentMisses) {
            // A column whose texts come as strings of their own (typed,
            // pasted, converted) stops looking: the places would only cost
            // it time.
            mLookRecent = false;
            mRecent = {};
        }
        mRecentHits = mRecentMisses = mRecentCrowded = 0;
    }
    return e;
}

quint32 TextColumn::internNew(const QString& s) {
    if (!mShared) {
        if (!repeatsSeen(s)) return addEntry(s);
        startSharing();
    }
    const quint32 h = hashOf(s);
    size_t slot = 0;
    ++mLookups;
    if (!mSlots.empty()) {
        if (const quint32 e = findSlot(s, h, slot)) {
            ++mHits;
            ++mRefs[e];
            return e;
        }
    }
    if ((distinct() + 1) * 2 > mSlots.size()) {
        growSlots();
        if (!mShared) return addEntry(s);
        findSlot(s, h, slot);
    }
    const quint32 e = addEntry(s);
    mSlots[slot] = static_cast<quint64>(h) << 32 | e;
    return e;
}

// A new entry for `s`, used by one cell.
quint32 TextColumn::addEntry(const QString& s) {
    quint32 e;
    if (!mFree.empty()) {
        e = mFree.back();
        mFree.pop_back();
        mPool[e] = QString(s); // (a move: the copy's own assignment is not inline)
        mRefs[e] = 1;
    } else {
        e = entries();
        mPool.add(s);
        mRefs.push_back(1);
    }
    if (mWidth < 4 && e >> (8 * mWidth) != 0) widenFor(e);
    return e;
}

void TextColumn::release(quint32 e) {
    if (e == 0 || --mRefs[e] != 0) return;
    if (mShared) dropSlot(e);
    if (!mRecent.empty()) {
        Recent* pair = recentFor(mPool[e].constData());
        if (pair[0].entry == e) {
            pair[0] = pair[1];
            pair[1] = {};
        } else if (pair[1].entry == e) {
            pair[1] = {};
        }
    }
    mPool[e] = QString();
    mFree.push_back(e);
}

void TextColumn::store(size_t r, quint32 e) {
    switch (mWidth) {
    case 1:
        m8[r] = static_cast<quint8>(e);
        break;
    case 2:
        m16[r] = static_cast<quint16>(e);
        break;
    default:
        m32[r] = e;
        break;
    }
}

quint64 TextColumn::version() const {
    static std::atomic<quint64> versions{0};
    if (!mStamped) {
        mVersion = ++versions;
        mStamped = true;
    }
    return mVersion;
}

void TextColumn::set(size_t r, const QString& s) {
    const quint32 old = entry(r);
    if (old == 0) { // a fresh cell: nothing to give back
        if (!s.isNull()) {
            store(r, intern(s));
            changed();
        }
        return;
    }
    if (sameText(text(old), s)) return;
    changed();
    const quint32 e = intern(s); // before the old one goes: `s` may be its text
    store(r, e);
    release(old);
}

QString TextColumn::exchange(size_t r, const QString& s) {
    QString old = at(r);
    set(r, s);
    return old;
}

void TextColumn::clearTogether(std::vector<TextColumn>& columns) {
    quint32 most = 0;
    for (const TextColumn& c : columns)
        most = std::max(most, c.mPool.made());
    for (size_t k = 0, first = 0; first < most; first += chunkLength(k++)) {
        const quint32 from = k == 0 ? 1 : 0; // (entry 0 is never made)
        const quint32 len = static_cast<quint32>(chunkLength(k));
        for (quint32 i = from; i < len; ++i)
            for (TextColumn& c : columns)
                if (first + i < c.mPool.made()) c.mPool.chunk(k)[i].~QString();
    }
    for (TextColumn& c : columns) {
        c.mPool.forget();
        c = TextColumn();
        c.changed();
    }
}

void TextColumn::resizeCells(size_t n) {
    if (n < mSize) {
        erase(n, mSize - n);
        return;
    }
    // a column grown a row at a time takes room for more at once, within
    // the room reserved for it where that is enough
    withCells([&](auto& v) {
        mRoom = std::max(n, mRoom * 2);
        if (n <= v.capacity()) mRoom = std::min(mRoom, v.capacity());
        v.resize(mRoom, 0);
    });
    mSize = n;
}

void TextColumn::reserve(size_t n) {
    withCells([&](auto& v) { v.reserve(n); });
}

void TextColumn::insert(size_t pos, size_t n) {
    changed();
    withCells([&](auto& v) { v.insert(v.begin() + static_cast<std::ptrdiff_t>(pos), n, 0); });
    mSize += n;
    mRoom += n;
}

void TextColumn::erase(size_t pos, size_t n) {
    if (n == 0) return;
    if ((mSize - n) * 2 < n) {
        rebuildKeeping(pos, n);
        changed();
        return;
    }
    changed();
    for (size_t r = pos; r < pos + n; ++r)
        release(entry(r));
    withCells([&](auto& v) {
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(pos),
                v.begin() + static_cast<std::ptrdiff_t>(pos + n));
    });
    mSize -= n;
    mRoom -= n;
}

// Most cells go: a new pool of the texts that stay, cheaper than giving the
// others back one by one, and sharing is tried afresh.
void TextColumn::rebuildKeeping(size_t from, size_t n) {
    TextColumn kept;
    kept.resize(mSize - n);
    for (size_t r = 0; r < from; ++r)
        kept.set(r, at(r));
    for (size_t r = from + n; r < mSize; ++r)
        kept.set(r - n, at(r));
    *this = std::move(kept);
}

void TextColumn::reorder(size_t from, const std::vector<int>& order) {
    changed();
    withCells([&](auto& v) {
        using Cell = typename std::decay_t<decltype(v)>::value_type;
        std::vector<Cell> moved(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            moved[i] = v[static_cast<size_t>(order[i])];
        std::copy(moved.begin(), moved.end(), v.begin() + static_cast<std::ptrdiff_t>(from));
    });
}

} // namespace fendra
