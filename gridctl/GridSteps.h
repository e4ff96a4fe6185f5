#pragma once
// The user's actions on a grid as steps that can be taken back and done
// again. Steps find their rows by identity, so a sort between doing and
// taking back changes nothing of what they restore.
#include "GridModel.h"

#include <QString>
#include <memory>
#include <unordered_map>
#include <vector>

namespace fendra {

// Rows by identity for the length of one step's work: the row where it was
// seen first, the whole grid indexed once when a row has moved.
class RowFinder {
public:
    explicit RowFinder(const GridModel& m) : mModel(m) {}
    int find(quint64 id, int hint);

private:
    const GridModel& mModel;
    std::unordered_map<quint64, int> mIndex;
    bool mIndexed = false;
};

// A block of cells: rows by identity, columns by index. It holds the texts
// of the other side of the step (row-major): taking the step back or doing
// it again swaps them with the cells' texts, so nothing is copied.
struct CellsPart {
    std::vector<quint64> ids;
    std::vector<int> hints; // where each row stood
    std::vector<int> cols;
    std::vector<QString> other;
    // The bytes of both sides' texts, when counted while the step was done.
    size_t counted = 0;
    void swap(GridModel& m);
    // Both sides' texts: what it holds and what the cells hold now.
    size_t bytes(const GridModel& m) const;
};

// Rows that came into the grid (inserted) or went out of it (deleted). While
// they are out, the part holds them whole: texts, hidden cells, colours.
struct RowsPart {
    bool inserted = true;
    std::vector<quint64> ids;
    std::vector<int> hints;
    GridModel::RowBlock held;
    quint64 anchor = 0; // the row that followed them (0: the end)
    int index = 0;      // where they stood, when the anchor is gone too
    // Takes the rows out (an empty grid keeps its hidden placeholder row).
    void takeOut(GridModel& m);
    // Puts them back before the anchor.
    void putIn(GridModel& m);
    size_t bytes() const;
};

// One user action: rows first, then cells (taken back in reverse order).
struct GridStep {
    std::vector<RowsPart> rows;
    std::vector<CellsPart> cells;
    // The cell to show when the step is taken back or done again.
    quint64 focusId = 0;
    int focusRow = 0;
    int focusCol = 0;
    bool changesRows() const { return !rows.empty(); }
    void undo(GridModel& m);
    void redo(GridModel& m);
    // What the step may hold, done or taken back, measured when it is done.
    size_t bytes(const GridModel& m) const;
};

} // namespace fendra
