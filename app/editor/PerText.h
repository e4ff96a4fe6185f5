#pragma once
#include "GridTextColumn.h"

#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

// The answer of `test` for each cell of a grid column, asked once for each
// distinct text the column holds: a column of months or categories is read a
// dozen times however many rows it has. A column whose texts are nearly all
// different (keys, notes) is asked cell by cell. The column must not change
// while the answers are used.
template <typename Test> class PerText {
public:
    using Answer = std::invoke_result_t<Test&, const QString&>;

    PerText(const fendra::TextColumn& column, Test test) : mColumn(column), mTest(std::move(test)) {
        if (column.shares()) mAnswers.resize(column.entries());
    }

    Answer operator()(int row) {
        const quint32 e = mColumn.entry(static_cast<size_t>(row));
        if (mAnswers.empty()) return mTest(mColumn.text(e));
        std::optional<Answer>& a = mAnswers[e];
        if (!a) a = mTest(mColumn.text(e));
        return *a;
    }
    const QString& text(int row) const { return mColumn.at(static_cast<size_t>(row)); }

private:
    const fendra::TextColumn& mColumn;
    Test mTest;
    std::vector<std::optional<Answer>> mAnswers;
};
