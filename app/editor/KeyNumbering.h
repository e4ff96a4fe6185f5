#pragma once
#include <QSet>
#include <QString>
#include <optional>
#include <vector>

// Key numbering for the table editor, without any window.
namespace KeyNumbering {

struct NewKey {
    int row;
    qint32 key;
};

// Numbers the rows whose key text is empty: m + 1, m + 2, ... in row order,
// m being the greatest whole-number key (0 when there is none). `keys[i]` is the
// key text of grid row `firstRow + i`. Texts that are not whole numbers are
// left to the cell checks. nullopt when a number would pass `limit` (the
// greatest the key column's type holds). Numbering starts past `floor` as
// well (the greatest key the table holds by now).
std::optional<std::vector<NewKey>> numberEmptyKeys(const std::vector<QString>& keys, int firstRow,
                                                   qint64 floor = 0, qint64 limit = 2147483647);

// Hands out key numbers for new foreign records: the gaps of the existing
// keys from 0 upwards first, then the numbers after the greatest.
class FreeKeys {
public:
    explicit FreeKeys(QSet<qint64> taken) : mTaken(std::move(taken)) {}
    qint64 next();

private:
    QSet<qint64> mTaken;
    qint64 mNext = 0;
};

} // namespace KeyNumbering
