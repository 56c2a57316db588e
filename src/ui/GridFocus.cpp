#include "ui/GridFocus.h"

#include <algorithm>
#include <numeric>

namespace drovane::GridFocus {

namespace {
struct Row {
    int first;
    int count;
};
} // namespace

int move(const std::vector<int>& sectionSizes, int columns, int from, Move move, int pageRows) {
    const int total = std::accumulate(sectionSizes.begin(), sectionSizes.end(), 0);
    if (total <= 0) {
        return -1;
    }
    if (from < 0 || from >= total) {
        return 0;
    }
    columns = std::max(1, columns);
    std::vector<Row> rows;
    int first = 0;
    for (int size : sectionSizes) {
        for (int at = 0; at < size; at += columns) {
            rows.push_back({first + at, std::min(columns, size - at)});
        }
        first += std::max(0, size);
    }
    int row = 0;
    while (row + 1 < static_cast<int>(rows.size()) && rows[static_cast<std::size_t>(row) + 1].first <= from) {
        ++row;
    }
    const int column = from - rows[static_cast<std::size_t>(row)].first;
    auto inRow = [&rows, column](int r) {
        const Row& target = rows[static_cast<std::size_t>(r)];
        return target.first + std::min(column, target.count - 1);
    };
    const int lastRow = static_cast<int>(rows.size()) - 1;
    const int page = std::max(1, pageRows);
    switch (move) {
    case Move::Left:
        return std::max(0, from - 1);
    case Move::Right:
        return std::min(total - 1, from + 1);
    case Move::Up:
        return row > 0 ? inRow(row - 1) : from;
    case Move::Down:
        return row < lastRow ? inRow(row + 1) : from;
    case Move::PageUp:
        return inRow(std::max(0, row - page));
    case Move::PageDown:
        return inRow(std::min(lastRow, row + page));
    case Move::Home:
        return 0;
    case Move::End:
        return total - 1;
    }
    return from;
}

} // namespace drovane::GridFocus
