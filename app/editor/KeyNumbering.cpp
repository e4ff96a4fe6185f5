#include "KeyNumbering.h"
#include "CellValues.h"

#include <algorithm>
#include <limits>

namespace KeyNumbering {

std::optional<std::vector<NewKey>> numberEmptyKeys(const std::vector<QString>& keys, int firstRow,
                                                   qint64 floor, qint64 limit) {
    qint64 m = std::max<qint64>(floor, 0);
    qint64 empty = 0;
    for (const QString& k : keys) {
        if (k.isEmpty()) {
            ++empty;
            continue;
        }
        // a key typed in full width counts as the number it is
        const auto v = CellValues::wholeNumber(k, eInteger);
        if (v && *v > m) m = *v;
    }
    std::vector<NewKey> out;
    if (empty == 0) return out;
    if (m >= limit || m + empty > limit) return std::nullopt;
    out.reserve(static_cast<size_t>(empty));
    qint64 next = m;
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i].isEmpty())
            out.push_back({firstRow + static_cast<int>(i), static_cast<qint32>(++next)});
    return out;
}

qint64 FreeKeys::next() {
    while (mTaken.contains(mNext))
        ++mNext;
    mTaken.insert(mNext);
    return mNext++;
}

} // namespace KeyNumbering
