#pragma once

#include <vector>

namespace drovane {

// Where the keyboard focus goes in the library grid: tiles laid out section by section, each
// section starting a new row of `columns`. Up and Down keep the column (or the last tile of a
// shorter row) and cross section headings; Left and Right run through the tiles in order.
namespace GridFocus {

enum class Move { Left, Right, Up, Down, PageUp, PageDown, Home, End };

// The tile focused after `move` from tile `from` (out of range: no tile had focus, the first
// takes it); -1 when there are no tiles. `pageRows` is how many rows a page holds.
int move(const std::vector<int>& sectionSizes, int columns, int from, Move move, int pageRows);

} // namespace GridFocus

} // namespace drovane
