#include "GridSteps.h"

#include <algorithm>

namespace fendra {

int RowFinder::find(quint64 id, int hint) {
    if (hint >= 0 && hint < mModel.rows() && mModel.rowId(hint) == id) return hint;
    if (!mIndexed) {
        mIndexed = true;
        mIndex.reserve(static_cast<size_t>(mModel.rows()));
        for (int r = 0; r < mModel.rows(); ++r)
            mIndex.emplace(mModel.rowId(r), r);
    }
    const auto it = mIndex.find(id);
    return it == mIndex.end() ? -1 : it->second;
}

void CellsPart::swap(GridModel& m) {
    RowFinder rows(m);
    const size_t nc = cols.size();
    for (size_t i = 0; i < ids.size(); ++i) {
        const int r = rows.find(ids[i], hints[i]);
        if (r < 0) continue; // the row is gone (the host removed it)
        hints[i] = r;
        for (size_t j = 0; j < nc; ++j) {
            if (cols[j] >= m.cols()) continue;
            QString& t = other[i * nc + j];
            t = m.exchangeText(r, cols[j], std::move(t));
        }
    }
}

namespace {
size_t textBytes(const std::vector<QString>& texts) {
    size_t n = texts.size() * sizeof(QString);
    for (const QString& t : texts)
        n += static_cast<size_t>(t.size()) * sizeof(QChar);
    return n;
}
} // namespace

size_t CellsPart::bytes(const GridModel& m) const {
    size_t n = ids.size() * (sizeof(quint64) + sizeof(int));
    if (counted) return n + counted + other.size() * sizeof(QString);
    n += textBytes(other);
    for (size_t i = 0; i < ids.size(); ++i) {
        if (hints[i] >= m.rows()) continue;
        for (int c : cols)
            if (c < m.cols()) n += static_cast<size_t>(m.text(hints[i], c).size()) * sizeof(QChar);
    }
    return n;
}

void RowsPart::takeOut(GridModel& m) {
    RowFinder finder(m);
    std::vector<int> at;
    at.reserve(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        const int r = finder.find(ids[i], hints[i]);
        if (r >= 0) at.push_back(r);
    }
    if (at.empty()) return;
    index = *std::min_element(at.begin(), at.end());
    held = m.takeRows(at);
    anchor = index < m.rows() ? m.rowId(index) : 0;
    if (m.rows() == m.fixedRows()) m.insertRows(m.fixedRows(), 1, 0); // the hidden placeholder
}

void RowsPart::putIn(GridModel& m) {
    if (held.count() == 0) return;
    if (m.isPlaceholder()) m.removeRows(m.fixedRows(), 1);
    int at = anchor ? m.rowOfId(anchor, index) : -1;
    if (at < 0) at = std::clamp(index, m.fixedRows(), m.rows());
    m.putRows(at, held);
    for (int i = 0; i < held.count(); ++i)
        hints[static_cast<size_t>(i)] = at + i;
    ids = held.ids;
    held = GridModel::RowBlock();
}

size_t RowsPart::bytes() const {
    return textBytes(held.cells) + ids.size() * (sizeof(quint64) + sizeof(int));
}

void GridStep::undo(GridModel& m) {
    for (auto it = cells.rbegin(); it != cells.rend(); ++it)
        it->swap(m);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (it->inserted)
            it->takeOut(m);
        else
            it->putIn(m);
    }
}

void GridStep::redo(GridModel& m) {
    for (RowsPart& p : rows) {
        if (p.inserted)
            p.putIn(m);
        else
            p.takeOut(m);
    }
    for (CellsPart& c : cells)
        c.swap(m);
}

size_t GridStep::bytes(const GridModel& m) const {
    size_t n = sizeof(GridStep);
    for (const RowsPart& p : rows)
        n += p.bytes();
    for (const CellsPart& c : cells)
        n += c.bytes(m);
    return n;
}

} // namespace fendra
